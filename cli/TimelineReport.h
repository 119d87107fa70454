#pragma once

// zezarctl timeline: the monitor's record of the router's connection, and the outages in it
// per day. Read from the file only; the router is not asked.

#include <filesystem>
#include <optional>
#include <string>

#include "cli/Output.h"
#include "timeline/TimelineEvent.h"

namespace ctl {

// "2026-12-08", "2026-12-08T09:41" (local time), or a span back from now: "3d", "12h", "30m".
// Nothing when it is none of these.
std::optional<timeline::Clock::time_point> ParseSince(const std::string& i_strText,
                                                      timeline::Clock::time_point i_now);

// The events from i_since on and the outages among them. Lines that are not the monitor's
// are counted, not shown. Throws Failure when the file cannot be read.
Output TimelineReport(const std::filesystem::path& i_file,
                      std::optional<timeline::Clock::time_point> i_since,
                      timeline::Clock::time_point i_now);

}  // namespace ctl
