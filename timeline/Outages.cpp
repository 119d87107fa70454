#include "timeline/Outages.h"

#include <algorithm>
#include <map>

namespace timeline {

std::vector<DayOfOutages> SummariseOutages(const std::vector<TimelineEvent>& i_events,
                                           Clock::time_point i_now) {
  std::vector<DayOfOutages> days;
  std::map<std::string, Clock::time_point> down;  // by router: since when its line is down
  const auto close = [&](const std::string& i_strRouter, Clock::time_point i_end) {
    const auto found = down.find(i_strRouter);
    if (found == down.end()) return;
    const auto length = std::chrono::duration_cast<std::chrono::seconds>(i_end - found->second);
    const std::string strDate = LocalTime(found->second, "%Y-%m-%d");
    auto day = std::find_if(days.begin(), days.end(), [&](const DayOfOutages& i_day) {
      return i_day.router == i_strRouter && i_day.date == strDate;
    });
    if (day == days.end()) day = days.insert(days.end(), {i_strRouter, strDate});
    ++day->count;
    day->total += length;
    day->longest = std::max(day->longest, length);
    down.erase(found);
  };
  for (const TimelineEvent& event : i_events) {
    const bool bDown = event.state.kind != router::Connection::Online;
    const bool bDownHere = down.count(event.router) > 0;
    const bool bUnwatched = event.monitor == "stop" || event.monitor == "asleep";
    if (bUnwatched || (bDownHere && (!bDown || !event.cause.empty()))) {
      close(event.router, event.time);  // back online, a command of ours, or nobody watching
    } else if (bDown && !bDownHere && event.cause.empty()) {
      down[event.router] = event.time;
    }
  }
  for (auto it = down.begin(); it != down.end(); it = down.begin()) close(it->first, i_now);
  return days;
}

}  // namespace timeline
