#include "StatusWords.h"

#include <cmath>
#include <cstdio>

#include "text/Markup.h"
#include "text/Translation.h"

namespace zezar {

namespace {

// "43": the rate as a whole percentage of the capacity.
std::string Share(uint64_t i_rate, double i_capacity) {
  char text[48];
  std::snprintf(text, sizeof text, "%.0f",
                i_capacity > 0 ? 100.0 * static_cast<double>(i_rate) / i_capacity : 0.0);
  return text;
}

// Some panels put the title into markup unescaped: it must hold none.
std::string PlainTitle(std::string i_strText) {
  for (char& c : i_strText) {
    if (c == '<') c = '(';
    if (c == '>') c = ')';
    if (c == '&') c = '+';
  }
  return i_strText;
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

StatusNotifierItem::Words DescribeSample(const router::State& i_sample,
                                         const std::string& i_strStatusLine,
                                         const std::optional<std::string>& i_problem) {
  StatusNotifierItem::Words words;
  std::string strText;
  const int online = i_sample.Online();
  if (online > 0) {
    const router::Traffic rate = i_sample.TotalRate();
    const double capacity = i_sample.Capacity();
    // TRANSLATORS: read out for the status icon and its tooltip's title: the channels online
    // and their load as a share of their capacity, in percent.
    words.description = text::Format(
        text::TrPlural("Online on {1} channel, in {2} %, out {3} %",
                       "Online on {1} channels, in {2} %, out {3} %",
                       static_cast<unsigned long>(online)),
        {std::to_string(online), Share(rate.in, capacity), Share(rate.out, capacity)});
    // TRANSLATORS: "In 127.5 kB/s, out 38.2 kB/s": the load as a rate.
    strText = i_strStatusLine + "\n" +
              text::Format(text::Tr("In {1}, out {2}"), {RateText(static_cast<double>(rate.in)),
                                                         RateText(static_cast<double>(rate.out))});
  } else {
    words.description = i_strStatusLine;
  }
  if (i_problem) {
    if (!strText.empty()) strText += "\n";
    strText += text::Format(text::Tr("Preferences: {1}"), {*i_problem});
  }
  words.toolTip = {.title = PlainTitle(words.description), .text = text::EscapeMarkup(strText)};
  return words;
}

}  // namespace zezar
