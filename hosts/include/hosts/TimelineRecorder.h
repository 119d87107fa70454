#pragma once

// The router's story as the monitor keeps it: each poll's connection goes to the timeline, each
// change to the timeline file (unless the preferences turn it off), and the state is put into
// words with since when it holds. A problem with the file is logged once; the monitor goes on
// without it.

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "timeline/Timeline.h"
#include "timeline/TimelineFile.h"

namespace zezar {

class TimelineRecorder {
 public:
  using Clock = timeline::Clock;

  // i_file: where the story is kept, or nothing. The file's last event on this router tells
  // since when the state found first holds.
  TimelineRecorder(std::string i_strRouter, std::optional<std::filesystem::path> i_file);

  std::optional<timeline::TimelineEvent> Observe(const router::Connection& i_state,
                                                 Clock::time_point i_now);
  // The monitor stops watching: the file says so, so that no outage runs on unseen.
  void Stop(Clock::time_point i_now);
  // The machine sleeps: the file says so ("asleep"), and no poll is observed until Wake. On
  // waking, the network may take a while to come back: for kWakeGrace a poll that finds no
  // router is not observed either, so that it is not taken for the line's outage; the first
  // one observed is the "awake" event.
  static constexpr std::chrono::seconds kWakeGrace{30};
  void Sleep(Clock::time_point i_now) { Keep(m_timeline.Sleep(i_now)); }
  void Wake(Clock::time_point i_now);
  // Whether a poll now would go unobserved: asleep, or waking without a router yet.
  bool Unwatched(const router::Connection& i_state, Clock::time_point i_now) const;
  void CommandChosen(const router::Command& i_command, Clock::time_point i_now) {
    m_timeline.CommandChosen(i_command, i_now);
  }
  const timeline::Timeline& timeline() const { return m_timeline; }

  // "Online since 09:41 on 2 channels", "Offline since Mon 7 Dec 22:10", "No connection to
  // the router"; the time when it is known, the day when it is not today.
  std::string StatusLine(Clock::time_point i_now) const;

 private:
  void Keep(const std::optional<timeline::TimelineEvent>& i_event);  // in the file

  timeline::Timeline m_timeline;
  std::optional<timeline::TimelineFile> m_file;
  std::set<std::string> m_toldProblems;
  std::optional<Clock::time_point> m_wokeAt;  // until the first poll observed after waking
};

}  // namespace zezar
