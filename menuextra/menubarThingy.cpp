// The controller's start-up, shut-down and router address.

#include "menuextra/menubarThingy.h"

#include "appkit/NSBundle.h"
#include "appkit/NSImage.h"
#include "appkit/NSMenu.h"
#include "menuextra/menubarThingyView.h"
#include "preferences/Preference.h"
#include "router/DefaultRouter.h"
#include "runloop/NSTimer.h"

Zastra* globalZastra = nullptr;
connectLost* globalConnectLost = nullptr;

namespace {

// The owners behind the two globals. A reload replaces them, so the previous client (already
// disconnected by willUnload) is freed rather than lost.
std::unique_ptr<Zastra> g_client;
std::unique_ptr<connectLost> g_callback;

constexpr long kDefaultUpdateInterval = 2;  // seconds
constexpr double kRateUnitsPerMaxChannelRate = 128.0;
constexpr double kDefaultMaxChannelRate = 147456.0;  // 128 x 1152

std::unique_ptr<NSImage> LoadImage(const NSBundle& i_bundle, const std::string& i_strName) {
  const auto path = i_bundle.pathForImageResource(i_strName);
  return path ? NSImage::initWithContentsOfFile(*path) : nullptr;
}

}  // namespace

ZezarIZIDezev::ZezarIZIDezev(NSRect i_statusItemFrame) : NSMenuExtra(i_statusItemFrame) {}

ZezarIZIDezev::~ZezarIZIDezev() = default;

NSMenuExtra* ZezarIZIDezev::initWithBundle(NSBundle& io_bundle) {
  if (NSMenuExtra::initWithBundle(io_bundle) == nullptr) return nullptr;

  theAppID = io_bundle.bundleIdentifier();
  preferences::Preferences().AppSynchronize(*theAppID);
  theRouterIP.reset();

  g_callback = std::make_unique<connectLost>();
  globalConnectLost = g_callback.get();
  renewClient();
  Zastra::InitSignalHandler();

  theView = std::make_unique<menubarThingyView>();
  theView->initWithFrameMenuExtra(view()->frame(), this);
  setView(theView.get());

  theMenu = std::make_unique<NSMenu>("");
  theMenu->setAutoenablesItems(false);

  theOnlineImage = LoadImage(*bundle(), "online");
  theOnlineActiveImage = LoadImage(*bundle(), "onlineactive");
  theOfflineImage = LoadImage(*bundle(), "offline");
  theNoConnectImage = LoadImage(*bundle(), "noconnect");

  const long interval = readPollPreferences();
  theTimer = NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
      static_cast<double>(interval), this, &ZezarIZIDezev::timerCallback, nullptr, true);
  theTimer->fire();  // the first poll, before start-up returns
  return this;
}

long ZezarIZIDezev::readPollPreferences() {
  long interval = kDefaultUpdateInterval;
  preferences::ReadPreference(*theAppID, "UpdateInterval", interval);
  if (interval < 1) interval = kDefaultUpdateInterval;  // no busy polling

  theMaxChannelRate = kDefaultMaxChannelRate;
  long maxChannelRate = 0;
  // Zero or below would make every load fraction infinite or negative.
  if (preferences::ReadPreference(*theAppID, "MaxChannelRate", maxChannelRate) &&
      maxChannelRate > 0) {
    theMaxChannelRate = kRateUnitsPerMaxChannelRate * static_cast<double>(maxChannelRate);
  }

  theRebootEnabled = theHaltEnabled = 0;
  bool bRebootHaltEnabled = false;
  if (preferences::ReadPreference(*theAppID, "RebootHaltEnabled", bRebootHaltEnabled)) {
    theRebootEnabled = theHaltEnabled = bRebootHaltEnabled ? 1 : 0;
  }
  return interval;
}

void ZezarIZIDezev::preferencesChanged() {
  if (!theMenu) return;  // unloaded
  preferences::Preferences().AppSynchronize(*theAppID);
  const long interval = readPollPreferences();
  if (theTimer != nullptr && !theAsleep &&
      theTimer->timeInterval() != static_cast<double>(interval)) {
    theTimer->invalidate();
    theTimer = NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
        static_cast<double>(interval), this, &ZezarIZIDezev::timerCallback, nullptr, true);
  }
  if (connectionPreferences() == theAttemptedWith) return;
  globalZastra->Disconnect();
  menu();
}

void ZezarIZIDezev::workspaceWillSleep() {
  if (!theMenu || theAsleep) return;
  theAsleep = true;
  if (theTimer != nullptr) theTimer->invalidate();
  theTimer = nullptr;
  globalZastra->Disconnect();
  menu();  // shows the connection gone, without trying another
}

void ZezarIZIDezev::workspaceDidWake() {
  if (!theMenu || !theAsleep) return;
  theAsleep = false;
  theTimer = NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
      static_cast<double>(readPollPreferences()), this, &ZezarIZIDezev::timerCallback, nullptr,
      true);
  theTimer->fire();
}

std::vector<std::optional<preferences::PreferenceValue>> ZezarIZIDezev::connectionPreferences()
    const {
  std::vector<std::optional<preferences::PreferenceValue>> values;
  for (const char* pKey : {"AutoDetectRouter", "RouterIPAddress", "RouterPort", "RouterAdminPass",
                           "RouterUserPass", "AllowPlainTextLogin"})
    values.push_back(preferences::Preferences().CopyAppValue(pKey, *theAppID));
  return values;
}

void ZezarIZIDezev::renewClient() {
  if (globalZastra != nullptr) globalZastra->Disconnect();
  g_client = std::make_unique<Zastra>();
  globalZastra = g_client.get();
  globalZastra->SetConnectionLostCallback(globalConnectLost);
}

void ZezarIZIDezev::willUnload() {
  if (theTimer != nullptr) theTimer->invalidate();
  theTimer = nullptr;
  if (globalZastra != nullptr) globalZastra->Disconnect();
  theMenu.reset();
  theView.reset();
  theOnlineImage.reset();
  theOnlineActiveImage.reset();
  theOfflineImage.reset();
  theNoConnectImage.reset();
  theRouterIP.reset();
  theAppID.reset();
}

void ZezarIZIDezev::determineRouterIP() {
  preferences::Preferences().AppSynchronize(*theAppID);
  theRouterIP.reset();
  bool bAutoDetect = true;
  preferences::ReadPreference(*theAppID, "AutoDetectRouter", bAutoDetect);
  // The two sources never stand in for each other.
  if (bAutoDetect) {
    theRouterIP = router::DefaultRouter().DefaultIPv4Router();
  } else {
    std::string strAddress;
    if (preferences::ReadPreference(*theAppID, "RouterIPAddress", strAddress))
      theRouterIP = strAddress;
  }
}
