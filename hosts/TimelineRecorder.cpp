#include "hosts/TimelineRecorder.h"

#include <ctime>

#include "hosts/Log.h"
#include "text/Translation.h"

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

void TimelineRecorder::Wake(Clock::time_point i_now) {
  if (!m_timeline.Asleep()) return;  // a wake without a sleep, or told twice
  m_timeline.Wake();
  m_wokeAt = i_now;
}

bool TimelineRecorder::Unwatched(const router::Connection& i_state, Clock::time_point i_now) const {
  if (m_timeline.Asleep()) return true;
  return m_wokeAt && i_state.kind == router::Connection::Unreachable &&
         i_now < *m_wokeAt + kWakeGrace;
}

std::optional<timeline::TimelineEvent> TimelineRecorder::Observe(const router::Connection& i_state,
                                                                 Clock::time_point i_now) {
  if (Unwatched(i_state, i_now)) return std::nullopt;
  m_wokeAt.reset();
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
  using text::Format;
  using text::Tr;
  using text::TrPlural;
  const std::optional<timeline::TimelineEvent>& current = m_timeline.Current();
  if (!current) return Tr("No connection to the router");
  const std::optional<Clock::time_point> since = m_timeline.Since();
  const std::string strSince = since ? When(*since, i_now) : "";
  switch (current->state.kind) {
    case router::Connection::Unreachable:
      return since ? Format(Tr("No connection to the router since {1}"), {strSince})
                   : Tr("No connection to the router");
    case router::Connection::Offline:
      return since ? Format(Tr("Offline since {1}"), {strSince}) : Tr("Offline");
    case router::Connection::Online:
      break;
  }
  const std::size_t channels = current->state.channels.size();
  const std::string strCount = std::to_string(channels);
  // TRANSLATORS: {1} is a time ("09:41", or "Mon 7 Dec 09:41"), {2} the number of channels.
  return since ? Format(TrPlural("Online since {1} on {2} channel",
                                 "Online since {1} on {2} channels", channels),
                        {strSince, strCount})
               : Format(TrPlural("Online on {1} channel", "Online on {1} channels", channels),
                        {strCount});
}

}  // namespace zezar
