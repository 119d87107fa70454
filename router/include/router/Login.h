#pragma once

// Logging in, the one way every program of ours does it: the administrator password unless
// the connection has administrator rights already, then the user password unless it has user
// rights by then. On the wire: the level asked ("pass " or "md5pass" alone), the password,
// the level and the uptime asked twice.

#include <cstdint>
#include <optional>
#include <string>

#include "client/Zastra.h"

namespace router {

// The two logins' passwords as the router's 8-bit text; nothing where none is known.
struct Passwords {
  std::optional<std::string> admin;
  std::optional<std::string> user;
};

// True when the connection then has user rights (a level above 1, on a router that has been
// up a while). Throws std::overflow_error when the router answers an uptime beyond 64 bits.
bool LogIn(Zastra& io_client, const Passwords& i_passwords);

// What a login's access level grants, as the client's IsAdmin and IsUser read it: "admin"
// above 3, "user" above 1, else "none". Never translated.
const char* LevelName(uint16_t i_level);

}  // namespace router
