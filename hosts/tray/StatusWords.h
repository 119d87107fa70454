#pragma once

// The router's state in words, from the latest load sample (no request of its own): the
// tooltip's title and text, and the line a menu shows when it has nothing else.

#include <optional>
#include <string>

#include "hosts/tray/StatusNotifierItem.h"
#include "menuextra/menubarThingy.h"

namespace zezar {

// "No connection to the router", "Router offline", "Online on 2 channels"; for online states
// the text gives in and out load as a share of the capacity and as a rate. A preferences
// problem, when there is one, is told in the text.
StatusNotifierItem::ToolTip DescribeSample(const ZezarIZIDezev::LoadSample& i_sample,
                                           const std::optional<std::string>& i_problem);

// A rate in bytes per second, as "512 B/s", "17.3 kB/s", "1.2 MB/s".
std::string RateText(double i_bytesPerSecond);

}  // namespace zezar
