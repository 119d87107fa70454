#include "cli/RouterConnection.h"

#include <stdexcept>

#include "cli/Failure.h"
#include "preferences/Folders.h"
#include "router/Login.h"
#include "text/Translation.h"

namespace ctl {

using text::Format;
using text::Tr;

RouterConnection::RouterConnection(const Settings& i_settings) : m_settings(i_settings) {
  try {
    m_client.Connect(m_settings.host, m_settings.port);
  } catch (const Zastra::ConnectError& error) {
    throw Failure(ExitCode::NoConnection, Format(Tr("cannot connect to {1}: {2}"),
                                                 {m_settings.Where(), error.GetMessage()}));
  }
  router::FileLoginPins pins(router::FileLoginPins::PathIn(preferences::StateFolder()));
  router::Login login = router::Login::Refused;
  try {
    login = router::LogIn(
        m_client, {m_settings.adminPassword, m_settings.userPassword},
        {.where = m_settings.Where(), .pins = &pins, .allowPlainText = m_settings.allowPlainText});
  } catch (const std::overflow_error&) {
    throw Failure(ExitCode::RouterRefused, Tr(kOverflowMessage));
  }
  CheckConnected(Tr("logging in"));
  m_level = m_client.Pass("");  // the level reached, to show
  CheckConnected(Tr("logging in"));
  if (login == router::Login::PlainTextWithheld) {
    throw Failure(ExitCode::LoginRefused,
                  Tr("router offers only plain-text login; not sending the password"));
  }
  if (login != router::Login::User) {
    const bool bAny = m_settings.adminPassword || m_settings.userPassword;
    std::string strMessage =
        Format(bAny ? Tr("{1} refused the login (wrong password?)")
                    : Tr("{1} refused the login: no password given ($ZEZAR_ADMIN_PASS, "
                         "$ZEZAR_USER_PASS, --password-file, the preferences or the keyring)"),
               {m_settings.Where()});
    if (!m_settings.keyringProblem.empty()) strMessage += "; " + m_settings.keyringProblem;
    throw Failure(ExitCode::LoginRefused, strMessage);
  }
}

void RouterConnection::CheckConnected(const std::string& i_strDoing) {
  if (!m_client.IsConnected()) {
    // TRANSLATORS: {2} is what zezarctl was doing, such as "logging in".
    throw Failure(ExitCode::NoConnection,
                  Format(Tr("{1} stopped answering while {2}"), {m_settings.Where(), i_strDoing}));
  }
}

void RouterConnection::Require(bool i_bAllowed, const std::string& i_strCommand) {
  CheckConnected(Format(Tr("asking for permission to {1}"), {i_strCommand}));
  if (!i_bAllowed) {
    throw Failure(ExitCode::NotPermitted,
                  Format(Tr("not permitted: this login (level {1}) may not run \"{2}\""),
                         {std::to_string(m_level), i_strCommand}));
  }
}

}  // namespace ctl
