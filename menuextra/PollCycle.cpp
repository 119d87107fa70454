// The poll cycle: each tick rebuilds the menu, which reconnects and logs in when the client is
// not connected. Login, channel count and permissions are read once per connection.

#include <cerrno>
#include <cstring>

#include "menuextra/menubarThingy.h"
#include "preferences/Preference.h"
#include "router/DefaultRouter.h"
#include "router/Login.h"
#include "router/PasswordSource.h"
#include "text/MacRoman.h"
#include "text/Translation.h"

namespace {

constexpr long kMostChannelsShown = 4;  // a router with more is shown as having none

struct ConnectFailure {
  std::string words;
  bool bySetting = false;  // the preferences name what cannot be
};

// What a failed connection attempt met, from the client's message: the text of the error of
// its system call, or that the host was not found.
ConnectFailure ConnectFailureOf(const std::string& i_strMessage, const std::string& i_strWhere) {
  using text::Format;
  using text::Tr;
  const auto is = [&](int i_iErrno) { return i_strMessage == std::strerror(i_iErrno); };
  // The client's one-second bound on the attempt, or a signal that interrupted it.
  if (is(EINTR) || is(ETIMEDOUT))
    return {Format(Tr("{1} did not answer within a second"), {i_strWhere})};
  if (is(ECONNREFUSED))
    return {Format(Tr("Nothing answers at {1} (connection refused)"), {i_strWhere})};
  if (is(EHOSTUNREACH))
    return {Format(Tr("Nothing answers at {1} (no route to host)"), {i_strWhere})};
  if (is(ENETUNREACH)) return {Format(Tr("Nothing answers at {1} (no network)"), {i_strWhere})};
  if (i_strMessage.rfind("Host ", 0) == 0)
    return {Format(Tr("Router {1} not found"), {i_strWhere}), true};
  return {Format(Tr("Nothing answers at {1} ({2})"), {i_strWhere, i_strMessage})};
}

}  // namespace

void ZezarIZIDezev::timerCallback(NSTimer*) { menu(); }

void ZezarIZIDezev::giveReason(std::string i_strReason, Remedy i_remedy) {
  theReason = std::move(i_strReason);
  theRemedy = i_remedy;
}

void ZezarIZIDezev::connect() {
  giveReason("");
  determineRouterIP();  // synchronizes the preferences first, for every read below
  theAttemptedWith = connectionPreferences();
  if (!theRouterIP) {
    bool bAutoDetect = true;
    preferences::ReadPreference(*theAppID, "AutoDetectRouter", bAutoDetect);
    // A first run: no preferences yet, and no router on the machine's default route.
    const preferences::PreferencesStore& store = preferences::Preferences();
    const bool bFirstRun = !store.HasGoodSettings() && !store.Problem();
    giveReason(bAutoDetect ? text::Tr("No default router found")
                           : text::Tr("No router address in the preferences (RouterIPAddress)"),
               bFirstRun ? Remedy::Setup : Remedy::Router);
    return;
  }

  long port = router::kDefaultPort;
  preferences::ReadPreference(*theAppID, "RouterPort", port);
  if (port < 1 || port > 65535) {  // it would wrap to some other port
    giveReason(text::Format(text::Tr("Preferences: RouterPort {1} is not from 1 to 65535"),
                            {std::to_string(port)}),
               Remedy::Router);
    return;
  }
  const std::string strWhere = *theRouterIP + ":" + std::to_string(port);

  // An address with no 8-bit form is no address.
  const std::optional<std::string> host = text::Utf8ToMacRoman(*theRouterIP);
  if (!host) {
    giveReason(text::Format(text::Tr("Preferences: {1} is no router address"), {*theRouterIP}),
               Remedy::Router);
    return;
  }
  if (globalZastra->GetPort() != 0 &&
      (globalZastra->GetHost() != *host || globalZastra->GetPort() != port)) {
    renewClient();
  }
  try {
    globalZastra->Connect(*host, static_cast<uint32_t>(port));
  } catch (const Zastra::ConnectError& error) {
    // Shown as the no-connection icon and these words; the next tick tries again.
    const ConnectFailure failure = ConnectFailureOf(error.GetMessage(), strWhere);
    giveReason(failure.words, failure.bySetting ? Remedy::Router : Remedy::None);
  }
  if (!globalZastra->IsConnected()) return;

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
      giveReason(kept.problem);
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
    const bool bAnswering = globalZastra->IsConnected();
    globalZastra->Disconnect();
    // Asked of a client no longer connected, the protocol is what the login learnt: nothing
    // goes out for it.
    const bool bSpeaksProtocol = globalZastra->Version().protocol != 0;
    if (login == router::Login::PlainTextWithheld) {
      giveReason(text::Tr("Router offers only plain-text login; not sending the password"),
                 Remedy::PlainTextLogin);
    } else if (!bAnswering) {
      giveReason(text::Format(text::Tr("{1} did not answer within a second"), {strWhere}));
    } else if (!bSpeaksProtocol) {
      giveReason(text::Format(text::Tr("{1} is not a router monitor"), {strWhere}));
    } else if (!strKeptProblem.empty()) {  // the keyring's, say locked
      giveReason(strKeptProblem);
    } else {
      giveReason(text::Format(text::Tr("Login refused by {1}"), {strWhere}), Remedy::Password);
    }
    return;
  }

  theNumChannels = static_cast<long>(globalZastra->GetChannels().size());
  if (theNumChannels > kMostChannelsShown) theNumChannels = 0;

  theDialAllowed = globalZastra->IsDialAllowed() ? 1 : 0;
  theAddLinkAllowed = globalZastra->IsAddLinkAllowed() ? 1 : 0;
  theHaltAllowed = globalZastra->IsHaltAllowed() ? 1 : 0;
  theRebootAllowed = globalZastra->IsRebootAllowed() ? 1 : 0;
}
