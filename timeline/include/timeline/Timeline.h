#pragma once

// The router's story for one session, from what each poll already learns: an event each time
// the connection changes (reachability, the channels online), with the cause where it is
// known. A command chosen from our menu claims the change it brings about: a hang-up the
// channels that go down after it, a dial the ones that come up, a reboot the drop and the
// return; any other change is the router's own.

#include <optional>
#include <string>

#include "router/Commands.h"
#include "timeline/TimelineEvent.h"

namespace timeline {

class Timeline {
 public:
  explicit Timeline(std::string i_strRouter = "") : m_strRouter(std::move(i_strRouter)) {}

  // The state the file last recorded: when the first poll finds the same, the state is known
  // to hold since then, across a restart of the monitor.
  void Restore(const TimelineEvent& i_last) { m_restored = i_last; }

  // A command chosen from our menu: it claims the change its effect brings about.
  void CommandChosen(const router::Command& i_command, Clock::time_point i_now);

  // What a poll found; the event when the connection changed. The first poll's event is
  // marked as the start of a session, unless the file's last word (not a stop) still holds.
  std::optional<TimelineEvent> Observe(const router::Connection& i_state, Clock::time_point i_now);
  // The monitor stops watching: the event that says so, nothing before the first poll.
  std::optional<TimelineEvent> Stop(Clock::time_point i_now);
  // The machine goes to sleep: the event that says so ("asleep"), nothing before the first
  // poll or when asleep already. Polls are not observed until Wake; the first one after it is
  // an event ("awake") whatever it finds, as nobody watched in between.
  std::optional<TimelineEvent> Sleep(Clock::time_point i_now);
  void Wake() {
    m_bWaking = m_bAsleep;
    m_bAsleep = false;
  }
  bool Asleep() const { return m_bAsleep; }

  // The last event: the state now, and since when it holds. Nothing before the first poll.
  const std::optional<TimelineEvent>& Current() const { return m_current; }
  // Since when the current state holds; nothing when it held already as the monitor started
  // and the file does not tell since when.
  std::optional<Clock::time_point> Since() const { return m_since; }

 private:
  struct Claim {
    const router::Command* command;
    bool bDropped = false;  // a drop and return has had its drop
    Clock::time_point until;
  };
  // The claim this change answers, if any; consumes it (a reboot's drop leaves its return).
  std::string Claimed(const TimelineEvent& i_event, Clock::time_point i_now);
  // A change as the current state, unmarked; returned for marking.
  TimelineEvent Record(const router::Connection& i_state, Clock::time_point i_now);

  std::string m_strRouter;
  std::optional<TimelineEvent> m_restored;
  std::optional<TimelineEvent> m_current;
  std::optional<Clock::time_point> m_since;
  std::optional<Claim> m_claim;
  bool m_bAsleep = false;
  bool m_bWaking = false;  // the next observation is the first after a sleep
};

}  // namespace timeline
