#pragma once

// watch: the router's state once per interval, one line each, as JSON or ready for a status
// bar's custom module: Waybar's JSON ({"text", "alt", "tooltip", "class"}) or the i3bar
// protocol (a header, then one array of blocks per line). A router that cannot be reached
// gives a "noconnect" line, and the next interval tries again.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "cli/Settings.h"
#include "cli/Snapshot.h"

namespace ctl {

enum class WatchFormat { Json, Waybar, I3bar };

// The line for one interval (with its line feed): a snapshot, or the reason there is none.
std::string WatchLine(WatchFormat i_format, const std::optional<router::State>& i_snapshot,
                      const std::string& i_strRouter, const std::string& i_strError,
                      std::time_t i_time);
// What goes before the first line (the i3bar header), or "".
std::string WatchPreamble(WatchFormat i_format);

struct WatchOptions {
  WatchFormat format = WatchFormat::Json;
  std::chrono::milliseconds interval{2000};
  uint64_t count = 0;  // lines to write; 0: until interrupted or the output goes away
};

// Returns when the count is reached; throws Failure(Failure) when the output cannot be
// written (the bar went away).
void Watch(const Settings& i_settings, const WatchOptions& i_options);

}  // namespace ctl
