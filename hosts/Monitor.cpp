#include "Monitor.h"

#include <stdexcept>
#include <string_view>
#include <system_error>

#include "hosts/Log.h"
#include "preferences/Preference.h"
#include "router/Commands.h"
#include "router/DefaultRouter.h"
#include "text/Translation.h"

namespace zezar {

const char* const Monitor::kBundleIdentifier = "org.zezar.menuextra";

std::filesystem::path Monitor::DefaultResources() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed =
        exe.parent_path().parent_path() / ZEZAR_INSTALLED_RESOURCES;
    if (std::filesystem::is_regular_file(installed / "online.png", error)) return installed;
  }
  return ZEZAR_BUILD_RESOURCES;
}

Monitor::Monitor(runloop::RunLoop& io_loop, const std::filesystem::path& i_preferences,
                 const std::filesystem::path& i_resources, const std::filesystem::path& i_state)
    : m_preferencesPath(i_preferences),
      m_preferences(i_preferences, kBundleIdentifier),
      m_pins(router::FileLoginPins::PathIn(i_state)),
      m_bundle(kBundleIdentifier, i_resources),
      m_timelinePath(i_state.empty() ? i_state : i_state / "timeline.jsonl"),
      m_host({.runLoop = io_loop,
              .preferences = m_preferences,
              .log = [](const std::string& i_strLine) { Log(i_strLine); },
              .recover =
                  [] {
                    if (globalZastra != nullptr) globalZastra->Disconnect();
                  }}) {
  m_host.SetOnChange(
      [this](const appkit::MenuExtraHost::Changes& i_changes) { Changed(i_changes); });
}

ZezarIZIDezev& Monitor::Start() {
  m_pController = m_host.Load<ZezarIZIDezev>(m_bundle);
  if (m_pController == nullptr) throw std::runtime_error("the status item did not start");
  if (BooleanPreference("TimelineFile", true) && !m_timelinePath.empty())
    m_recordedFile = m_timelinePath;
  const TimelineRecorder::Clock::time_point now = TimelineRecorder::Clock::now();
  RecordRouter(WatchedRouter(), now);
  m_recorder->Observe(router::Connection::Of(m_pController->lastSample()), now);
  TellReason();
  return *m_pController;
}

std::string Monitor::WatchedRouter() const {
  // The router as the last connection attempt found it; the port as the preferences say.
  long port = router::kDefaultPort;
  preferences::ReadPreference(kBundleIdentifier, "RouterPort", port);
  return m_pController->routerIP().value_or("") + ":" + std::to_string(port);
}

void Monitor::RecordRouter(const std::string& i_strRouter,
                           TimelineRecorder::Clock::time_point i_now) {
  if (m_recorder) m_recorder->Stop(i_now);
  m_recorder = std::make_unique<TimelineRecorder>(i_strRouter, m_recordedFile);
  m_strRecordedRouter = i_strRouter;
}

void Monitor::Stop() {
  m_watch.reset();
  m_sleep.reset();
  m_host.Unload();
  m_pController = nullptr;
  if (m_recorder) m_recorder->Stop(TimelineRecorder::Clock::now());
  m_recorder.reset();
}

void Monitor::WatchPreferences(sd_event* io_pEvent) {
  m_watch = std::make_unique<PreferencesWatch>(io_pEvent, m_preferencesPath,
                                               [this] { PreferencesChanged(); });
}

void Monitor::WatchSleep(sd_event* io_pEvent) {
  m_sleep = std::make_unique<SleepWatch>(
      io_pEvent,
      SleepWatch::Handlers{.willSleep = [this] { Sleep(); }, .didWake = [this] { Wake(); }});
}

void Monitor::Sleep() {
  if (m_pController == nullptr) return;
  // First the timeline, so that the drop the closing shows is no observation.
  if (m_recorder) m_recorder->Sleep(TimelineRecorder::Clock::now());
  m_host.Perform("sleep", [this] { m_pController->workspaceWillSleep(); });
}

void Monitor::Wake() {
  if (m_pController == nullptr) return;
  if (m_recorder) m_recorder->Wake(TimelineRecorder::Clock::now());
  m_host.Perform("wake", [this] { m_pController->workspaceDidWake(); });
}

void Monitor::PreferencesChanged() {
  if (m_pController == nullptr) return;
  m_host.Perform("preferences", [this] { m_pController->preferencesChanged(); });
}

