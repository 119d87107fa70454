#include "TimelineReport.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "cli/Failure.h"
#include "router/Commands.h"
#include "text/Printable.h"
#include "text/Translation.h"
#include "timeline/Outages.h"
#include "timeline/TimelineFile.h"

namespace ctl {

namespace {

using timeline::Clock;

using text::Format;
using text::Printable;  // the file's text, for people: it may be anyone's
using text::Tr;
using text::TrPlural;

std::string Span(std::chrono::seconds i_span) {
  const long total = static_cast<long>(i_span.count());
  if (total < 60) return Format(Tr("{1} s"), {std::to_string(total)});
  if (total < 3600) {
    return Format(Tr("{1} min {2} s"), {std::to_string(total / 60), std::to_string(total % 60)});
  }
  return Format(Tr("{1} h {2} min"),
                {std::to_string(total / 3600), std::to_string(total / 60 % 60)});
}

// The number of characters of UTF-8 text, for columns.
std::size_t Width(const std::string& i_strText) {
  return static_cast<std::size_t>(std::count_if(i_strText.begin(), i_strText.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
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
  // Only the events reported are kept, however long the record: the outages among them need
  // them all, in order.
  std::vector<timeline::TimelineEvent> events;
  const timeline::TimelineReading reading =
      timeline::ReadTimeline(i_file, [&](timeline::TimelineEvent i_event) {
        if (!i_since || i_event.time >= *i_since) events.push_back(std::move(i_event));
      });
  if (reading.problem) throw Failure(ExitCode::Failure, *reading.problem);

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
    const std::string strWhen = timeline::LocalTime(event.time, "%Y-%m-%d %H:%M:%S") + "  " +
                                (bRouters ? Printable(event.router) + "  " : "");
    if (event.monitor == "stop" || event.monitor == "asleep") {
      output.text +=
          strWhen +
          (event.monitor == "stop" ? Tr("the monitor stopped") : Tr("the machine went to sleep")) +
          "\n";
      continue;
    }
    const std::string strState = Tr(router::KindName(event.state.kind));
    std::string strLine = strWhen + strState;
    if (!event.state.channels.empty()) {
      const std::size_t uCount = event.state.channels.size();
      strLine += std::string(Width(strState) < 13 ? 13 - Width(strState) : 1, ' ') +
                 Format(TrPlural("channel {1}", "channels {1}", uCount),
                        {Printable(router::LabelList(event.state.channels))});
    }
    if (!event.cause.empty()) {
      const router::Command* pCommand = router::FindCommand(event.cause);
      strLine +=
          "  " + Format(Tr("({1} from the menu)"),
                        {pCommand != nullptr ? Tr(pCommand->title) : Printable(event.cause)});
    }
    if (event.monitor == "start") strLine += std::string("  ") + Tr("(the monitor started)");
    if (event.monitor == "awake") strLine += std::string("  ") + Tr("(the machine woke)");
    output.text += strLine + "\n";
  }
  if (events.empty()) output.text += Format(Tr("no events in {1}"), {i_file.string()}) + "\n";

  const std::vector<timeline::DayOfOutages> days = timeline::SummariseOutages(events, i_now);
  if (!days.empty()) {
    output.text +=
        std::string("\n") + Tr("outages, the line's own (not a command from the menu):") + "\n";
  }
  for (const timeline::DayOfOutages& day : days) {
    output.json["outages"].push_back({{"router", day.router},
                                      {"date", day.date},
                                      {"count", day.count},
                                      {"total_seconds", day.total.count()},
                                      {"longest_seconds", day.longest.count()}});
    // TRANSLATORS: "1 outage, 10 min 0 s in all, the longest 10 min 0 s".
    output.text += day.date + "  " + (bRouters ? Printable(day.router) + "  " : "") +
                   Format(TrPlural("{1} outage, {2} in all, the longest {3}",
                                   "{1} outages, {2} in all, the longest {3}",
                                   static_cast<unsigned long>(day.count)),
                          {std::to_string(day.count), Span(day.total), Span(day.longest)}) +
                   "\n";
  }
  if (reading.skipped > 0) {
    output.text += Format(TrPlural("{1} line not the monitor's, skipped",
                                   "{1} lines not the monitor's, skipped", reading.skipped),
                          {std::to_string(reading.skipped)}) +
                   "\n";
  }
  return output;
}

}  // namespace ctl
