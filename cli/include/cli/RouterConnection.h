#pragma once

// One logged-in connection to the router's monitor daemon, over the client Zastra. It turns
// the client's quiet "nothing" results into Failures where it can tell what went wrong: no
// connection, a lost one, a login without user rights, a permission the login lacks.

#include <cstdint>
#include <string>

#include "cli/Settings.h"
#include "client/Zastra.h"

namespace ctl {

class RouterConnection {
 public:
  // Connects and logs in as the monitor does (router::LogIn). Throws
  // Failure(NoConnection), Failure(LoginRefused), or Failure(RouterRefused) for an uptime
  // beyond 64 bits.
  explicit RouterConnection(const Settings& i_settings);
  RouterConnection(const RouterConnection&) = delete;
  RouterConnection& operator=(const RouterConnection&) = delete;

  Zastra& client() { return m_client; }
  const Settings& settings() const { return m_settings; }
  uint16_t Level() const { return m_level; }

  // Throws Failure(NoConnection) when the connection was lost while `i_strDoing`: a router
  // that stops answering or closes the connection makes every later answer empty.
  void CheckConnected(const std::string& i_strDoing);
  // Throws Failure(NotPermitted) naming the command word the login may not run.
  void Require(bool i_bAllowed, const std::string& i_strCommand);

 private:
  Settings m_settings;
  Zastra m_client;
  uint16_t m_level = 0;
};

}  // namespace ctl
