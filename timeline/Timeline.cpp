#include "timeline/Timeline.h"

namespace timeline {

namespace {

using namespace std::chrono_literals;

constexpr auto kClaimFor = 60s;         // a command's effect shows within a minute
constexpr auto kRebootClaimFor = 300s;  // a router takes minutes to come back

}  // namespace

void Timeline::CommandChosen(const std::string& i_strCommand, Clock::time_point i_now) {
  Claim claim{i_strCommand, Claim::ChannelsDown, i_now + kClaimFor};
  if (i_strCommand == "Dial" || i_strCommand == "Add Link") {
    claim.expect = Claim::ChannelsUp;
  } else if (i_strCommand == "Reboot" || i_strCommand == "Halt") {
    claim.expect = Claim::Drop;
    claim.until = i_now + (i_strCommand == "Reboot" ? kRebootClaimFor : kClaimFor);
  } else if (i_strCommand != "Hang up" && i_strCommand != "Remove Link") {
    return;  // not a command that changes the connection
  }
  m_claim = claim;
}

std::string Timeline::Claimed(const TimelineEvent& i_event, Clock::time_point i_now) {
  if (!m_claim || i_now > m_claim->until) {
    m_claim.reset();
    return "";
  }
  const bool bUnreachable = i_event.state.kind == RouterState::Unreachable;
  bool bMatches = false;
  switch (m_claim->expect) {
    case Claim::ChannelsDown:
      bMatches = !i_event.down.empty() && !bUnreachable;
      break;
    case Claim::ChannelsUp:
      bMatches = !i_event.up.empty();
      break;
    case Claim::Drop:
      bMatches = bUnreachable;
      break;
    case Claim::Return:
      bMatches = !bUnreachable;
      break;
  }
  if (!bMatches) return "";
  std::string strCommand = m_claim->command;
  if (m_claim->expect == Claim::Drop && strCommand == "Reboot") {
    m_claim->expect = Claim::Return;  // the return is the reboot's too
  } else {
    m_claim.reset();
  }
  return strCommand;
}

std::optional<TimelineEvent> Timeline::Observe(const RouterState& i_state,
                                               Clock::time_point i_now) {
  const bool bFirst = !m_current;
  // The file's last word on the same router is where the story picks up again, unless the
  // monitor stopped there: what happened after it nobody saw.
  if (bFirst && m_restored && m_restored->router == m_strRouter && m_restored->monitor != "stop")
    m_current = m_restored;
  if (m_current && m_current->state.SameConnection(i_state)) {
    if (bFirst) m_since = m_current->time;  // it held while the monitor was away
    m_current->state.traffic = i_state.traffic;
    return std::nullopt;
  }
  TimelineEvent event;
  event.time = i_now;
  event.state = i_state;
  event.router = m_strRouter;
  const std::vector<std::string> before =
      m_current ? m_current->state.channels : std::vector<std::string>{};
  event.up = ChannelsMissing(i_state.channels, before);
  event.down = ChannelsMissing(before, i_state.channels);
  event.cause = Claimed(event, i_now);
  if (bFirst) event.monitor = "start";
  // A change seen at the first poll happened some time while the monitor was away.
  m_since = bFirst ? std::nullopt : std::optional<Clock::time_point>(i_now);
  m_current = event;
  m_current->monitor.clear();
  m_events.push_back(event);
  if (m_events.size() > kEventsKept) m_events.pop_front();
  return event;
}

std::optional<TimelineEvent> Timeline::Stop(Clock::time_point i_now) {
  if (!m_current) return std::nullopt;
  TimelineEvent event = *m_current;
  event.time = i_now;
  event.up.clear();
  event.down.clear();
  event.cause.clear();
  event.monitor = "stop";
  return event;
}

}  // namespace timeline
