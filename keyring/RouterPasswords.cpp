#include "keyring/RouterPasswords.h"

#include "text/MacRoman.h"
#include "text/Translation.h"

namespace keyring {

using text::Format;
using text::Tr;

std::string PasswordProblem(const std::string& i_strPassword) {
  if (i_strPassword.empty()) return Tr("the password is empty");
  if (i_strPassword.size() > kMaxPasswordBytes)
    return Format(Tr("the password is longer than {1} bytes"), {std::to_string(kMaxPasswordBytes)});
  // It goes to the router in one protocol line.
  if (i_strPassword.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    return Tr("a password cannot hold a line end or a NUL byte");
  if (!text::Utf8ToMacRoman(i_strPassword))
    return Tr("the password is not UTF-8 text, or has a character the router cannot take");
  return {};
}

RouterPasswords ForTheRouter(const Answer& i_answer) {
  RouterPasswords passwords;
  if (!i_answer.problem.empty()) {
    passwords.problem = Format(Tr("Keyring: {1}"), {i_answer.problem});
    return passwords;
  }
  if (i_answer.Locked()) passwords.problem = Tr("Passwords locked in the keyring");
  const auto take = [&](const Found& i_found, std::optional<std::string>& o_password) {
    if (i_found.notText || (i_found.password && !PasswordProblem(*i_found.password).empty())) {
      // TRANSLATORS: {1} is the keyring item's label.
      passwords.problem = Format(Tr("The keyring's password \"{1}\" is not one the router can "
                                    "take; store it again with zezarctl password set"),
                                 {i_found.label});
      return;
    }
    if (i_found.password) o_password = text::Utf8ToMacRoman(*i_found.password);
  };
  take(i_answer.admin, passwords.admin);
  take(i_answer.user, passwords.user);
  return passwords;
}

}  // namespace keyring
