#pragma once

// zezarctl and the keyring: the last source of a login's password (after --password-file,
// the environment and the preferences), and the password commands that keep it there.

#include <chrono>
#include <string>

#include "cli/Output.h"
#include "cli/Settings.h"
#include "keyring/Keyring.h"

namespace ctl {

// How long zezarctl waits for the keyring: a person at the desktop's unlock prompt may take a
// while; without a prompt the keyring answers at once or not at all.
inline constexpr std::chrono::seconds kKeyringBound{10};
inline constexpr std::chrono::seconds kKeyringPromptBound{120};

// Fills both logins from the keyring when no earlier source gave a password (so that files and
// scripts with passwords work as they did); a problem goes to io_settings.keyringProblem, to
// be told if the login fails.
void AddKeyringPasswords(Settings& io_settings, keyring::Unlock i_unlock);

// Reads a password as a person gives it: from the terminal without echo when standard input
// is one (i_strPrompt shown on standard error; Ctrl-C or Ctrl-D cancels with
// Failure(Failure)), else the one line of standard input. Throws Failure(Usage) for a password
// the router cannot take; an empty one is that, or none, as the caller says.
enum class EmptyPassword { Refused, None };
std::string ReadPassword(const std::string& i_strPrompt,
                         EmptyPassword i_empty = EmptyPassword::Refused);

// zezarctl password set | forget | where, for the router the settings name.
Output SetPassword(const Settings& i_settings, keyring::Role i_role);
Output ForgetPassword(const Settings& i_settings, keyring::Role i_role);
// For each login, where its password would come from; never the password.
Output WherePasswords(const Settings& i_settings, const std::string& i_strPreferencesFile,
                      const std::string& i_strPasswordFile);

}  // namespace ctl
