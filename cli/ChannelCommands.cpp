// status, channels, channel N, circuits, hup-timeout.

#include "Commands.h"
#include "cli/Failure.h"
#include "cli/Snapshot.h"
#include "text/MacRoman.h"

namespace ctl {

namespace {

std::string Utf8(const std::string& i_strRouterText) {
  return text::MacRomanToUtf8(i_strRouterText);
}

Json Pair(const Zastra::Channel::Traffic_t& i_traffic) {
  return {{"in", i_traffic.in}, {"out", i_traffic.out}};
}

std::string PairText(const Zastra::Channel::Traffic_t& i_traffic) {
  return "in " + std::to_string(i_traffic.in) + "  out " + std::to_string(i_traffic.out);
}

}  // namespace

Output Status(RouterConnection& io_router) {
  const router::State state = TakeSnapshot(io_router, Detail::Summary);
  return {ToJson(state), ToText(state)};
}

Output Channels(RouterConnection& io_router) {
  const router::State state = TakeSnapshot(io_router, Detail::Quantities);
  Output output{ToJson(state)["channels"], ""};
  for (const router::Channel& channel : state.channels) {
    const router::Traffic quantity = channel.quantity.value_or(router::Traffic{});
    output.text += channel.name + "\t" + channel.TypeName() + "\t" +
                   (channel.online ? "online" : "offline") + "\t" +
                   (channel.address.empty() ? "-" : channel.address) + "\trate in " +
                   std::to_string(channel.rate.in) + " out " + std::to_string(channel.rate.out) +
                   "\tquantity in " + std::to_string(quantity.in) + " out " +
                   std::to_string(quantity.out) + "\n";
  }
  if (state.channels.empty()) output.text = "the router reports no channels\n";
  return output;
}

Output ChannelDetails(RouterConnection& io_router, const std::string& i_strName) {
  const std::vector<Zastra::Channel*>& channels = io_router.client().GetChannels();
  io_router.CheckConnected("listing its channels");
  const bool bPppoe = !channels.empty() && channels.front()->Type() == Zastra::Channel::PPPoE;
  const std::size_t uNumbered = channels.size() - (bPppoe ? 1 : 0);
  Zastra::Channel* pChannel = nullptr;
  if (i_strName == "pppoe") {
    if (bPppoe) pChannel = channels.front();
  } else {
    const std::size_t uNumber = std::stoul(i_strName);  // checked digits on the command line
    if (uNumber >= 1 && uNumber <= uNumbered) pChannel = channels[uNumber - 1 + (bPppoe ? 1 : 0)];
  }
  if (pChannel == nullptr) {
    std::string strHas =
        uNumbered == 0 ? "no numbered channels" : "channels 1 to " + std::to_string(uNumbered);
    throw Failure(ExitCode::Usage, "no channel " + i_strName + ": the router has " + strHas +
                                       (bPppoe ? " and pppoe" : " and no pppoe link"));
  }
  const bool bOnline = pChannel->Status() == Zastra::Channel::Online;
  const std::string strAddress = Utf8(pChannel->IP());
  const std::string strPhone = Utf8(pChannel->Phone());
  const std::string strInOut = Utf8(pChannel->InOut());
  const std::string strOnlineTime = Utf8(pChannel->OnlineTime());
  const std::string strTime = Utf8(pChannel->Time());
  const std::string strChargeTime = Utf8(pChannel->ChargeTime());
  const std::string strCharge = Utf8(pChannel->Charge());
  const Zastra::Channel::Traffic_t rate = pChannel->Rate();
  const Zastra::Channel::Traffic_t quantity = pChannel->Quantity();
  io_router.CheckConnected("reading channel " + i_strName);

  Output output;
  output.json = {{"name", i_strName},
                 {"type", pChannel->Type() == Zastra::Channel::PPPoE ? "pppoe" : "isdn"},
                 {"state", bOnline ? "online" : "offline"},
                 {"address", strAddress},
                 {"phone", strPhone},
                 {"inout", strInOut},
                 {"online_time", strOnlineTime},
                 {"time", strTime},
                 {"charge_time", strChargeTime},
                 {"charge", strCharge},
                 {"rate", Pair(rate)},
                 {"quantity", Pair(quantity)}};
  output.text = "channel      " + i_strName + " (" + output.json["type"].get<std::string>() +
                ")\nstate        " + (bOnline ? "online" : "offline") + "\naddress      " +
                strAddress + "\nphone        " + strPhone + "\nin/out       " + strInOut +
                "\nonline time  " + strOnlineTime + "\ntime         " + strTime +
                "\ncharge time  " + strChargeTime + "\ncharge       " + strCharge +
                "\nrate         " + PairText(rate) + "\nquantity     " + PairText(quantity) + "\n";
  return output;
}

Output Circuits(RouterConnection& io_router) {
  Output output{Json::array(), ""};
  int number = 0;
  for (Zastra::Circuit* pCircuit : io_router.client().GetCircuits()) {
    ++number;
    const std::string strName = Utf8(pCircuit->Name());
    const std::string strDevice = Utf8(pCircuit->Device());
    const long lTimeout = pCircuit->HupTimeOut(0);  // 0 only asks
    output.json.push_back({{"number", number},
                           {"name", strName},
                           {"device", strDevice},
                           {"hup_timeout", lTimeout},
                           {"hup_timeout_settable", strDevice != "pppoe"}});
    output.text += std::to_string(number) + "\t" + strName + "\t" + strDevice +
                   "\thang-up time-out " + std::to_string(lTimeout) + " s\n";
  }
  io_router.CheckConnected("listing its circuits");
  if (number == 0) output.text = "the router reports no circuits\n";
  return output;
}

Output HupTimeout(RouterConnection& io_router, int i_iCircuit, std::optional<long> i_lSeconds) {
  const std::vector<Zastra::Circuit*>& circuits = io_router.client().GetCircuits();
  io_router.CheckConnected("listing its circuits");
  if (i_iCircuit < 1 || static_cast<std::size_t>(i_iCircuit) > circuits.size()) {
    throw Failure(ExitCode::Usage,
                  "no circuit " + std::to_string(i_iCircuit) + ": the router has " +
                      (circuits.empty() ? "none" : "1 to " + std::to_string(circuits.size())));
  }
  Zastra::Circuit& circuit = *circuits[static_cast<std::size_t>(i_iCircuit) - 1];
  if (i_lSeconds && !circuit.CanSetHupTimeOut()) {
    io_router.CheckConnected("reading circuit " + std::to_string(i_iCircuit));
    throw Failure(ExitCode::RouterRefused, "circuit " + std::to_string(i_iCircuit) +
                                               " is the PPPoE link: its hang-up time-out is "
                                               "fixed");
  }
  long lTimeout = circuit.HupTimeOut(i_lSeconds.value_or(0));
  io_router.CheckConnected("setting the hang-up time-out");
  if (i_lSeconds && lTimeout != *i_lSeconds) {
    lTimeout = circuit.HupTimeOut(0);  // a refusal answers no time-out; say which one holds
    io_router.CheckConnected("reading the hang-up time-out");
    throw Failure(ExitCode::RouterRefused, "the router refused hang-up time-out " +
                                               std::to_string(*i_lSeconds) + " s for circuit " +
                                               std::to_string(i_iCircuit) + " (it is " +
                                               std::to_string(lTimeout) + " s)");
  }
  return {{{"circuit", i_iCircuit}, {"hup_timeout", lTimeout}},
          "circuit " + std::to_string(i_iCircuit) + ": hang-up time-out " +
              std::to_string(lTimeout) + " s\n"};
}

}  // namespace ctl
