#include "cli/Snapshot.h"

#include <stdexcept>
#include <utility>

#include "cli/Failure.h"
#include "router/Login.h"
#include "text/MacRoman.h"
#include "text/Printable.h"
#include "text/Translation.h"

namespace ctl {

using text::Format;
using text::Tr;
using text::TrPlural;

namespace {

router::State Read(RouterConnection& io_router, Detail i_detail) {
  Zastra& client = io_router.client();
  router::State state;
  state.reachable = true;
  state.where = io_router.settings().Where();
  const Zastra::Version_t version = client.Version();
  state.protocol = version.protocol;
  state.version = text::MacRomanToUtf8(version.version);
  state.level = io_router.Level();
  for (Zastra::Channel* pChannel : client.GetChannels()) {
    router::Channel& channel = state.channels.emplace_back();
    channel.type = router::TypeOf(pChannel->Type());
    channel.online = pChannel->Status() == Zastra::Channel::Online;
    if (channel.online) {
      channel.address = text::MacRomanToUtf8(pChannel->IP());
      const Zastra::Channel::Traffic_t rate = pChannel->Rate();
      channel.rate = {rate.in, rate.out};
    }
    if (i_detail == Detail::Quantities) {
      const Zastra::Channel::Traffic_t quantity = pChannel->Quantity();
      channel.quantity = router::Traffic{quantity.in, quantity.out};
    }
  }
  router::NameChannels(state.channels);
  state.uptime = client.Uptime();
  if (i_detail == Detail::Quantities) state.cpu = client.CPU();
  io_router.CheckConnected("reading its state");
  return state;
}

}  // namespace

router::State TakeSnapshot(RouterConnection& io_router, Detail i_detail) {
  try {
    return Read(io_router, i_detail);
  } catch (const std::overflow_error&) {
    throw Failure(ExitCode::RouterRefused, Tr(kOverflowMessage));
  }
}

Json ToJson(const router::State& i_state) {
  Json channels = Json::array();
  for (const router::Channel& channel : i_state.channels) {
    Json entry = {{"name", channel.name},
                  {"type", channel.TypeName()},
                  {"state", channel.online ? "online" : "offline"},
                  {"address", channel.address},
                  {"rate", {{"in", channel.rate.in}, {"out", channel.rate.out}}}};
    if (channel.quantity) {
      entry["quantity"] = {{"in", channel.quantity->in}, {"out", channel.quantity->out}};
    }
    channels.push_back(entry);
  }
  Json json = {{"router", i_state.where},
               {"protocol", i_state.protocol},
               {"version", i_state.version},
               {"level", i_state.level},
               {"login", router::LevelName(i_state.level)},
               {"uptime", i_state.uptime.value_or(0)},
               {"state", router::ConditionName(i_state.condition())},
               {"online", i_state.Online()},
               {"channels", channels}};
  if (i_state.cpu) json["cpu"] = *i_state.cpu;
  return json;
}

const char* StateWord(bool i_bOnline) { return i_bOnline ? Tr("online") : Tr("offline"); }

std::string ToText(const router::State& i_state) {
  using text::Printable;  // the router's text, and the address the user gave
  // TRANSLATORS: a table of labels and values; keep the values in one column. {4} is "admin"
  // or "user", as translated.
  std::string strText = Format(
      TrPlural("router   {1}, protocol {2} ({3})\n"
               "login    {4} (level {5})\n"
               "online   {6} of {7} channel\n",
               "router   {1}, protocol {2} ({3})\n"
               "login    {4} (level {5})\n"
               "online   {6} of {7} channels\n",
               i_state.channels.size()),
      {Printable(i_state.where), std::to_string(i_state.protocol), Printable(i_state.version),
       Tr(router::LevelName(i_state.level)), std::to_string(i_state.level),
       std::to_string(i_state.Online()), std::to_string(i_state.channels.size())});
  for (const router::Channel& channel : i_state.channels) {
    strText += channel.online
                   ? Format(Tr("channel {1} ({2}) online  {3}  in {4}  out {5}"),
                            {channel.name, channel.TypeName(),
                             channel.address.empty() ? "-" : Printable(channel.address),
                             std::to_string(channel.rate.in), std::to_string(channel.rate.out)})
                   : Format(Tr("channel {1} ({2}) offline"), {channel.name, channel.TypeName()});
    strText += "\n";
  }
  return strText;
}

}  // namespace ctl
