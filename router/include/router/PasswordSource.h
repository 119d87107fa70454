#pragma once

// Passwords kept outside the preferences (the desktop's keyring), for when the preferences
// name no password at all. Asked once per connection and never waited for: an
// answer still on its way is pending, the connection attempt gives up, and the source has the
// host poll again when the answer is there.

#include <string>

#include "router/Installation.h"
#include "router/Login.h"

namespace router {

class PasswordSource {
 public:
  struct Answer {
    bool pending = false;
    Passwords passwords;  // the router's 8-bit text
    // For people: why the source gave none ("Passwords locked in the keyring"); while
    // pending, what the last answer said.
    std::string problem;
  };

  virtual ~PasswordSource() = default;
  // i_strWhere: HOST:PORT. Each answer is handed out once: the next connection asks anew.
  virtual Answer Ask(const std::string& i_strWhere) = 0;
};

// The process's source, installed by the host; null without: then only the preferences count.
PasswordSource* InstalledPasswordSource();
void InstallPasswordSource(PasswordSource* i_pSource);
using PasswordSourceInstallation = Installation<PasswordSource, &InstallPasswordSource>;

}  // namespace router
