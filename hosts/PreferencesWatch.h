#pragma once

// Watches the preferences file through inotify on its folder, on the loop: editors that save
// by writing a new file and renaming it over the old one are seen as well as those that write
// in place. A burst of events (an editor's save, a file that flips every few milliseconds)
// makes one change, told kSettle after its first event, so a change is told well within a
// second and never more often than the settle time allows.
//
// Without the folder (not made yet, or removed while watched) there is nothing to watch;
// Retry, which the host calls on each tick, watches it again once it is back, and tells a
// change then.

#include <chrono>
#include <filesystem>
#include <functional>

#include "runloop/SdEventPtr.h"

namespace zezar {

class PreferencesWatch {
 public:
  static constexpr std::chrono::milliseconds kSettle{100};

  PreferencesWatch(sd_event* io_pEvent, std::filesystem::path i_file,
                   std::function<void()> i_onChange);
  PreferencesWatch(const PreferencesWatch&) = delete;
  PreferencesWatch& operator=(const PreferencesWatch&) = delete;

  bool Watching() const { return m_watch != nullptr; }
  void Retry();

 private:
  bool Watch();
  void Settle();  // a change happened: tell it once the burst is over
  static int OnEvent(sd_event_source* i_pSource, const struct inotify_event* i_pEvent,
                     void* i_pUserData);
  static int OnSettled(sd_event_source* i_pSource, uint64_t i_usec, void* i_pUserData);

  sd_event* m_pEvent;
  std::filesystem::path m_file;
  std::function<void()> m_onChange;
  runloop::SdEventSourcePtr m_watch;
  runloop::SdEventSourcePtr m_settle;  // armed while a burst settles
};

}  // namespace zezar
