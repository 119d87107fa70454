#include "router/Login.h"

#include "text/Translation.h"

namespace router {

namespace {

constexpr uint16_t kUserLevel = 1;  // a level above this grants user rights

// Whether a password may go out in the plain form, and the pins' memory of salting routers.
bool MaySendPassword(Zastra& io_client, const LoginOptions& i_options) {
  constexpr uint32_t kLastPlainTextProtocol = 10;
  if (i_options.pins == nullptr) return true;
  // The first line of a login anyway: asking it here costs nothing on the wire.
  if (io_client.Version().protocol > kLastPlainTextProtocol) {
    i_options.pins->RememberSalted(i_options.where);
    return true;
  }
  // Protocol 0 too: a router that names none gets the plain form.
  return !io_client.IsConnected() || i_options.allowPlainText ||
         !i_options.pins->Salted(i_options.where);
}

}  // namespace

Login LogIn(Zastra& io_client, const Passwords& i_passwords, const LoginOptions& i_options) {
  Passwords passwords = i_passwords;
  bool bWithheld = false;
  if (!MaySendPassword(io_client, i_options) && (passwords.admin || passwords.user)) {
    passwords = {};
    bWithheld = true;
  }
  if (!io_client.IsAdmin() && passwords.admin) io_client.Pass(*passwords.admin);
  if (!io_client.IsUser() && passwords.user) io_client.Pass(*passwords.user);
  if (io_client.IsUser()) return Login::User;
  return bWithheld ? Login::PlainTextWithheld : Login::Refused;
}

std::optional<uint16_t> LogInUser(Zastra& io_client, const std::string& i_strPassword,
                                  const LoginOptions& i_options) {
  if (!MaySendPassword(io_client, i_options)) return std::nullopt;
  const uint16_t level = io_client.Pass(i_strPassword);
  if (level <= kUserLevel) return std::nullopt;
  return level;
}

const char* LevelName(uint16_t i_level) {
  // TRANSLATORS: the access levels' names, as zezarctl's output for people shows them.
  if (i_level > 3) return N_("admin");
  return i_level > 1 ? N_("user") : N_("none");
}

}  // namespace router
