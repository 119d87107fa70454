#include "router/Login.h"

namespace router {

bool LogIn(Zastra& io_client, const Passwords& i_passwords) {
  if (!io_client.IsAdmin() && i_passwords.admin) io_client.Pass(*i_passwords.admin);
  if (!io_client.IsUser() && i_passwords.user) io_client.Pass(*i_passwords.user);
  return io_client.IsUser();
}

const char* LevelName(uint16_t i_level) {
  if (i_level > 3) return "admin";
  return i_level > 1 ? "user" : "none";
}

}  // namespace router
