#pragma once

// A real Secret Service for one test: gnome-keyring-daemon with only its secrets component,
// on the test's private session bus, its keyrings in a folder of the test's own, the login
// keyring created and unlocked with a password on its standard input. Stopped with the object.
// secret-tool reads what was stored, as a user would.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace zezar_test {

class SecretService {
 public:
  // Throws std::runtime_error when the service is not on the bus within seconds.
  explicit SecretService(const std::string& i_strBusAddress);
  ~SecretService();
  SecretService(const SecretService&) = delete;
  SecretService& operator=(const SecretService&) = delete;

  // The bus and the folders a program needs to find this service, and nothing of the user's.
  std::map<std::string, std::string> Environment() const;

  // secret-tool with these arguments (and standard input), in the service's environment.
  ChildResult SecretTool(const std::vector<std::string>& i_arguments,
                         const std::string& i_strInput = "") const;
  // Locks the login keyring, as a screen lock or a timeout does. False when it did not.
  bool Lock() const;
  // Ends the daemon, as a session that loses its keyring.
  void Stop();

 private:
  std::string m_strBus;
  TempDir m_dir;
  pid_t m_daemon = -1;
};

}  // namespace zezar_test
