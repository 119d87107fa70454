#pragma once

// A router as one look at it found it: whether it answered, and its channels with their type,
// state, address and rates. The monitor fills it on every poll from what the poll asks,
// zezarctl and the exporter from what their command asks; what was not asked stays empty.
//
// The part that makes a connection (reachability and the channels online) is its Connection:
// what the timeline records and what notifications compare.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "client/Zastra.h"

namespace router {

struct Traffic {
  uint64_t in = 0;
  uint64_t out = 0;
  bool operator==(const Traffic&) const = default;
};

// One channel's capacity when nothing else is configured, in bytes per second: the monitor's
// MaxChannelRate default of 1152, times 128 bytes per second for each of its units.
inline constexpr double kBytesPerSecondPerMaxChannelRate = 128.0;
inline constexpr double kDefaultChannelCapacity = 1152 * kBytesPerSecondPerMaxChannelRate;

struct Channel {
  enum class Type { Isdn, Pppoe };

  std::string name{};  // as the router names it: "pppoe", or the channel's number from "1"
  Type type = Type::Isdn;
  bool online = false;
  std::string address{};              // UTF-8; empty while offline or when not asked
  Traffic rate{};                     // bytes per second, as the router states them
  std::optional<Traffic> quantity{};  // bytes carried since dialled, when asked
  double capacity = 0;                // bytes per second it can carry, as configured; 0: unknown

  // For people: "PPPoE", or the number.
  std::string Label() const;
  const char* TypeName() const;  // "isdn" or "pppoe", never translated
  bool operator==(const Channel&) const = default;
};

// A channel's name as people know it: "PPPoE" for "pppoe", else the name.
std::string LabelOf(const std::string& i_strName);
// Channels' names as people read a list of them: "PPPoE, 1, 2".
std::string LabelList(const std::vector<std::string>& i_names);

// The type of one of the client's channels.
Channel::Type TypeOf(Zastra::Channel::Type_t i_type);
// Names the channels by their types, in the client's order: the PPPoE link "pppoe" (it comes
// first when there is one), then "1" to "n".
void NameChannels(std::vector<Channel>& io_channels);

struct State {
  // The four states the icon shows; Active is online with traffic.
  enum class Condition { Unreachable, Offline, Online, Active };

  bool reachable = false;  // answered and accepted the login
  std::vector<Channel> channels{};
  // What a fuller look asks besides the channels.
  std::string where{};  // "host:port"
  uint32_t protocol = 0;
  std::string version{};                      // UTF-8
  uint16_t level = 0;                         // the login's access level
  std::optional<uint64_t> uptime{};           // seconds
  std::optional<uint16_t> cpu{};              // percent
  std::map<std::string, bool> permissions{};  // by is-allowed word (Commands.h), when asked

  Condition condition() const;
  int Online() const;
  Traffic TotalRate() const;  // of the online channels; the sums wrap as the router's numbers do
  double Capacity() const;    // of the online channels
  bool operator==(const State&) const = default;
};

// "unreachable", "offline", "online", "active": for files, JSON and bars, never translated.
const char* ConditionName(State::Condition i_condition);

// The connection: whether the router answered, which channels were online, and whether there
// was traffic.
struct Connection {
  enum Kind { Unreachable, Offline, Online };
  Kind kind = Unreachable;
  std::vector<std::string> channels{};  // the online ones by name, in order
  bool traffic = false;

  static Connection Of(const State& i_state);
  // Reachability and the channels online. Traffic comes and goes with every download and is
  // no change of the connection.
  bool SameConnection(const Connection& i_other) const {
    return kind == i_other.kind && channels == i_other.channels;
  }
  bool operator==(const Connection&) const = default;
};

const char* KindName(Connection::Kind i_kind);  // "unreachable", "offline", "online"

// The channels of one list that the other lacks, in order: what came up, or went down.
std::vector<std::string> ChannelsMissing(const std::vector<std::string>& i_from,
                                         const std::vector<std::string>& i_in);

}  // namespace router
