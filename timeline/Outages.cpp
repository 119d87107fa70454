#include "timeline/Outages.h"

#include <ctime>
#include <optional>

namespace timeline {

std::vector<DayOfOutages> SummariseOutages(const std::vector<TimelineEvent>& i_events,
                                           Clock::time_point i_now) {
  std::vector<DayOfOutages> days;
  std::optional<Clock::time_point> down;  // since when the line has been down by itself
  const auto close = [&](Clock::time_point i_end) {
    const auto length = std::chrono::duration_cast<std::chrono::seconds>(i_end - *down);
    const std::string strDate = LocalTime(*down, "%Y-%m-%d");
    if (days.empty() || days.back().date != strDate) days.push_back({strDate});
    DayOfOutages& day = days.back();
    ++day.count;
    day.total += length;
    if (length > day.longest) day.longest = length;
    down.reset();
  };
  for (const TimelineEvent& event : i_events) {
    const bool bOnline = event.state.kind == RouterState::Online;
    if (bOnline && down) {
      close(event.time);
    } else if (!bOnline && !down && event.cause.empty()) {
      down = event.time;
    } else if (!bOnline && down && !event.cause.empty()) {
      down.reset();  // a command of ours took over (a reboot while it was down): not the line's
    }
  }
  if (down) close(i_now);
  return days;
}

}  // namespace timeline
