#include "cli/RouterConnection.h"

#include <stdexcept>

#include "cli/Failure.h"
#include "router/Login.h"

namespace ctl {

RouterConnection::RouterConnection(const Settings& i_settings) : m_settings(i_settings) {
  try {
    m_client.Connect(m_settings.host, m_settings.port);
  } catch (const Zastra::ConnectError& error) {
    throw Failure(ExitCode::NoConnection,
                  "cannot connect to " + m_settings.Where() + ": " + error.GetMessage());
  }
  bool bUser = false;
  try {
    bUser = router::LogIn(m_client, {m_settings.adminPassword, m_settings.userPassword});
  } catch (const std::overflow_error&) {
    throw Failure(ExitCode::RouterRefused, kOverflowMessage);
  }
  CheckConnected("logging in");
  m_level = m_client.Pass("");  // the level reached, to show
  CheckConnected("logging in");
  if (!bUser) {
    const bool bAny = m_settings.adminPassword || m_settings.userPassword;
    throw Failure(ExitCode::LoginRefused,
                  m_settings.Where() + " refused the login" +
                      (bAny ? " (wrong password?)"
                            : ": no password given ($ZEZAR_ADMIN_PASS, $ZEZAR_USER_PASS, "
                              "--password-file or the preferences)"));
  }
}

void RouterConnection::CheckConnected(const std::string& i_strDoing) {
  if (!m_client.IsConnected()) {
    throw Failure(ExitCode::NoConnection,
                  m_settings.Where() + " stopped answering while " + i_strDoing);
  }
}

void RouterConnection::Require(bool i_bAllowed, const std::string& i_strCommand) {
  CheckConnected("asking for permission to " + i_strCommand);
  if (!i_bAllowed) {
    throw Failure(ExitCode::NotPermitted, "not permitted: this login (level " +
                                              std::to_string(m_level) + ") may not run \"" +
                                              i_strCommand + "\"");
  }
}

}  // namespace ctl
