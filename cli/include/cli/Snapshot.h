#pragma once

// The router's state at one moment, as status, channels, watch and metrics show it: a
// router::State read through one logged-in connection.

#include <cstdint>
#include <string>

#include "cli/Output.h"
#include "cli/RouterConnection.h"
#include "router/State.h"

namespace ctl {

enum class Detail {
  Summary,     // channels with state, address and rates; the uptime
  Quantities,  // besides: each channel's quantities and the processor load
};

// Throws Failure(NoConnection) when the router stops answering meanwhile, and
// Failure(RouterRefused) when it answers a number beyond 64 bits.
router::State TakeSnapshot(RouterConnection& io_router, Detail i_detail);

Json ToJson(const router::State& i_state);
std::string ToText(const router::State& i_state);  // for people, in their language
const char* StateWord(bool i_bOnline);             // "online" or "offline", for people

}  // namespace ctl
