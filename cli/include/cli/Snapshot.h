#pragma once

// The router's state at one moment, as status, watch and metrics show it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Output.h"
#include "cli/RouterConnection.h"

namespace ctl {

struct ChannelSnapshot {
  std::string name;  // "pppoe" or the channel number
  std::string type;  // "pppoe" or "isdn"
  bool bOnline = false;
  std::string address;  // UTF-8; empty while offline
  uint64_t rateIn = 0;  // as the router states them
  uint64_t rateOut = 0;
  std::optional<uint64_t> quantityIn;  // with Detail::Quantities only
  std::optional<uint64_t> quantityOut;
};

struct Snapshot {
  std::string router;  // host:port
  uint32_t protocol = 0;
  std::string version;  // UTF-8
  uint16_t level = 0;
  std::vector<ChannelSnapshot> channels;
  uint64_t uptime = 0;
  std::optional<uint16_t> cpu;  // with Detail::Quantities only

  int Online() const;
  // "offline" (no channel online), "online" (no traffic) or "active" (traffic in or out).
  std::string State() const;
};

enum class Detail { Summary, Quantities };

// Throws Failure(NoConnection) when the router stops answering meanwhile, and
// Failure(RouterRefused) when it answers a number beyond 64 bits.
Snapshot TakeSnapshot(RouterConnection& io_router, Detail i_detail);

Json ToJson(const Snapshot& i_snapshot);
std::string ToText(const Snapshot& i_snapshot);
std::string LoginName(uint16_t i_level);  // "admin" or "user"

}  // namespace ctl
