#pragma once

// A keyring's answer as the router takes it: each login's password in the router's 8-bit text,
// and, when the keyring gave none it should have, why, in the user's language.

#include <cstddef>
#include <optional>
#include <string>

#include "keyring/Keyring.h"

namespace keyring {

struct RouterPasswords {
  std::optional<std::string> admin;  // Mac OS Roman
  std::optional<std::string> user;
  std::string problem;  // "Passwords locked in the keyring", …; "" when nothing went wrong
};

// An item whose password has a line end, is not text, or holds a character Mac OS Roman has
// no byte for gives no password, and says so.
RouterPasswords ForTheRouter(const Answer& i_answer);

// The password a person gives, checked before it is stored: "" when the router can take it,
// else why not. At most kMaxPasswordBytes of UTF-8.
inline constexpr std::size_t kMaxPasswordBytes = 4096;
std::string PasswordProblem(const std::string& i_strPassword);

}  // namespace keyring
