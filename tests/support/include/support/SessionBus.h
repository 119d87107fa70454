#pragma once

// A private D-Bus session bus for one test: dbus-daemon in a child process, stopped and reaped
// with the object. Nothing of the developer's own session is touched.

#include <sys/types.h>

#include <string>

namespace zezar_test {

class SessionBus {
 public:
  // The services installed on the machine start when a name of theirs is asked for, as on a
  // desktop; or none do, and a name is there only when a test puts it there (a keyring test
  // that must not start the machine's own keyring daemon in the developer's home).
  enum class Activation { Installed, None };

  // Throws std::runtime_error when the daemon does not start within seconds.
  explicit SessionBus(Activation i_activation = Activation::Installed);
  ~SessionBus();
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  const std::string& Address() const { return m_strAddress; }
  // Stops the daemon now, as a session that ends.
  void Stop();

 private:
  pid_t m_child = -1;
  std::string m_strAddress;
  std::string m_strConfig;  // a configuration file of ours, removed with the bus
};

}  // namespace zezar_test
