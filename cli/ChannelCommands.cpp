// status, channels, channel N, circuits, hup-timeout.

#include "Commands.h"
#include "cli/Failure.h"
#include "cli/Snapshot.h"
#include "text/MacRoman.h"
#include "text/Printable.h"
#include "text/Translation.h"

namespace ctl {

namespace {

using text::Format;
using text::Printable;  // every text of the router's, for people; JSON takes it exact
using text::Tr;

std::string Utf8(const std::string& i_strRouterText) {
  return text::MacRomanToUtf8(i_strRouterText);
}

Json Pair(const Zastra::Channel::Traffic_t& i_traffic) {
  return {{"in", i_traffic.in}, {"out", i_traffic.out}};
}

std::string PairText(const Zastra::Channel::Traffic_t& i_traffic) {
  return Format(Tr("in {1}  out {2}"),
                {std::to_string(i_traffic.in), std::to_string(i_traffic.out)});
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
    // TRANSLATORS: one channel a line: name, type, state, address, then its rates and the
    // quantities it carried since it was dialled, in and out.
    output.text += Format(Tr("{1}\t{2}\t{3}\t{4}\trate in {5} out {6}\tquantity in {7} out {8}"),
                          {channel.name, channel.TypeName(), StateWord(channel.online),
                           channel.address.empty() ? "-" : Printable(channel.address),
                           std::to_string(channel.rate.in), std::to_string(channel.rate.out),
                           std::to_string(quantity.in), std::to_string(quantity.out)}) +
                   "\n";
  }
  if (state.channels.empty())
    output.text = std::string(Tr("the router reports no channels")) + "\n";
  return output;
}

Output ChannelDetails(RouterConnection& io_router, const std::string& i_strName) {
  const std::vector<Zastra::Channel*>& channels = io_router.client().GetChannels();
  io_router.CheckConnected(Tr("listing its channels"));
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
    const std::string strNumbered = std::to_string(uNumbered);
    const char* pPattern =
        uNumbered == 0
            ? (bPppoe ? Tr("no channel {1}: the router has no numbered channels and pppoe")
                      : Tr("no channel {1}: the router has no numbered channels and no "
                           "pppoe link"))
            : (bPppoe ? Tr("no channel {1}: the router has channels 1 to {2} and pppoe")
                      : Tr("no channel {1}: the router has channels 1 to {2} and no "
                           "pppoe link"));
    throw Failure(ExitCode::Usage, Format(pPattern, {i_strName, strNumbered}));
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
  io_router.CheckConnected(Format(Tr("reading channel {1}"), {i_strName}));

  Output output;
  const std::string strType = router::Channel{.type = router::TypeOf(pChannel->Type())}.TypeName();
  output.json = {{"name", i_strName},
                 {"type", strType},
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
  // TRANSLATORS: a table of labels and values; keep the values in one column.
  output.text = Format(Tr("channel      {1} ({2})\n"
                          "state        {3}\n"
                          "address      {4}\n"
                          "phone        {5}\n"
                          "in/out       {6}\n"
                          "online time  {7}\n"
                          "time         {8}\n"
                          "charge time  {9}\n"),
                       {i_strName, strType, StateWord(bOnline), Printable(strAddress),
                        Printable(strPhone), Printable(strInOut), Printable(strOnlineTime),
                        Printable(strTime), Printable(strChargeTime)}) +
                Format(Tr("charge       {1}\n"
                          "rate         {2}\n"
                          "quantity     {3}\n"),
                       {Printable(strCharge), PairText(rate), PairText(quantity)});
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
    output.text += Format(Tr("{1}\t{2}\t{3}\thang-up time-out {4} s"),
                          {std::to_string(number), Printable(strName), Printable(strDevice),
                           std::to_string(lTimeout)}) +
                   "\n";
  }
  io_router.CheckConnected(Tr("listing its circuits"));
  if (number == 0) output.text = std::string(Tr("the router reports no circuits")) + "\n";
  return output;
}

Output HupTimeout(RouterConnection& io_router, int i_iCircuit, std::optional<long> i_lSeconds) {
  const std::vector<Zastra::Circuit*>& circuits = io_router.client().GetCircuits();
  io_router.CheckConnected(Tr("listing its circuits"));
  const std::string strCircuit = std::to_string(i_iCircuit);
  if (i_iCircuit < 1 || static_cast<std::size_t>(i_iCircuit) > circuits.size()) {
    throw Failure(ExitCode::Usage,
                  circuits.empty() ? Format(Tr("no circuit {1}: the router has none"), {strCircuit})
                                   : Format(Tr("no circuit {1}: the router has 1 to {2}"),
                                            {strCircuit, std::to_string(circuits.size())}));
  }
  Zastra::Circuit& circuit = *circuits[static_cast<std::size_t>(i_iCircuit) - 1];
  if (i_lSeconds && !circuit.CanSetHupTimeOut()) {
    io_router.CheckConnected(Format(Tr("reading circuit {1}"), {strCircuit}));
    throw Failure(
        ExitCode::RouterRefused,
        Format(Tr("circuit {1} is the PPPoE link: its hang-up time-out is fixed"), {strCircuit}));
  }
  long lTimeout = circuit.HupTimeOut(i_lSeconds.value_or(0));
  io_router.CheckConnected(Tr("setting the hang-up time-out"));
  if (i_lSeconds && lTimeout != *i_lSeconds) {
    lTimeout = circuit.HupTimeOut(0);  // a refusal answers no time-out; say which one holds
    io_router.CheckConnected(Tr("reading the hang-up time-out"));
    throw Failure(ExitCode::RouterRefused,
                  Format(Tr("the router refused hang-up time-out {1} s for circuit {2} (it is "
                            "{3} s)"),
                         {std::to_string(*i_lSeconds), strCircuit, std::to_string(lTimeout)}));
  }
  return {
      {{"circuit", i_iCircuit}, {"hup_timeout", lTimeout}},
      Format(Tr("circuit {1}: hang-up time-out {2} s"), {strCircuit, std::to_string(lTimeout)}) +
          "\n"};
}

}  // namespace ctl
