#pragma once

// One change of the router's connection, as a line of the timeline file: a JSON object such as
//   {"time":"2026-12-08T08:41:03.250Z","state":"online","channels":["1","2"],"up":["2"],
//    "down":[],"traffic":true,"cause":"","router":"192.168.0.1:5000","monitor":""}
// with the cause "" when the router changed by itself, else the name of the menu command that
// did it ("hangup", "reboot": router::Command::name, never a title). The monitor's own comings
// and goings are marked too: "start" on the first line a session writes, "stop" on the line it
// writes as it ends; between a stop and a start nobody watched. The machine's sleep is marked
// the same way: "asleep" as it goes to sleep, "awake" on the first line after it.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "router/State.h"

namespace timeline {

using Clock = std::chrono::system_clock;

struct TimelineEvent {
  Clock::time_point time;
  router::Connection state;       // after the change
  std::vector<std::string> up;    // channels that came online with it
  std::vector<std::string> down;  // channels that went offline with it
  std::string cause;              // "" for the router's own doing, else the command's name
  std::string router;             // host:port watched
  std::string monitor;            // "", or "start", "stop", "asleep", "awake" (see above)
  bool operator==(const TimelineEvent&) const = default;
};

// One line of JSON, without its line feed.
std::string ToJsonLine(const TimelineEvent& i_event);
// Nothing for a line that is not one of ours (not JSON, another shape, a bad time).
std::optional<TimelineEvent> FromJsonLine(std::string_view i_line);

// The time on this machine's clock face, in strftime's format ("%H:%M").
std::string LocalTime(Clock::time_point i_time, const char* i_pFormat);

// "2026-12-08T08:41:03.250Z", and back (nothing when it is not that form).
std::string IsoTime(Clock::time_point i_time);
std::optional<Clock::time_point> ParseIsoTime(std::string_view i_text);

}  // namespace timeline
