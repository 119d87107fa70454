#pragma once

// What one poll of the router found, as the timeline sees it: whether it answered, which
// channels were online, and whether there was traffic.

#include <string>
#include <vector>

namespace timeline {

struct RouterState {
  enum Kind { Unreachable, Offline, Online };
  Kind kind = Unreachable;
  std::vector<std::string> channels;  // the online ones by name ("PPPoE", "1", ...), in order
  bool traffic = false;

  // The same connection: reachability and the channels online. Traffic comes and goes with
  // every download and is no change of the connection.
  bool SameConnection(const RouterState& i_other) const {
    return kind == i_other.kind && channels == i_other.channels;
  }
  bool operator==(const RouterState&) const = default;
};

const char* KindName(RouterState::Kind i_kind);  // "unreachable", "offline", "online"

// The channels of one list that the other lacks, in order: what came up, or went down.
std::vector<std::string> ChannelsMissing(const std::vector<std::string>& i_from,
                                         const std::vector<std::string>& i_in);

}  // namespace timeline
