#pragma once

// The state of a simulated router, as its monitor daemon reports it.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace routersim {

struct Channel {
  bool online = false;
  std::string address;  // while online
  std::string phone;
  uint64_t rateIn = 0;  // bytes per second
  uint64_t rateOut = 0;
  uint64_t quantityIn = 0;  // bytes since dialling
  uint64_t quantityOut = 0;
};

struct Router {
  uint32_t protocol = 11;  // 10 or less: clear-text login and two-figure quantities
  std::string versionText = "zezar-routersim 1.0";
  std::string adminPassword = "admin";
  std::string userPassword = "user";
  uint64_t uptime = 86400;        // seconds
  uint16_t cpu = 3;               // percent
  bool pppoe = false;             // a PPPoE link, named "pppoe", ahead of the numbered channels
  Channel pppoeLink;              // its state, while pppoe is true
  std::vector<Channel> channels;  // "1", "2", ...
  int route = 1;
  std::string dialmode = "auto";
  bool varyRates = false;  // each rate answer moves through a cycle, for a lively demo
  // What a user login may run; an administrator may run everything.
  std::set<std::string> userMayRun = {"dial"};

  // A router with `count` numbered channels, the first `online` of them online.
  static Router WithChannels(int i_iCount, int i_iOnline);
};

}  // namespace routersim
