#pragma once

// Logging in, the way every interactive program of ours does it: the administrator password
// unless the connection has administrator rights already, then the user password unless it has
// user rights by then. On the wire: the version (once per client), the level asked ("pass " or
// "md5pass" alone), the password, the level and the uptime asked twice. The exporter, which
// logs in on every probe with a user password alone, takes the short way (LogInUser).

#include <cstdint>
#include <optional>
#include <string>

#include "client/Zastra.h"
#include "router/LoginPins.h"

namespace router {

// The two logins' passwords as the router's 8-bit text; nothing where none is known.
struct Passwords {
  std::optional<std::string> admin;
  std::optional<std::string> user;
};

// Where the login goes, for the pins (router/LoginPins.h); without pins nothing is pinned.
struct LoginOptions {
  std::string where;  // HOST:PORT
  LoginPins* pins = nullptr;
  bool allowPlainText = false;  // the user's AllowPlainTextLogin: a pinned router gets it too
};

enum class Login {
  User,               // the connection has user rights (a level above 1, on a router up a while)
  Refused,            // it has not
  PlainTextWithheld,  // a router once salted offers only the plain form: no password was sent
};

// Throws std::overflow_error when the router answers an uptime beyond 64 bits.
Login LogIn(Zastra& io_client, const Passwords& i_passwords, const LoginOptions& i_options = {});

// The user password alone, in the fewest lines: the version, the salt where the router offers
// one, and the password, whose answer is the level. The level when it grants user rights
// (above 1); nothing when it does not or the password was withheld (the pins, as above). Unlike
// Login::User it does not ask the uptime: the caller reads it anyway.
std::optional<uint16_t> LogInUser(Zastra& io_client, const std::string& i_strPassword,
                                  const LoginOptions& i_options);

// What a login's access level grants, as the client's IsAdmin and IsUser read it: "admin"
// above 3, "user" above 1, else "none". Never translated.
const char* LevelName(uint16_t i_level);

}  // namespace router
