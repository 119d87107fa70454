#include "router/State.h"

#include <algorithm>

#include "text/Translation.h"

namespace router {

std::string Channel::Label() const { return LabelOf(name); }

std::string LabelOf(const std::string& i_strName) {
  return i_strName == "pppoe" ? "PPPoE" : i_strName;
}

std::string LabelList(const std::vector<std::string>& i_names) {
  std::string strOut;
  for (const std::string& name : i_names) strOut += (strOut.empty() ? "" : ", ") + LabelOf(name);
  return strOut;
}

const char* Channel::TypeName() const { return type == Type::Pppoe ? "pppoe" : "isdn"; }

Channel::Type TypeOf(Zastra::Channel::Type_t i_type) {
  return i_type == Zastra::Channel::PPPoE ? Channel::Type::Pppoe : Channel::Type::Isdn;
}

void NameChannels(std::vector<Channel>& io_channels) {
  int number = 0;
  for (Channel& channel : io_channels)
    channel.name = channel.type == Channel::Type::Pppoe ? "pppoe" : std::to_string(++number);
}

State::Condition State::condition() const {
  if (!reachable) return Condition::Unreachable;
  if (Online() == 0) return Condition::Offline;
  // Any non-zero rate is traffic, even when the sums wrap to zero.
  const bool bTraffic = std::any_of(channels.begin(), channels.end(), [](const Channel& c) {
    return c.online && (c.rate.in != 0 || c.rate.out != 0);
  });
  return bTraffic ? Condition::Active : Condition::Online;
}

int State::Online() const {
  return static_cast<int>(
      std::count_if(channels.begin(), channels.end(), [](const Channel& c) { return c.online; }));
}

Traffic State::TotalRate() const {
  Traffic total;
  for (const Channel& channel : channels) {
    if (!channel.online) continue;
    total.in += channel.rate.in;
    total.out += channel.rate.out;
  }
  return total;
}

double State::Capacity() const {
  double total = 0;
  for (const Channel& channel : channels)
    if (channel.online) total += channel.capacity;
  return total;
}

const char* ConditionName(State::Condition i_condition) {
  switch (i_condition) {
    case State::Condition::Unreachable:
      return "unreachable";
    case State::Condition::Offline:
      return "offline";
    case State::Condition::Online:
      return "online";
    case State::Condition::Active:
      return "active";
  }
  return "unreachable";
}

Connection Connection::Of(const State& i_state) {
  const State::Condition condition = i_state.condition();
  if (condition == State::Condition::Unreachable) return {Unreachable, {}, false};
  if (condition == State::Condition::Offline) return {Offline, {}, false};
  Connection connection{Online, {}, condition == State::Condition::Active};
  for (const Channel& channel : i_state.channels)
    if (channel.online) connection.channels.push_back(channel.name);
  return connection;
}

const char* KindName(Connection::Kind i_kind) {
  // Marked for the catalogue: a report for people shows them translated.
  switch (i_kind) {
    case Connection::Unreachable:
      return N_("unreachable");
    case Connection::Offline:
      return N_("offline");
    case Connection::Online:
      return N_("online");
  }
  return N_("unreachable");
}

std::vector<std::string> ChannelsMissing(const std::vector<std::string>& i_from,
                                         const std::vector<std::string>& i_in) {
  std::vector<std::string> missing;
  for (const std::string& name : i_from)
    if (std::find(i_in.begin(), i_in.end(), name) == i_in.end()) missing.push_back(name);
  return missing;
}

}  // namespace router
