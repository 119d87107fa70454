#include "TrayHost.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "StatusWords.h"
#include "client/BetweenExchanges.h"
#include "hosts/tray/NoStatusArea.h"
#include "hosts/Log.h"
#include "runloop/SdCheck.h"

namespace zezar {

namespace {

// Above the timers: bus calls first.
constexpr int kBusPriority = SD_EVENT_PRIORITY_IMPORTANT;
// Messages dispatched between two exchanges of a poll, at most.
constexpr int kMostServedBetweenExchanges = 64;

// One bus name per preferences file; FNV-1a, so that every build agrees on it.
std::string InstanceName(const std::filesystem::path& i_preferences) {
  std::error_code error;
  const std::string strPath = std::filesystem::weakly_canonical(i_preferences, error).string();
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : error ? i_preferences.string() : strPath) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "org.zezar.Monitor.p%016llx",
                static_cast<unsigned long long>(hash));
  return name;
}

}  // namespace

TrayHost::TrayHost(runloop::SdEventRunLoop& io_loop, Monitor& io_monitor, const Options& i_options)
    : m_loop(io_loop), m_monitor(io_monitor), m_options(i_options) {}

TrayHost::~TrayHost() { m_monitor.SetOnChange(nullptr); }

int TrayHost::Run() {
  m_loop.ExitOnSignals({SIGINT, SIGTERM, SIGHUP});

  sd_bus* pBus = nullptr;
  int r = sd_bus_open_user(&pBus);
  if (r < 0) {
    throw std::runtime_error(std::string("cannot reach the session bus (") + std::strerror(-r) +
                             "); is DBUS_SESSION_BUS_ADDRESS set?");
  }
  m_bus.reset(pBus);
  runloop::Check(sd_bus_attach_event(pBus, m_loop.Event(), kBusPriority), "sd_bus_attach_event");

  r = sd_bus_request_name(pBus, InstanceName(m_options.preferences).c_str(), 0);
  if (r == -EEXIST) {
    Log("already in the status area for " + m_options.preferences.string());
    return 0;
  }
  runloop::Check(r, "sd_bus_request_name org.zezar.Monitor");

  // Without its bus the item is gone from every panel; a monitor nobody sees must not go on
  // polling the router (a new session starts its own).
  sd_bus_slot* pDisconnected = nullptr;
  runloop::Check(sd_bus_match_signal(pBus, &pDisconnected, "org.freedesktop.DBus.Local",
                                     "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local",
                                     "Disconnected", &TrayHost::OnDisconnected, this),
                 "sd_bus_match_signal Disconnected");
  m_disconnected.reset(pDisconnected);

  m_program = std::make_unique<ProgramMenu>(
      m_loop.Event(), pBus, m_options.preferences,
      ProgramMenu::Handlers{.quit = [this] { m_loop.Exit(0); },
                            .problem =
                                [this](const std::string& i_strProblem) {
                                  Log(i_strProblem);
                                  m_openProblem = i_strProblem;
                                  Show({});
                                }});
  m_item = std::make_unique<StatusNotifierItem>(pBus, DbusMenu::kPath);
  m_item->onActivate = [this] { PollSoon(); };
  m_item->onNoStatusArea = [this] { TellNoStatusArea(); };
  m_strStatusLine = m_monitor.StatusLine();  // before the first poll: the menu's first items
  m_menu = std::make_unique<DbusMenu>(
      pBus,
      DbusMenu::Handlers{
          .current = [this] { return MenuItems(); },
          .opening = [this] { PollSoon(); },
          .clicked = [this](int32_t i_iId) { m_loop.Defer([this, i_iId] { Choose(i_iId); }); }});
  const std::string strName = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
  r = sd_bus_request_name(pBus, strName.c_str(), 0);
  if (r < 0) {
    throw std::runtime_error("cannot own " + strName + " on the session bus (" + std::strerror(-r) +
                             ")");
  }

  // The first poll, then the registration: a panel asks for the pictures at once.
  m_monitor.SetOnChange([this](const Monitor::Update& i_update) { Show(i_update); });
  m_pController = &m_monitor.Start();
  m_monitor.WatchPreferences(m_loop.Event());
  m_monitor.WatchSleep(m_loop.Event());
  if (m_monitor.BooleanPreference("Notifications", true)) {
    m_notifier = std::make_unique<Notifier>(pBus);
    // What the first poll found is no news; changes from it are.
    if (const auto& current = m_monitor.Timeline()->Current())
      m_notices.Observe(current->state, {});
  }
  Show({.changes = {.drawing = true, .menu = true, .problem = true},
        .observed = std::nullopt,
        .event = std::nullopt});
  m_item->Register();

  // From now on a poll's exchanges each wait for the router; the panel's calls are served
  // between them, so a call waits at most for the exchange in progress, not the whole poll.
  zastra::SetBetweenExchanges(&TrayHost::ServeBus, this);
  struct Unset {
    ~Unset() { zastra::SetBetweenExchanges(nullptr, nullptr); }
  } unset;
  const int code = m_loop.Run();
  m_monitor.SetOnChange(nullptr);
  m_monitor.Stop();  // the router connection is closed
  if (sd_bus_is_open(pBus) > 0) sd_bus_release_name(pBus, strName.c_str());
  return code;
}

