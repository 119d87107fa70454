// The poll cycle: each tick rebuilds the menu, which reconnects and logs in when the client is
// not connected. Login, channel count and permissions are read once per connection.

#include "menuextra/menubarThingy.h"
#include "preferences/Preference.h"
#include "router/DefaultRouter.h"
#include "router/Login.h"
#include "text/MacRoman.h"

namespace {

constexpr long kMostChannelsShown = 4;  // a router with more is shown as having none

}  // namespace

void ZezarIZIDezev::timerCallback(NSTimer*) { menu(); }

void ZezarIZIDezev::connect() {
  determineRouterIP();  // synchronizes the preferences first, for every read below
  if (!theRouterIP) return;

  long port = router::kDefaultPort;
  preferences::ReadPreference(*theAppID, "RouterPort", port);

  // An address with no 8-bit form is no address.
  const std::optional<std::string> host = text::Utf8ToMacRoman(*theRouterIP);
  if (!host) return;
  try {
    globalZastra->Connect(*host, static_cast<uint32_t>(port));
  } catch (const Zastra::ConnectError&) {
    // Shown as the no-connection icon; the next tick tries again.
  }
  if (!globalZastra->IsConnected()) return;

  const router::Passwords passwords{
      .admin = preferences::ReadEightBitPreference(*theAppID, "RouterAdminPass"),
      .user = preferences::ReadEightBitPreference(*theAppID, "RouterUserPass")};
  if (!router::LogIn(*globalZastra, passwords)) {
    globalZastra->Disconnect();
    return;
  }

  theNumChannels = static_cast<long>(globalZastra->GetChannels().size());
  if (theNumChannels > kMostChannelsShown) theNumChannels = 0;

  theDialAllowed = globalZastra->IsDialAllowed() ? 1 : 0;
  theAddLinkAllowed = globalZastra->IsAddLinkAllowed() ? 1 : 0;
  theHaltAllowed = globalZastra->IsHaltAllowed() ? 1 : 0;
  theRebootAllowed = globalZastra->IsRebootAllowed() ? 1 : 0;
}
