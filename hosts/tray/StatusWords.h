#pragma once

// The router's state in words for the status item, from the latest load sample (no request of
// its own), the status line the timeline gives and the preferences' problem.

#include <optional>
#include <string>

#include "hosts/tray/StatusNotifierItem.h"
#include "router/State.h"

namespace zezar {

// The sentence ("Online on 2 channels, in 43 %, out 13 %"; else the status line, which says
// why there is no connection) describes the icon to assistive technology and is the tooltip's
// title. The tooltip's text adds since when and the rates, and the preferences' problem.
StatusNotifierItem::Words DescribeSample(const router::State& i_sample,
                                         const std::string& i_strStatusLine,
                                         const std::optional<std::string>& i_problem);

// A rate in bytes per second, as "512 B/s", "17.3 kB/s", "1.2 MB/s".
std::string RateText(double i_bytesPerSecond);

}  // namespace zezar
