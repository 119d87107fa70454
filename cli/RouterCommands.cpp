// dialmode, route, links, cpu, uptime, date, timetable, support, and the commands that change
// the router: dial, hangup, addlink, removelink, reboot, halt.

#include <cstdio>
#include <vector>

#include "Commands.h"
#include "cli/Failure.h"
#include "text/MacRoman.h"
#include "text/Printable.h"
#include "text/Translation.h"

namespace ctl {

using text::Format;
using text::Tr;
using text::TrPlural;

namespace {

const char* ModeName(Zastra::Dialmode_t i_mode) {
  switch (i_mode) {
    case Zastra::Off:
      return "off";
    case Zastra::Manual:
      return "manual";
    case Zastra::Auto:
      return "auto";
    default:
      return "unknown";
  }
}

// A multi-line answer as its lines, each without its leading blank.
std::vector<std::string> Lines(const std::string& i_strAnswer) {
  std::vector<std::string> lines;
  std::size_t uStart = 0;
  while (uStart < i_strAnswer.size()) {
    std::size_t uEnd = i_strAnswer.find('\n', uStart);
    if (uEnd == std::string::npos) uEnd = i_strAnswer.size();
    std::string strLine = i_strAnswer.substr(uStart, uEnd - uStart);
    if (!strLine.empty() && strLine.front() == ' ') strLine.erase(0, 1);
    lines.push_back(text::MacRomanToUtf8(strLine));
    uStart = uEnd + 1;
  }
  return lines;
}

// The router's lines: exact in the JSON, printable for people.
Output LinesOutput(const char* i_pKey, const std::vector<std::string>& i_lines) {
  Output output{{{i_pKey, i_lines}}, ""};
  for (const std::string& line : i_lines) output.text += text::Printable(line) + "\n";
  return output;
}

}  // namespace

Output DialmodeCommand(RouterConnection& io_router, const std::optional<std::string>& i_strMode) {
  Zastra& client = io_router.client();
  Zastra::Dialmode_t wanted = Zastra::_Default;
  if (i_strMode) {
    io_router.Require(client.IsDialmodeAllowed(), "dialmode");
    wanted = *i_strMode == "off"      ? Zastra::Off
             : *i_strMode == "manual" ? Zastra::Manual
                                      : Zastra::Auto;
  }
  const Zastra::Dialmode_t mode = client.Dialmode(wanted);
  io_router.CheckConnected(Tr("asking for the dial mode"));
  if (mode == Zastra::_Default) {
    throw Failure(ExitCode::RouterRefused, Tr("the router named no dial mode"));
  }
  if (i_strMode && mode != wanted) {
    throw Failure(
        ExitCode::RouterRefused,
        Format(Tr("the router refused dial mode {1} (it is {2})"), {*i_strMode, ModeName(mode)}));
  }
  return {{{"dialmode", ModeName(mode)}}, Format(Tr("dial mode {1}"), {ModeName(mode)}) + "\n"};
}

Output RouteCommand(RouterConnection& io_router, std::optional<int> i_iRoute) {
  Zastra& client = io_router.client();
  if (i_iRoute) io_router.Require(client.IsRouteAllowed(), "route");
  int route = client.Route(i_iRoute.value_or(-1));
  io_router.CheckConnected(Tr("asking for the route"));
  if (i_iRoute && route != *i_iRoute) {
    route = client.Route(-1);  // a refusal answers no route; say which one holds
    io_router.CheckConnected(Tr("asking for the route"));
    throw Failure(ExitCode::RouterRefused,
                  Format(Tr("the router refused route {1} (it is {2})"),
                         {std::to_string(*i_iRoute), std::to_string(route)}));
  }
  return {{{"route", route}}, Format(Tr("route {1}"), {std::to_string(route)}) + "\n"};
}

Output Links(RouterConnection& io_router) {
  Zastra& client = io_router.client();
  const int route = client.Route(-1);
  const int links = client.Links(route);
  io_router.CheckConnected(Tr("asking for the links"));
  return {{{"route", route}, {"links", links}},
          Format(TrPlural("{1} link on route {2}", "{1} links on route {2}",
                          static_cast<unsigned long>(links < 0 ? 0 : links)),
                 {std::to_string(links), std::to_string(route)}) +
              "\n"};
}

Output Cpu(RouterConnection& io_router) {
  const uint16_t cpu = io_router.client().CPU();
  io_router.CheckConnected(Tr("asking for the processor load"));
  return {{{"cpu", cpu}}, Format(Tr("processor load {1}"), {std::to_string(cpu)}) + "\n"};
}

Output Uptime(RouterConnection& io_router) {
  const uint64_t uptime = io_router.client().Uptime();
  io_router.CheckConnected(Tr("asking for the uptime"));
  const uint64_t days = uptime / 86400, hours = uptime / 3600 % 24, minutes = uptime / 60 % 60,
                 seconds = uptime % 60;
  char clock[32];
  std::snprintf(clock, sizeof clock, "%02u:%02u:%02u", static_cast<unsigned>(hours),
                static_cast<unsigned>(minutes), static_cast<unsigned>(seconds));
  // TRANSLATORS: days, then hours:minutes:seconds, then the uptime in seconds.
  return {
      {{"uptime", uptime}},
      Format(Tr("up {1} d {2} ({3} s)"), {std::to_string(days), clock, std::to_string(uptime)}) +
          "\n"};
}

Output Date(RouterConnection& io_router) {
  const std::string strDate = text::MacRomanToUtf8(io_router.client().Date());
  io_router.CheckConnected(Tr("asking for the date"));
  if (strDate.empty()) throw Failure(ExitCode::RouterRefused, Tr("the router gave no date"));
  return {{{"date", strDate}}, text::Printable(strDate) + "\n"};
}

Output Timetable(RouterConnection& io_router) {
  const std::string strAnswer = io_router.client().Timetable();
  io_router.CheckConnected(Tr("reading the timetable"));
  return LinesOutput("timetable", Lines(strAnswer));
}

Output Support(RouterConnection& io_router) {
  const std::string strAnswer =
      io_router.client().Support(io_router.settings().RootPassword("support"));
  io_router.CheckConnected(Tr("reading the support dump"));
  // The client cannot tell a refusal from an empty dump; a router always has something to say.
  if (strAnswer.empty()) {
    throw Failure(ExitCode::RouterRefused,
                  Tr("the router refused the support dump (wrong root password?)"));
  }
  return LinesOutput("support", Lines(strAnswer));
}

Output Control(RouterConnection& io_router, const router::Command& i_command,
               const Confirmation& i_confirm) {
  Zastra& client = io_router.client();
  io_router.Require((client.*i_command.allowed)(), std::string(i_command.permission));
  if (i_command.Disruptive()) {
    // TRANSLATORS: {1} is the command's menu title ("Reboot", "Halt"), as translated.
    const std::string strQuestion =
        Format(Tr("{1} the router at {2}?"), {Tr(i_command.title), io_router.settings().Where()});
    if (!i_confirm(strQuestion)) throw Failure(ExitCode::Failure, Tr("cancelled; nothing sent"));
  }
  (client.*i_command.send)();
  // The router's answer is not passed on by the client, so all that is known is that it
  // took the command while it was connected.
  const std::string strName(i_command.name);
  io_router.CheckConnected(Format(Tr("sending {1}"), {strName}));
  return {{{"command", strName}, {"sent", true}},
          Format(Tr("{1} sent to {2}"), {strName, io_router.settings().Where()}) + "\n"};
}

}  // namespace ctl
