#include "timeline/Timeline.h"

namespace timeline {

namespace {

using namespace std::chrono_literals;

constexpr auto kClaimFor = 60s;         // a command's effect shows within a minute
constexpr auto kRebootClaimFor = 300s;  // a router takes minutes to come back

}  // namespace

void Timeline::CommandChosen(const router::Command& i_command, Clock::time_point i_now) {
  // A router takes minutes to come back.
  const auto within =
      i_command.effect == router::Command::Effect::DropAndReturn ? kRebootClaimFor : kClaimFor;
  m_claim = Claim{&i_command, false, i_now + within};
}

std::string Timeline::Claimed(const TimelineEvent& i_event, Clock::time_point i_now) {
  if (!m_claim || i_now > m_claim->until) {
    m_claim.reset();
    return "";
  }
  using Effect = router::Command::Effect;
  const bool bUnreachable = i_event.state.kind == router::Connection::Unreachable;
  bool bMatches = false;
  switch (m_claim->command->effect) {
    case Effect::ChannelsDown:
      bMatches = !i_event.down.empty() && !bUnreachable;
      break;
    case Effect::ChannelsUp:
      bMatches = !i_event.up.empty();
      break;
    case Effect::Drop:
      bMatches = bUnreachable;
      break;
    case Effect::DropAndReturn:
      bMatches = m_claim->bDropped ? !bUnreachable : bUnreachable;
      break;
  }
  if (!bMatches) return "";
  std::string strCommand(m_claim->command->name);
  if (m_claim->command->effect == Effect::DropAndReturn && !m_claim->bDropped) {
    m_claim->bDropped = true;  // the return is the reboot's too
  } else {
    m_claim.reset();
  }
  return strCommand;
}

std::optional<TimelineEvent> Timeline::Observe(const router::Connection& i_state,
                                               Clock::time_point i_now) {
  if (m_bAsleep) return std::nullopt;  // nobody is watching
  if (m_bWaking) {
    m_bWaking = false;
    TimelineEvent event = Record(i_state, i_now);
    event.monitor = "awake";
    m_since.reset();  // it may have changed at any time while the machine slept
    return event;
  }
  const bool bFirst = !m_current;
  // The file's last word on the same router is where the story picks up again, unless the
  // monitor stopped or the machine slept there: what happened after it nobody saw.
  if (bFirst && m_restored && m_restored->router == m_strRouter && m_restored->monitor != "stop" &&
      m_restored->monitor != "asleep")
    m_current = m_restored;
  if (m_current && m_current->state.SameConnection(i_state)) {
    if (bFirst) m_since = m_current->time;  // it held while the monitor was away
    m_current->state.traffic = i_state.traffic;
    return std::nullopt;
  }
  TimelineEvent event = Record(i_state, i_now);
  if (bFirst) event.monitor = "start";
  // A change seen at the first poll happened some time while the monitor was away.
  m_since = bFirst ? std::nullopt : std::optional<Clock::time_point>(i_now);
  return event;
}

TimelineEvent Timeline::Record(const router::Connection& i_state, Clock::time_point i_now) {
  TimelineEvent event;
  event.time = i_now;
  event.state = i_state;
  event.router = m_strRouter;
  const std::vector<std::string> before =
      m_current ? m_current->state.channels : std::vector<std::string>{};
  event.up = router::ChannelsMissing(i_state.channels, before);
  event.down = router::ChannelsMissing(before, i_state.channels);
  event.cause = Claimed(event, i_now);
  m_current = event;
  return event;
}

std::optional<TimelineEvent> Timeline::Sleep(Clock::time_point i_now) {
  if (m_bAsleep) return std::nullopt;  // logind may say it twice
  m_bAsleep = true;
  m_bWaking = false;
  std::optional<TimelineEvent> event = Stop(i_now);
  if (event) event->monitor = "asleep";
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
