#include "cli/Watch.h"

#include <cstdio>
#include <memory>
#include <thread>

#include "cli/Failure.h"
#include "router/Login.h"
#include "text/Markup.h"
#include "text/Printable.h"
#include "text/Translation.h"

namespace ctl {

namespace {

using text::Format;
using text::Tr;

std::string Rate(uint64_t i_value) {
  char text[32];
  if (i_value >= 1000000) {
    std::snprintf(text, sizeof text, "%.1fM", static_cast<double>(i_value) / 1e6);
  } else if (i_value >= 1000) {
    std::snprintf(text, sizeof text, "%.1fk", static_cast<double>(i_value) / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(i_value));
  }
  return text;
}

// Words for a bar, which shows them to people: the router's text in them is printable.
struct BarText {
  std::string state;  // noconnect, offline, online, active
  std::string text;
  std::string tooltip;
};

BarText ForBar(const std::optional<router::State>& i_state, const std::string& i_strRouter,
               const std::string& i_strError) {
  using text::Printable;
  if (!i_state) return {"noconnect", Tr("no router"), Printable(i_strRouter + ": " + i_strError)};
  const router::State& state = *i_state;
  BarText bar{router::ConditionName(state.condition()),
              std::to_string(state.Online()) + "/" + std::to_string(state.channels.size()),
              Printable(state.where) + " (" + Tr(router::LevelName(state.level)) + ")"};
  if (state.condition() == router::State::Condition::Active) {
    const router::Traffic rate = state.TotalRate();
    bar.text += " \u2193" + Rate(rate.in) + " \u2191" + Rate(rate.out);
  }
  for (const router::Channel& channel : state.channels) {
    bar.tooltip += "\n" + (channel.online ? Format(Tr("channel {1}: online {2} in {3} out {4}"),
                                                   {channel.name, Printable(channel.address),
                                                    Rate(channel.rate.in), Rate(channel.rate.out)})
                                          : Format(Tr("channel {1}: offline"), {channel.name}));
  }
  return bar;
}

const char* Colour(const std::string& i_strState) {
  if (i_strState == "noconnect") return "#dc322f";
  if (i_strState == "offline") return "#b58900";
  if (i_strState == "online") return "#859900";
  return "#268bd2";
}

}  // namespace

std::string WatchPreamble(WatchFormat i_format) {
  return i_format == WatchFormat::I3bar ? "{\"version\":1}\n[\n" : "";
}

std::string WatchLine(WatchFormat i_format, const std::optional<router::State>& i_snapshot,
                      const std::string& i_strRouter, const std::string& i_strError,
                      std::time_t i_time) {
  if (i_format == WatchFormat::Json) {
    Json json;
    if (i_snapshot) {
      json = ToJson(*i_snapshot);
    } else {
      json = {{"router", i_strRouter},
              {"state", "noconnect"},
              {"error", i_strError},
              {"online", 0},
              {"channels", Json::array()}};
    }
    Json line = {{"time", static_cast<int64_t>(i_time)}};
    line.update(json);
    return Dump(line, -1) + "\n";
  }
  const BarText bar = ForBar(i_snapshot, i_strRouter, i_strError);
  if (i_format == WatchFormat::Waybar) {  // Waybar reads text and tooltip as Pango markup
    return Dump(Json{{"text", text::EscapeMarkup(bar.text)},
                     {"alt", bar.state},
                     {"tooltip", text::EscapeMarkup(bar.tooltip)},
                     {"class", bar.state}},
                -1) +
           "\n";
  }
  const Json blocks = Json::array({{{"name", "zezar"},
                                    {"instance", i_strRouter},
                                    {"full_text", Format(Tr("router {1}"), {bar.text})},
                                    {"short_text", bar.text},
                                    {"color", Colour(bar.state)}}});
  return Dump(blocks, -1) + ",\n";  // the i3bar protocol is one endless array of these
}

void Watch(const Settings& i_settings, const WatchOptions& i_options) {
  const std::string strRouter = i_settings.Where();
  Write(stdout, WatchPreamble(i_options.format));
  std::unique_ptr<RouterConnection> router;
  auto next = std::chrono::steady_clock::now();
  for (uint64_t uLine = 0; i_options.count == 0 || uLine < i_options.count; ++uLine) {
    if (uLine > 0) std::this_thread::sleep_until(next);
    next = std::chrono::steady_clock::now() + i_options.interval;
    std::optional<router::State> snapshot;
    std::string strError;
    try {
      if (!router || !router->client().IsConnected()) {
        router.reset();  // its client goes before the next one comes
        router = std::make_unique<RouterConnection>(i_settings);
      }
      snapshot = TakeSnapshot(*router, Detail::Summary);
    } catch (const Failure& failure) {
      router.reset();
      strError = failure.what();
    }
    Write(stdout, WatchLine(i_options.format, snapshot, strRouter, strError, std::time(nullptr)));
  }
}

}  // namespace ctl
