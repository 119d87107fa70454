#pragma once

// A private D-Bus session bus for one test: dbus-daemon in a child process, stopped and reaped
// with the object. Nothing of the developer's own session is touched.

#include <sys/types.h>

#include <string>

namespace zezar_test {

class SessionBus {
 public:
  // By default no service starts when a name of its is asked for: a name is there only when a
  // test puts it there. The machine's own services (a keyring daemon in the developer's home, a
  // desktop's notification helper that waits a minute for its name) stay out of the tests.
  // Installed starts them as a desktop session would.
  enum class Activation { Installed, None };

  // Throws std::runtime_error when the daemon does not start within seconds.
  explicit SessionBus(Activation i_activation = Activation::None);
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
