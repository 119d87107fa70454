#pragma once

// The router's state in words for the tooltip, from the latest load sample (no request of its
// own) and the status line the timeline gives.

#include <optional>
#include <string>

#include "StatusNotifierItem.h"
#include "router/State.h"

namespace zezar {

// The status line ("Online since 09:41 on 2 channels") as the title; for online states the
// text gives in and out load as a share of the capacity and as a rate. A preferences problem,
// when there is one, is told in the text.
StatusNotifierItem::ToolTip DescribeSample(const router::State& i_sample,
                                           const std::string& i_strStatusLine,
                                           const std::optional<std::string>& i_problem);

// A rate in bytes per second, as "512 B/s", "17.3 kB/s", "1.2 MB/s".
std::string RateText(double i_bytesPerSecond);

}  // namespace zezar
