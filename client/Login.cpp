// Login and permissions. The access level lives in the daemon, per connection; nothing is
// cached here, so every question is a request.

#include "TextNumbers.h"
#include "client/Md5.h"
#include "client/Zastra.h"

namespace {

constexpr std::size_t kMaxPasswordLength = 63;
constexpr uint32_t kLastClearTextProtocol = 10;  // newer daemons want the salted digest
constexpr uint16_t kUserLevel = 1;               // a level above this grants user rights
constexpr uint16_t kAdminLevel = 3;              // a level above this grants administrator rights

}  // namespace

std::string Zastra::Salt() {
  if (Version().protocol <= kLastClearTextProtocol) return {};
  return GetAnswer("salt");  // not cached: the daemon may hand out a new salt each time
}

uint16_t Zastra::Pass(std::string i_strPassword) {
  const std::string strPassword = i_strPassword.substr(0, kMaxPasswordLength);
  std::string strLine;
  if (Version().protocol <= kLastClearTextProtocol) {
    strLine = "pass " + strPassword;
  } else {
    strLine = "md5pass";
    if (!strPassword.empty()) strLine += " " + Md5()(strPassword + Salt());
  }
  // The level is the answer's leading number modulo 65536.
  return static_cast<uint16_t>(zastra_text::LeadingInteger(GetAnswer(strLine)));
}

bool Zastra::IsAdmin() { return Pass("") > kAdminLevel; }

bool Zastra::IsUser() {
  if (Pass("") <= kUserLevel) return false;
  return Uptime() != 0;  // a working router has been up for a while
}

uint64_t Zastra::Uptime() { return atoull(GetAnswer("uptime").c_str()); }

bool Zastra::IsAllowed(std::string i_strCommand) {
  return zastra_text::LeadingInteger(GetAnswer("is-allowed " + i_strCommand)) == 1;
}

bool Zastra::IsDialAllowed() { return IsAllowed("dial"); }
bool Zastra::IsDialmodeAllowed() { return IsAllowed("dialmode"); }
bool Zastra::IsRouteAllowed() { return IsAllowed("route"); }
bool Zastra::IsAddLinkAllowed() { return IsAllowed("addlink"); }
bool Zastra::IsHaltAllowed() { return IsAllowed("halt"); }
bool Zastra::IsRebootAllowed() { return IsAllowed("reboot"); }
