#include "TimelineReport.h"

#include <cstdio>
#include <ctime>

#include "cli/Failure.h"
#include "router/Commands.h"
#include "timeline/Outages.h"
#include "timeline/TimelineFile.h"

namespace ctl {

namespace {

using timeline::Clock;

std::string Span(std::chrono::seconds i_span) {
  const long total = static_cast<long>(i_span.count());
  char text[48];
  if (total < 60) {
    std::snprintf(text, sizeof text, "%ld s", total);
  } else if (total < 3600) {
    std::snprintf(text, sizeof text, "%ld min %ld s", total / 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld h %ld min", total / 3600, total / 60 % 60);
  }
  return text;
}

std::string Join(const std::vector<std::string>& i_names) {
  std::string strOut;
  for (const std::string& name : i_names) strOut += (strOut.empty() ? "" : ", ") + name;
  return strOut;
}

}  // namespace

std::optional<Clock::time_point> ParseSince(const std::string& i_strText, Clock::time_point i_now) {
  long amount = 0;
  char unit = 0;
  int consumed = 0;
  if (std::sscanf(i_strText.c_str(), "%ld%c%n", &amount, &unit, &consumed) == 2 &&
      static_cast<std::size_t>(consumed) == i_strText.size() && amount >= 0 && amount < 100000) {
    const std::chrono::minutes minutes = unit == 'd'   ? std::chrono::minutes(amount * 1440)
                                         : unit == 'h' ? std::chrono::minutes(amount * 60)
                                         : unit == 'm' ? std::chrono::minutes(amount)
                                                       : std::chrono::minutes(-1);
    if (minutes.count() >= 0) return i_now - minutes;
  }
  std::tm local{};
  consumed = 0;
  const int fields = std::sscanf(i_strText.c_str(), "%4d-%2d-%2d%n", &local.tm_year, &local.tm_mon,
                                 &local.tm_mday, &consumed);
  if (fields != 3) return std::nullopt;
  const std::string strRest = i_strText.substr(static_cast<std::size_t>(consumed));
  int rest = 0;
  if (!strRest.empty() &&
      (std::sscanf(strRest.c_str(), "T%2d:%2d%n", &local.tm_hour, &local.tm_min, &rest) != 2 ||
       static_cast<std::size_t>(rest) != strRest.size())) {
    return std::nullopt;
  }
  if (local.tm_mon < 1 || local.tm_mon > 12 || local.tm_mday < 1 || local.tm_mday > 31 ||
      local.tm_hour > 23 || local.tm_min > 59) {
    return std::nullopt;
  }
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&local);
  if (seconds == -1) return std::nullopt;
  return Clock::from_time_t(seconds);
}

Output TimelineReport(const std::filesystem::path& i_file, std::optional<Clock::time_point> i_since,
                      Clock::time_point i_now) {
  timeline::TimelineReading reading = timeline::ReadTimeline(i_file);
  if (reading.problem) throw Failure(ExitCode::Failure, *reading.problem);
  std::vector<timeline::TimelineEvent> events;
  for (timeline::TimelineEvent& event : reading.events)
    if (!i_since || event.time >= *i_since) events.push_back(std::move(event));

  // Several routers' monitors share the file: then each line names its router.
  bool bRouters = false;
  for (const timeline::TimelineEvent& event : events)
    bRouters = bRouters || event.router != events.front().router;

  Output output;
  output.json = {{"file", i_file.string()},
                 {"events", Json::array()},
                 {"outages", Json::array()},
                 {"skipped", reading.skipped}};
  for (const timeline::TimelineEvent& event : events) {
    output.json["events"].push_back(Json::parse(timeline::ToJsonLine(event)));
    std::string strLine = timeline::LocalTime(event.time, "%Y-%m-%d %H:%M:%S") + "  " +
                          (bRouters ? event.router + "  " : "") +
                          router::KindName(event.state.kind);
    if (!event.state.channels.empty()) {
      strLine += std::string(13 - std::string(router::KindName(event.state.kind)).size(), ' ') +
                 (event.state.channels.size() == 1 ? "channel " : "channels ") +
                 Join(event.state.channels);
    }
    if (!event.cause.empty()) {
      const router::Command* pCommand = router::FindCommand(event.cause);
      strLine += "  (" + (pCommand != nullptr ? std::string(pCommand->title) : event.cause) +
                 " from the menu)";
    }
    if (event.monitor == "start") strLine += "  (the monitor started)";
    if (event.monitor == "stop") strLine = strLine.substr(0, 21) + "the monitor stopped";
    output.text += strLine + "\n";
  }
  if (events.empty()) output.text += "no events in " + i_file.string() + "\n";

  const std::vector<timeline::DayOfOutages> days = timeline::SummariseOutages(events, i_now);
  if (!days.empty()) output.text += "\noutages, the line's own (not a command from the menu):\n";
  for (const timeline::DayOfOutages& day : days) {
    output.json["outages"].push_back({{"router", day.router},
                                      {"date", day.date},
                                      {"count", day.count},
                                      {"total_seconds", day.total.count()},
                                      {"longest_seconds", day.longest.count()}});
    output.text += day.date + "  " + (bRouters ? day.router + "  " : "") +
                   std::to_string(day.count) + (day.count == 1 ? " outage, " : " outages, ") +
                   Span(day.total) + " in all, the longest " + Span(day.longest) + "\n";
  }
  if (reading.skipped > 0) {
    output.text += std::to_string(reading.skipped) + " line" + (reading.skipped == 1 ? "" : "s") +
                   " not the monitor's, skipped\n";
  }
  return output;
}

}  // namespace ctl
