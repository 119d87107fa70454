#include "router/Login.h"

#include "text/Translation.h"

namespace router {

bool LogIn(Zastra& io_client, const Passwords& i_passwords) {
  if (!io_client.IsAdmin() && i_passwords.admin) io_client.Pass(*i_passwords.admin);
  if (!io_client.IsUser() && i_passwords.user) io_client.Pass(*i_passwords.user);
  return io_client.IsUser();
}

const char* LevelName(uint16_t i_level) {
  // TRANSLATORS: the access levels' names, as zezarctl's output for people shows them.
  if (i_level > 3) return N_("admin");
  return i_level > 1 ? N_("user") : N_("none");
}

}  // namespace router
