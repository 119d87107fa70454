#pragma once

// One probe of one router: a connection of its own, the user login, the router's state, and
// the page Prometheus scrapes. Nothing is kept from an earlier probe but the login pins.
//
// Bounds: the whole probe, connection attempt and every exchange, ends within kProbeBudget; a
// router that is silent, slow or endless costs its own probe that much and nothing more. It
// runs on a thread of its own and shares nothing with other probes but the pins.

#include <chrono>
#include <string>

#include "Config.h"
#include "router/LoginPins.h"

namespace exporter {

inline constexpr std::chrono::milliseconds kProbeBudget{1500};

struct ProbeResult {
  bool up = false;
  std::chrono::duration<double> duration{};  // seconds
  std::string page;                          // the exposition text, zezar_up first
};

ProbeResult Probe(const RouterConfig& i_router, router::LoginPins& io_pins);

}  // namespace exporter
