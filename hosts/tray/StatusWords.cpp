#include "StatusWords.h"

#include <cmath>
#include <cstdio>

#include "text/Markup.h"
#include "text/Translation.h"

namespace zezar {

namespace {

// "43%": the rate as a share of the capacity.
std::string Share(uint64_t i_rate, double i_capacity) {
  char text[48];
  std::snprintf(text, sizeof text, "%.0f%%",
                i_capacity > 0 ? 100.0 * static_cast<double>(i_rate) / i_capacity : 0.0);
  return text;
}

}  // namespace

std::string RateText(double i_bytesPerSecond) {
  char text[48];
  if (!(i_bytesPerSecond >= 0)) i_bytesPerSecond = 0;
  if (i_bytesPerSecond < 1000) {
    std::snprintf(text, sizeof text, "%.0f B/s", i_bytesPerSecond);
  } else if (i_bytesPerSecond < 1e6) {
    std::snprintf(text, sizeof text, "%.1f kB/s", i_bytesPerSecond / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB/s", i_bytesPerSecond / 1e6);
  }
  return text;
}

StatusNotifierItem::ToolTip DescribeSample(const router::State& i_sample,
                                           const std::string& i_strStatusLine,
                                           const std::optional<std::string>& i_problem) {
  StatusNotifierItem::ToolTip toolTip;
  toolTip.title = i_strStatusLine;
  if (i_sample.Online() > 0) {
    const router::Traffic rate = i_sample.TotalRate();
    const double capacity = i_sample.Capacity();
    // TRANSLATORS: "In 43% (127.5 kB/s), out 13% (38.2 kB/s)": the load as a share of the
    // online channels' capacity, and as a rate.
    toolTip.text =
        text::Format(text::Tr("In {1} ({2}), out {3} ({4})"),
                     {Share(rate.in, capacity), RateText(static_cast<double>(rate.in)),
                      Share(rate.out, capacity), RateText(static_cast<double>(rate.out))});
  }
  if (i_problem) {
    if (!toolTip.text.empty()) toolTip.text += "\n";
    toolTip.text += text::Format(text::Tr("Preferences: {1}"), {*i_problem});
  }
  toolTip.text = text::EscapeMarkup(toolTip.text);  // markup in some panels
  return toolTip;
}

}  // namespace zezar