void TrayHost::Show(const Monitor::Update& i_update) {
  appkit::MenuExtraHost& host = m_monitor.host();
  const appkit::MenuExtraHost::Changes& changes = i_update.changes;
  // Once per problem: the first Show after the start says every change is new.
  if (host.PreferencesProblem() != m_toldProblem) {
    m_toldProblem = host.PreferencesProblem();
    if (m_toldProblem) Log("preferences: " + *m_toldProblem);
  }
  if (m_pController == nullptr) return;  // still starting: shown once it has
  if (i_update.observed && m_notifier) {
    if (const std::optional<Notice> notice = m_notices.Observe(*i_update.observed, i_update.event))
      m_notifier->Show(*notice);
  }
  std::optional<std::vector<drawing::Pixmap>> icon;
  if (changes.drawing) {
    const RGBA text = m_options.light ? RGBA{0, 0, 0, 1} : RGBA{1, 1, 1, 1};
    // Drawn for each size, none scaled from another, so that every panel shows a crisp one.
    std::vector<drawing::Pixmap>& pixmaps = icon.emplace();
    for (const int pixels : drawing::kPanelIconSizes) {
      pixmaps.push_back(
          host.Render(pixels / NSMenuExtra::kDefaultStatusItemFrame.size.width, text));
    }
  }
  std::string strStatusLine = m_monitor.StatusLine();
  // The words follow the sample, the status line and the problem; put together only when one
  // of them moved.
  const router::State& sample = m_pController->lastSample();
  const std::optional<std::string>& problem =
      host.PreferencesProblem() ? host.PreferencesProblem() : m_openProblem;
  if (!m_wordsFrom || m_wordsFrom->sample != sample || m_wordsFrom->statusLine != strStatusLine ||
      m_wordsFrom->problem != problem) {
    m_wordsFrom =
        WordsFrom{sample, strStatusLine, problem, DescribeSample(sample, strStatusLine, problem)};
  }
  m_item->Show(std::move(icon), m_wordsFrom->words);
  // The menu's items change with the extra's menu and with the status line, which follows the
  // timeline (and the date); on every other tick there is nothing to take.
  if (changes.menu || strStatusLine != m_strStatusLine) {
    m_strStatusLine = std::move(strStatusLine);
    m_menu->Update();
  }
}

std::vector<DbusMenu::Item> TrayHost::MenuItems() const {
  // Panels never open an empty menu; the status line keeps it from being one.
  std::vector<DbusMenu::Item> items = {{kStatusLineId, m_strStatusLine, false}};
  for (const appkit::MenuEntry& entry : m_monitor.host().Menu().entries)
    items.push_back({entry.id, entry.title, entry.enabled});
  for (const ProgramMenu::Entry& entry : ProgramMenu::Entries()) {
    items.push_back({entry.id, entry.title, true,
                     entry.separator ? DbusMenu::Type::Separator : DbusMenu::Type::Standard});
  }
  return items;
}

void TrayHost::Choose(int32_t i_iId) {
  // A new opening, or the end: what the last opening met is no longer news.
  std::optional<std::string> earlier = std::exchange(m_openProblem, std::nullopt);
  if (m_program->Choose(i_iId)) {
    if (earlier && !m_openProblem) Show({});
  } else {
    m_openProblem = std::move(earlier);
    m_monitor.Choose(i_iId);
  }
}

int TrayHost::OnDisconnected(sd_bus_message*, void* i_pUserData, sd_bus_error*) {
  auto* pSelf = static_cast<TrayHost*>(i_pUserData);
  Log("the session bus went away; ending");
  try {
    pSelf->m_loop.Exit(1);
  } catch (...) {
    return -EIO;
  }
  return 0;
}

void TrayHost::ServeBus(void* i_pTray) {
  // What has arrived, and no more: a stream of calls must not hold the poll up either. Each
  // handler only reads what the last event left (the menu as built, the pictures) and defers
  // what would act, so nothing here reaches the controller in the middle of its poll.
  sd_bus* pBus = static_cast<TrayHost*>(i_pTray)->m_bus.get();
  for (int turns = 0; turns < kMostServedBetweenExchanges && sd_bus_process(pBus, nullptr) > 0;
       ++turns) {
  }
}

void TrayHost::TellNoStatusArea() {
  const char* pDesktop = std::getenv("XDG_CURRENT_DESKTOP");
  const std::string_view desktop = pDesktop != nullptr ? pDesktop : "";
  Log(NoStatusAreaLine(desktop));
  // Of the desktop, not the router: told whatever the router's notices are set to.
  if (!m_statusAreaNotifier) m_statusAreaNotifier = std::make_unique<Notifier>(m_bus.get());
  m_statusAreaNotifier->Show(NoStatusAreaNotice(desktop));
}

void TrayHost::PollSoon() {
  if (m_bPollPending) return;
  m_bPollPending = true;
  m_loop.Defer([this] {
    m_bPollPending = false;
    m_monitor.host().OpenMenu();
  });
}

}  // namespace zezar