void Monitor::Changed(const appkit::MenuExtraHost::Changes& i_changes) {
  if (m_watch) m_watch->Retry();  // a folder that was not there may be by now
  Update update{i_changes, std::nullopt, std::nullopt};
  if (i_changes.drawn && m_recorder) {  // a new sample, whether or not the picture changed
    const router::Connection observed = router::Connection::Of(m_pController->lastSample());
    const TimelineRecorder::Clock::time_point now = TimelineRecorder::Clock::now();
    // Another router chosen in the preferences: its story is its own. A moment without any
    // router (none found on the default route) is still the last one's.
    if (const std::string strRouter = WatchedRouter();
        m_pController->routerIP() && strRouter != m_strRecordedRouter) {
      RecordRouter(strRouter, now);
    }
    if (!m_recorder->Unwatched(observed, now)) {  // asleep, or the network not back yet
      update.observed = observed;
      update.event = m_recorder->Observe(observed, now);
    }
  }
  if (m_pController != nullptr) TellReason();
  if (m_onChange) m_onChange(update);
}

void Monitor::TellReason() {
  const std::string strReason = Reason();
  if (strReason == m_strToldReason) return;
  m_strToldReason = strReason;
  // A problem of the file is the host's to tell, as it changes.
  if (!strReason.empty() && !ProblemAsReason()) Log(strReason);
}

std::string Monitor::Reason() const {
  using text::Format;
  using text::Tr;
  if (m_pController == nullptr || m_pController->lastSample().reachable) return {};
  if (const std::optional<std::string> problem = ProblemAsReason())
    return Format(Tr("Preferences: {1} — Preferences… to fix it"), {*problem});
  const std::string& strReason = m_pController->reason();
  if (strReason.empty()) return {};
  switch (m_pController->reasonRemedy()) {
    case ZezarIZIDezev::Remedy::None:
      break;
    case ZezarIZIDezev::Remedy::Setup:  // nothing chosen yet
      return Format(Tr("{1} — Run zezarctl setup, or Preferences…"), {strReason});
    case ZezarIZIDezev::Remedy::Router:
      return Format(Tr("{1} — Preferences… to set the router"), {strReason});
    case ZezarIZIDezev::Remedy::Password:
      return Format(Tr("{1} — Preferences… to set the password"), {strReason});
    case ZezarIZIDezev::Remedy::PlainTextLogin:
      return Format(Tr("{1} — Preferences… to allow it"), {strReason});
  }
  return strReason;
}

std::optional<std::string> Monitor::ProblemAsReason() const {
  const std::optional<std::string>& problem = m_host.PreferencesProblem();
  if (!problem || m_preferences.HasGoodSettings()) return std::nullopt;
  // "FILE:3:7: what" or "FILE: what": the user opens the file from the menu, and a line is
  // what an editor shows.
  std::string_view rest = *problem;
  const std::string strPath = m_preferencesPath.string();
  if (rest.substr(0, strPath.size() + 1) == strPath + ":") rest.remove_prefix(strPath.size() + 1);
  const std::size_t uLineEnd = rest.find(':');
  const std::string_view line = rest.substr(0, uLineEnd);
  if (uLineEnd != std::string_view::npos && !line.empty() &&
      line.find_first_not_of("0123456789") == std::string_view::npos) {
    const std::size_t uColumnEnd = rest.find(": ", uLineEnd + 1);
    if (uColumnEnd != std::string_view::npos) {
      return text::Format(text::Tr("line {1}: {2}"),
                          {std::string(line), std::string(rest.substr(uColumnEnd + 2))});
    }
  }
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  return std::string(rest);
}

bool Monitor::Choose(int i_iId) {
  for (const appkit::MenuEntry& entry : m_host.Menu().entries) {
    const router::Command* pCommand = router::CommandOfTag(entry.tag);
    if (entry.id == i_iId && entry.enabled && pCommand != nullptr && m_recorder)
      m_recorder->CommandChosen(*pCommand, TimelineRecorder::Clock::now());
  }
  return m_host.Choose(i_iId);
}

bool Monitor::BooleanPreference(const char* i_pKey, bool i_bDefault) const {
  bool bValue = i_bDefault;
  preferences::ReadPreference(kBundleIdentifier, i_pKey, bValue);
  return bValue;
}

std::string Monitor::StatusLine() const {
  // Without a connection, what the last attempt met says more than that there is none.
  if (std::string strReason = Reason(); !strReason.empty()) return strReason;
  return m_recorder ? m_recorder->StatusLine(TimelineRecorder::Clock::now())
                    : text::Tr("No connection to the router");
}

const timeline::Timeline* Monitor::Timeline() const {
  return m_recorder ? &m_recorder->timeline() : nullptr;
}

}  // namespace zezar
