#include "router/Login.h"

#include "text/Translation.h"

namespace router {

Login LogIn(Zastra& io_client, const Passwords& i_passwords, const LoginOptions& i_options) {
  constexpr uint32_t kLastPlainTextProtocol = 10;
  Passwords passwords = i_passwords;
  bool bWithheld = false;
  if (i_options.pins != nullptr) {
    // The first line of a login anyway: asking it here costs nothing on the wire.
    const uint32_t protocol = io_client.Version().protocol;
    if (protocol > kLastPlainTextProtocol) {
      i_options.pins->RememberSalted(i_options.where);
    } else if (io_client.IsConnected() && !i_options.allowPlainText &&
               (passwords.admin || passwords.user) && i_options.pins->Salted(i_options.where)) {
      // Protocol 0 too: a router that names none gets the plain form.
      passwords = {};
      bWithheld = true;
    }
  }
  if (!io_client.IsAdmin() && passwords.admin) io_client.Pass(*passwords.admin);
  if (!io_client.IsUser() && passwords.user) io_client.Pass(*passwords.user);
  if (io_client.IsUser()) return Login::User;
  return bWithheld ? Login::PlainTextWithheld : Login::Refused;
}

const char* LevelName(uint16_t i_level) {
  // TRANSLATORS: the access levels' names, as zezarctl's output for people shows them.
  if (i_level > 3) return N_("admin");
  return i_level > 1 ? N_("user") : N_("none");
}

}  // namespace router
