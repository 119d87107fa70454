// The poll cycle: each tick rebuilds the menu, which reconnects and logs in when the client is
// not connected. Login, channel count and permissions are read once per connection.

#include "menuextra/menubarThingy.h"
#include "preferences/Preference.h"
#include "router/DefaultRouter.h"
#include "router/Login.h"
#include "router/PasswordSource.h"
#include "text/MacRoman.h"
#include "text/Translation.h"

namespace {

constexpr long kMostChannelsShown = 4;  // a router with more is shown as having none

}  // namespace

void ZezarIZIDezev::timerCallback(NSTimer*) { menu(); }

void ZezarIZIDezev::connect() {
  theReason.clear();
  determineRouterIP();  // synchronizes the preferences first, for every read below
  if (!theRouterIP) {
    // A first run: no preferences yet, and no router on the machine's default route.
    const preferences::PreferencesStore& store = preferences::Preferences();
    if (!store.HasGoodSettings() && !store.Problem())
      theReason = text::Tr("Run zezarctl setup, or Preferences…");
    return;
  }

  long port = router::kDefaultPort;
  preferences::ReadPreference(*theAppID, "RouterPort", port);
  if (port < 1 || port > 65535) {  // it would wrap to some other port
    theReason = text::Format(text::Tr("Preferences: RouterPort {1} is not from 1 to 65535"),
                             {std::to_string(port)});
    return;
  }

  // An address with no 8-bit form is no address.
  const std::optional<std::string> host = text::Utf8ToMacRoman(*theRouterIP);
  if (!host) return;
  try {
    globalZastra->Connect(*host, static_cast<uint32_t>(port));
  } catch (const Zastra::ConnectError&) {
    // Shown as the no-connection icon; the next tick tries again.
  }
  if (!globalZastra->IsConnected()) return;

  const std::string strWhere = *theRouterIP + ":" + std::to_string(port);
  router::Passwords passwords{
      .admin = preferences::ReadEightBitPreference(*theAppID, "RouterAdminPass"),
      .user = preferences::ReadEightBitPreference(*theAppID, "RouterUserPass")};
  // Preferences without a password leave both logins to the keyring; with one, they work
  // as they always did.
  std::string strKeptProblem;
  router::PasswordSource* pKept = router::InstalledPasswordSource();
  if (pKept != nullptr && !passwords.admin && !passwords.user) {
    router::PasswordSource::Answer kept = pKept->Ask(strWhere);
    if (kept.pending) {  // nothing sent yet; the source polls again when it has the answer
      theReason = kept.problem;
      globalZastra->Disconnect();
      return;
    }
    passwords = std::move(kept.passwords);
    strKeptProblem = std::move(kept.problem);
  }
  bool bAllowPlainText = false;
  preferences::ReadPreference(*theAppID, "AllowPlainTextLogin", bAllowPlainText);
  const router::Login login = router::LogIn(
      *globalZastra, passwords,
      {.where = strWhere, .pins = router::InstalledLoginPins(), .allowPlainText = bAllowPlainText});
  if (login != router::Login::User) {
    if (login == router::Login::PlainTextWithheld)
      theReason = text::Tr("Router offers only plain-text login; not sending the password");
    else
      theReason = strKeptProblem;
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
