#include "cli/Snapshot.h"

#include <stdexcept>
#include <utility>

#include "cli/Failure.h"
#include "router/Login.h"
#include "text/MacRoman.h"

namespace ctl {

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
    throw Failure(ExitCode::RouterRefused, kOverflowMessage);
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

std::string ToText(const router::State& i_state) {
  std::string strText =
      "router   " + i_state.where + ", protocol " + std::to_string(i_state.protocol) + " (" +
      i_state.version + ")\nlogin    " + router::LevelName(i_state.level) + " (level " +
      std::to_string(i_state.level) + ")\nonline   " + std::to_string(i_state.Online()) + " of " +
      std::to_string(i_state.channels.size()) + " channels\n";
  for (const router::Channel& channel : i_state.channels) {
    strText += "channel " + channel.name + " (" + channel.TypeName() + ") ";
    if (channel.online) {
      strText += "online  " + (channel.address.empty() ? "-" : channel.address) + "  in " +
                 std::to_string(channel.rate.in) + "  out " + std::to_string(channel.rate.out) +
                 "\n";
    } else {
      strText += "offline\n";
    }
  }
  return strText;
}

}  // namespace ctl
