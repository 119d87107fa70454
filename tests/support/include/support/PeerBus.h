#pragma once

// Two ends of one D-Bus connection inside the process, without a bus daemon: a socketpair, one
// end an sd-bus server, both attached to one sd-event loop. Enough for an object and its caller.
// Throws std::system_error when it cannot be set up.

#include <string>

#include "runloop/SdBus.h"
#include "runloop/SdEventPtr.h"

namespace zezar_test {

struct PeerBus {
  PeerBus();

  // Dispatches until the call is answered (a reply or an error), at most i_iTurns rounds;
  // the reply, or null for an error (then o_strError is its name) or no answer.
  runloop::SdBusMessagePtr Call(sd_bus_message* i_pCall, std::string& o_strError,
                                int i_iTurns = 1000);

  runloop::SdEventPtr event;
  runloop::SdBusPtr server;  // where the object lives
  runloop::SdBusPtr client;  // who calls it
};

}  // namespace zezar_test
