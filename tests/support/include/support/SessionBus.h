#pragma once

// A private D-Bus session bus for one test: dbus-daemon in a child process, stopped and reaped
// with the object. Nothing of the developer's own session is touched.

#include <sys/types.h>

#include <string>

namespace zezar_test {

class SessionBus {
 public:
  SessionBus();  // throws std::runtime_error when the daemon does not start within seconds
  ~SessionBus();
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  const std::string& Address() const { return m_strAddress; }
  // Stops the daemon now, as a session that ends.
  void Stop();

 private:
  pid_t m_child = -1;
  std::string m_strAddress;
};

}  // namespace zezar_test
