#include "timeline/TimelineEvent.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

#include "router/Commands.h"

namespace timeline {

namespace {

using Json = nlohmann::json;

std::optional<router::Connection::Kind> KindOf(const std::string& i_strName) {
  for (const router::Connection::Kind kind :
       {router::Connection::Unreachable, router::Connection::Offline, router::Connection::Online}) {
    if (i_strName == router::KindName(kind)) return kind;
  }
  return std::nullopt;
}

// Lines written before the causes and channels had stable names: a cause was the command's
// English menu title, the PPPoE link was "PPPoE".
std::string CauseName(const std::string& i_strCause) {
  for (const router::Command& command : router::kCommands)
    if (i_strCause == command.title) return std::string(command.name);
  return i_strCause;
}

void NameChannels(std::vector<std::string>& io_names) {
  for (std::string& name : io_names)
    if (name == "PPPoE") name = "pppoe";
}

bool Strings(const Json& i_json, const char* i_pKey, std::vector<std::string>& o_strings) {
  const auto found = i_json.find(i_pKey);
  if (found == i_json.end() || !found->is_array()) return false;
  for (const Json& element : *found) {
    if (!element.is_string()) return false;
    o_strings.push_back(element.get<std::string>());
  }
  return true;
}

}  // namespace

std::string LocalTime(Clock::time_point i_time, const char* i_pFormat) {
  const std::time_t seconds = Clock::to_time_t(i_time);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  if (std::strftime(text, sizeof text, i_pFormat, &local) == 0) return {};
  return text;
}

std::string IsoTime(Clock::time_point i_time) {
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(i_time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(milliseconds % 1000));
  return text;
}

std::optional<Clock::time_point> ParseIsoTime(std::string_view i_text) {
  std::tm utc{};
  int milliseconds = 0;
  char zone = 0;
  int consumed = 0;
  const std::string strText(i_text);
  if (std::sscanf(strText.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%n", &utc.tm_year, &utc.tm_mon,
                  &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &milliseconds, &zone,
                  &consumed) != 8 ||
      zone != 'Z' || static_cast<std::size_t>(consumed) != strText.size() || utc.tm_mon < 1 ||
      utc.tm_mon > 12 || utc.tm_mday < 1 || utc.tm_mday > 31 || utc.tm_hour > 23 ||
      utc.tm_min > 59 || utc.tm_sec > 60 || milliseconds < 0) {
    return std::nullopt;
  }
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  const std::time_t seconds = timegm(&utc);
  return Clock::from_time_t(seconds) + std::chrono::milliseconds(milliseconds);
}

std::string ToJsonLine(const TimelineEvent& i_event) {
  const Json json = {{"time", IsoTime(i_event.time)},
                     {"state", router::KindName(i_event.state.kind)},
                     {"channels", i_event.state.channels},
                     {"up", i_event.up},
                     {"down", i_event.down},
                     {"traffic", i_event.state.traffic},
                     {"cause", i_event.cause},
                     {"router", i_event.router},
                     {"monitor", i_event.monitor}};
  // Replaced, not thrown: a router's name is the preferences' text and need not be UTF-8.
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<TimelineEvent> FromJsonLine(std::string_view i_line) {
  const Json json = Json::parse(i_line, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  TimelineEvent event;
  const auto text = [&](const char* i_pKey) -> std::optional<std::string> {
    const auto found = json.find(i_pKey);
    if (found == json.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
  };
  const std::optional<std::string> time = text("time");
  const std::optional<std::string> state = text("state");
  const std::optional<Clock::time_point> when = time ? ParseIsoTime(*time) : std::nullopt;
  const std::optional<router::Connection::Kind> kind = state ? KindOf(*state) : std::nullopt;
  const auto traffic = json.find("traffic");
  if (!when || !kind || traffic == json.end() || !traffic->is_boolean() ||
      !Strings(json, "channels", event.state.channels) || !Strings(json, "up", event.up) ||
      !Strings(json, "down", event.down)) {
    return std::nullopt;
  }
  event.time = *when;
  event.state.kind = *kind;
  event.state.traffic = traffic->get<bool>();
  NameChannels(event.state.channels);
  NameChannels(event.up);
  NameChannels(event.down);
  event.cause = CauseName(text("cause").value_or(""));
  event.router = text("router").value_or("");
  event.monitor = text("monitor").value_or("");  // older lines have none
  return event;
}

}  // namespace timeline
