#include "hosts/TimelineRecorder.h"

#include <ctime>

#include "hosts/Log.h"

namespace zezar {

namespace {

// The time alone when it is today's, else with its day.
std::string When(TimelineRecorder::Clock::time_point i_time,
                 TimelineRecorder::Clock::time_point i_now) {
  const bool bToday = timeline::LocalTime(i_time, "%F") == timeline::LocalTime(i_now, "%F");
  return timeline::LocalTime(i_time, bToday ? "%H:%M" : "%a %e %b %H:%M");
}

}  // namespace

TimelineRecorder::TimelineRecorder(std::string i_strRouter,
                                   std::optional<std::filesystem::path> i_file)
    : m_timeline(i_strRouter) {
  if (!i_file) return;
  m_file.emplace(*i_file);
  if (const std::optional<timeline::TimelineEvent> last = m_file->Last(i_strRouter))
    m_timeline.Restore(*last);
}

std::optional<timeline::TimelineEvent> TimelineRecorder::Observe(const router::Connection& i_state,
                                                                 Clock::time_point i_now) {
  std::optional<timeline::TimelineEvent> event = m_timeline.Observe(i_state, i_now);
  Keep(event);
  return event;
}

void TimelineRecorder::Stop(Clock::time_point i_now) { Keep(m_timeline.Stop(i_now)); }

void TimelineRecorder::Keep(const std::optional<timeline::TimelineEvent>& i_event) {
  if (!i_event || !m_file) return;
  if (const std::optional<std::string> problem = m_file->Append(*i_event)) {
    if (m_toldProblems.insert(*problem).second) Log("timeline: " + *problem + ", ignoring");
  }
}

std::string TimelineRecorder::StatusLine(Clock::time_point i_now) const {
  const std::optional<timeline::TimelineEvent>& current = m_timeline.Current();
  if (!current) return "No connection to the router";
  const std::optional<Clock::time_point> since = m_timeline.Since();
  const std::string strSince = since ? " since " + When(*since, i_now) : "";
  switch (current->state.kind) {
    case router::Connection::Unreachable:
      return "No connection to the router" + strSince;
    case router::Connection::Offline:
      return "Offline" + strSince;
    case router::Connection::Online:
      break;
  }
  const std::size_t channels = current->state.channels.size();
  return "Online" + strSince + " on " + std::to_string(channels) +
         (channels == 1 ? " channel" : " channels");
}

}  // namespace zezar
