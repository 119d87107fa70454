#include "cli/Snapshot.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "cli/Failure.h"
#include "text/MacRoman.h"

namespace ctl {

int Snapshot::Online() const {
  return static_cast<int>(std::count_if(channels.begin(), channels.end(),
                                        [](const ChannelSnapshot& c) { return c.bOnline; }));
}

std::string Snapshot::State() const {
  if (Online() == 0) return "offline";
  const bool bTraffic = std::any_of(channels.begin(), channels.end(), [](const auto& c) {
    return c.bOnline && (c.rateIn > 0 || c.rateOut > 0);
  });
  return bTraffic ? "active" : "online";
}

std::string LoginName(uint16_t i_level) {
  return i_level > RouterConnection::kAdminLevel ? "admin" : "user";
}

namespace {

Snapshot Read(RouterConnection& io_router, Detail i_detail) {
  Zastra& client = io_router.client();
  Snapshot snapshot;
  snapshot.router = io_router.settings().Where();
  const Zastra::Version_t version = client.Version();
  snapshot.protocol = version.protocol;
  snapshot.version = text::MacRomanToUtf8(version.version);
  snapshot.level = io_router.Level();
  // The client keeps the names to itself; the numbered channels follow the PPPoE link.
  int number = 0;
  for (Zastra::Channel* pChannel : client.GetChannels()) {
    ChannelSnapshot channel;
    const bool bPppoe = pChannel->Type() == Zastra::Channel::PPPoE;
    channel.type = bPppoe ? "pppoe" : "isdn";
    channel.name = bPppoe ? "pppoe" : std::to_string(++number);
    channel.bOnline = pChannel->Status() == Zastra::Channel::Online;
    if (channel.bOnline) {
      channel.address = text::MacRomanToUtf8(pChannel->IP());
      const Zastra::Channel::Traffic_t rate = pChannel->Rate();
      channel.rateIn = rate.in;
      channel.rateOut = rate.out;
    }
    if (i_detail == Detail::Quantities) {
      const Zastra::Channel::Traffic_t quantity = pChannel->Quantity();
      channel.quantityIn = quantity.in;
      channel.quantityOut = quantity.out;
    }
    snapshot.channels.push_back(std::move(channel));
  }
  snapshot.uptime = client.Uptime();
  if (i_detail == Detail::Quantities) snapshot.cpu = client.CPU();
  io_router.CheckConnected("reading its state");
  return snapshot;
}

}  // namespace

Snapshot TakeSnapshot(RouterConnection& io_router, Detail i_detail) {
  try {
    return Read(io_router, i_detail);
  } catch (const std::overflow_error&) {
    throw Failure(ExitCode::RouterRefused, kOverflowMessage);
  }
}

Json ToJson(const Snapshot& i_snapshot) {
  Json channels = Json::array();
  for (const ChannelSnapshot& channel : i_snapshot.channels) {
    Json entry = {{"name", channel.name},
                  {"type", channel.type},
                  {"state", channel.bOnline ? "online" : "offline"},
                  {"address", channel.address},
                  {"rate", {{"in", channel.rateIn}, {"out", channel.rateOut}}}};
    if (channel.quantityIn) {
      entry["quantity"] = {{"in", *channel.quantityIn}, {"out", *channel.quantityOut}};
    }
    channels.push_back(entry);
  }
  Json json = {{"router", i_snapshot.router},
               {"protocol", i_snapshot.protocol},
               {"version", i_snapshot.version},
               {"level", i_snapshot.level},
               {"login", LoginName(i_snapshot.level)},
               {"uptime", i_snapshot.uptime},
               {"state", i_snapshot.State()},
               {"online", i_snapshot.Online()},
               {"channels", channels}};
  if (i_snapshot.cpu) json["cpu"] = *i_snapshot.cpu;
  return json;
}

std::string ToText(const Snapshot& i_snapshot) {
  std::string strText =
      "router   " + i_snapshot.router + ", protocol " + std::to_string(i_snapshot.protocol) + " (" +
      i_snapshot.version + ")\nlogin    " + LoginName(i_snapshot.level) + " (level " +
      std::to_string(i_snapshot.level) + ")\nonline   " + std::to_string(i_snapshot.Online()) +
      " of " + std::to_string(i_snapshot.channels.size()) + " channels\n";
  for (const ChannelSnapshot& channel : i_snapshot.channels) {
    strText += "channel " + channel.name + " (" + channel.type + ") ";
    if (channel.bOnline) {
      strText += "online  " + (channel.address.empty() ? "-" : channel.address) + "  in " +
                 std::to_string(channel.rateIn) + "  out " + std::to_string(channel.rateOut) + "\n";
    } else {
      strText += "offline\n";
    }
  }
  return strText;
}

}  // namespace ctl
