#pragma once

// The router monitor as every host of this program runs it: the status item's controller on
// the host core, with the preferences file, the machine's default router, the program's log,
// the failure policy's clean start (the client disconnects, so the next tick reconnects), and
// the router's story: each poll goes to the timeline, each command chosen from the menu is
// noted there as the cause of what it changes.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "PreferencesWatch.h"
#include "SleepWatch.h"
#include "appkit/MenuExtraHost.h"
#include "appkit/NSBundle.h"
#include "hosts/ChosenRouter.h"
#include "hosts/TimelineRecorder.h"
#include "menuextra/menubarThingy.h"
#include "preferences/TomlPreferences.h"
#include "router/DefaultRouter.h"
#include "router/LoginPins.h"

namespace zezar {

class Monitor {
 public:
  static const char* const kBundleIdentifier;  // names the preferences domain

  // The resource folder of an installed program, else of the build tree.
  static std::filesystem::path DefaultResources();

  // What one event changed, and what its poll found when it drew the view.
  struct Update {
    appkit::MenuExtraHost::Changes changes;
    std::optional<router::Connection> observed;
    std::optional<timeline::TimelineEvent> event;  // when the connection changed with it
  };

  // i_state: where the monitor keeps what it remembers (the timeline, unless the preferences
  // say TimelineFile = false, and the routers that offered the salted login); empty: nowhere.
  Monitor(runloop::RunLoop& io_loop, const std::filesystem::path& i_preferences,
          const std::filesystem::path& i_resources, const std::filesystem::path& i_state);

  // Loads the controller; its first poll runs before this returns. Throws std::runtime_error
  // when it does not start.
  ZezarIZIDezev& Start();
  appkit::MenuExtraHost& host() { return m_host; }
  // Unloads the controller (the router connection closes) and marks the end of the session in
  // the timeline.
  void Stop();
  // From now on a change of the preferences file reaches the controller within a second (see
  // PreferencesWatch); a removed file is a problem that keeps the last settings.
  void WatchPreferences(sd_event* io_pEvent);
  // From now on the machine's sleep closes the router connection and marks the timeline
  // ("asleep"), and waking reconnects at once (see SleepWatch, TimelineRecorder::Wake).
  void WatchSleep(sd_event* io_pEvent);
  void Sleep();
  void Wake();

  void SetOnChange(std::function<void(const Update&)> i_onChange) {
    m_onChange = std::move(i_onChange);
  }
  // The user chooses this entry of the menu (see MenuExtraHost::Choose).
  bool Choose(int i_iId);

  // A boolean of the preferences file, or the default when it is absent or of another type.
  bool BooleanPreference(const char* i_pKey, bool i_bDefault) const;
  // The state in words: since when it holds (see TimelineRecorder), or without a connection
  // why there is none.
  std::string StatusLine() const;
  // Why there is no connection, with where to mend it when a setting is the cause ("No
  // default router found — Preferences… to set the router"); empty while connected, or when
  // the last attempt met nothing to tell.
  std::string Reason() const;
  const timeline::Timeline* Timeline() const;
  const std::filesystem::path& PreferencesPath() const { return m_preferencesPath; }

 private:
  void Changed(const appkit::MenuExtraHost::Changes& i_changes);
  void TellReason();  // in the log, once each time it changes
  // The preferences problem as the reason, when the file has been broken since the start and
  // so chooses no router; the file's own name left out.
  std::optional<std::string> ProblemAsReason() const;
  void PreferencesChanged();
  // "HOST:PORT" of the router the last connection attempt chose; ":PORT" before it found one.
  std::string WatchedRouter() const;
  // From now on the timeline tells of this router; the story of the last one ends.
  void RecordRouter(const std::string& i_strRouter, TimelineRecorder::Clock::time_point i_now);

  std::filesystem::path m_preferencesPath;
  preferences::TomlPreferences m_preferences;
  router::ProcNetRoute m_machineRouter;
  ChosenRouter m_defaultRouter{m_machineRouter, m_preferences};
  router::DefaultRouterInstallation m_installedRouter{m_defaultRouter};
  router::FileLoginPins m_pins;
  router::LoginPinsInstallation m_installedPins{m_pins};
  NSBundle m_bundle;
  std::filesystem::path m_timelinePath;
  std::string m_strToldReason;
  appkit::MenuExtraHost m_host;
  ZezarIZIDezev* m_pController = nullptr;
  std::unique_ptr<TimelineRecorder> m_recorder;  // from the first poll on
  std::string m_strRecordedRouter;                // the router m_recorder tells of
  std::optional<std::filesystem::path> m_recordedFile;  // as TimelineFile said at the start
  std::function<void(const Update&)> m_onChange;
  std::unique_ptr<PreferencesWatch> m_watch;
  std::unique_ptr<SleepWatch> m_sleep;
};

}  // namespace zezar
