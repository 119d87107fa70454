#pragma once

// The outages in a timeline, for a provider: each time a router's line went down by itself (not
// by a command from our menu) until it was online again, summed per router and local day. Only
// what the monitor saw counts: an outage ends where the monitor stopped, the machine went to
// sleep or a command of ours took over, and one the monitor finds at its start or on waking
// begins there.

#include <chrono>
#include <string>
#include <vector>

#include "timeline/TimelineEvent.h"

namespace timeline {

struct DayOfOutages {
  std::string router;
  std::string date;  // "2026-12-08", the local day the outages began on
  int count = 0;
  std::chrono::seconds total{0};
  std::chrono::seconds longest{0};
  bool operator==(const DayOfOutages&) const = default;
};

// From events oldest first. An outage still going on is counted up to i_now.
std::vector<DayOfOutages> SummariseOutages(const std::vector<TimelineEvent>& i_events,
                                           Clock::time_point i_now);

}  // namespace timeline
