#include "cli/RouterConnection.h"

#include <stdexcept>

#include "cli/Failure.h"

namespace ctl {

RouterConnection::RouterConnection(const Settings& i_settings) : m_settings(i_settings) {
  try {
    m_client.Connect(m_settings.host, m_settings.port);
  } catch (const Zastra::ConnectError& error) {
    throw Failure(ExitCode::NoConnection,
                  "cannot connect to " + m_settings.Where() + ": " + error.GetMessage());
  }
  // Pass answers the level the login has reached, so no extra question is needed between.
  m_level = m_client.Pass("");
  if (m_level <= kAdminLevel && m_settings.adminPassword) {
    m_level = m_client.Pass(*m_settings.adminPassword);
  }
  if (m_level <= kUserLevel && m_settings.userPassword) {
    m_level = m_client.Pass(*m_settings.userPassword);
  }
  CheckConnected("logging in");
  // A working router has been up for a while; the monitor checks the same.
  uint64_t uptime = 0;
  try {
    if (m_level > kUserLevel) uptime = m_client.Uptime();
  } catch (const std::overflow_error&) {
    throw Failure(ExitCode::RouterRefused, kOverflowMessage);
  }
  CheckConnected("logging in");
  if (m_level <= kUserLevel || uptime == 0) {
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
