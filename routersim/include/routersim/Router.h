#pragma once

// The state of a simulated router, as its monitor daemon reports it. Every connection shares
// one Router, so a command on one connection shows on all the others.

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace routersim {

struct Channel {
  bool online = false;
  std::string address;  // while online
  std::string phone;
  std::string inout = "out";  // who dialled: "in" or "out"
  std::string onlineTime = "00:12:34";
  std::string time = "00:12:34";
  std::string chargeTime = "00:10:00";
  std::string charge = "0.48";
  uint64_t rateIn = 0;  // bytes per second
  uint64_t rateOut = 0;
  uint64_t quantityIn = 0;  // bytes since dialling
  uint64_t quantityOut = 0;
};

struct Circuit {
  std::string name;
  std::string device;    // "pppoe" for the PPPoE link, whose hang-up time-out is fixed
  long hupTimeout = 60;  // seconds
};

// The access levels a login reaches. The client reads above 1 as user and above 3 as
// administrator rights.
struct Levels {
  uint16_t guest = 1;
  uint16_t user = 2;
  uint16_t admin = 4;
};

// What one simulator takes from its clients at most, so that careless or hostile ones cannot
// take it all.
struct Limits {
  std::size_t connections = 900;  // below the usual limit of 1024 descriptors
  // A connection where nothing moved either way for this long is closed; when all are taken,
  // the one idle longest makes room for a new one.
  std::chrono::milliseconds idleTimeout{std::chrono::minutes(5)};
  std::size_t outputBytes = 64 * 1024;  // not yet taken by a client; beyond, it is closed
  uint64_t storeBytes = 64u << 20;      // in all files of the store together
  std::size_t storeFiles = 256;
};

struct Router {
  uint32_t protocol = 11;  // 10 or less: clear-text login and two-figure quantities
  std::string versionText = "zezar-routersim 1.0";
  std::string adminPassword = "admin";
  std::string userPassword = "user";
  std::string rootPassword = "root";  // for "support", "send" and "receive"
  Levels levels;
  uint64_t uptime = 86400;  // seconds at bootTime; the answer adds the time since
  std::chrono::steady_clock::time_point bootTime = std::chrono::steady_clock::now();
  int rebootSeconds = 2;          // how long a "reboot" refuses connections
  uint16_t cpu = 3;               // percent
  std::string date;               // empty: the machine's clock
  bool pppoe = false;             // a PPPoE link, named "pppoe", ahead of the numbered channels
  Channel pppoeLink;              // its state, while pppoe is true
  std::vector<Channel> channels;  // "1", "2", ...
  std::vector<Circuit> circuits;  // 1, 2, ...
  int route = 1;
  std::string dialmode = "auto";
  std::vector<std::string> timetable = {"Mo-Fr 08:00-18:00 route 1", "Sa-Su 00:00-24:00 route 2"};
  bool varyRates = false;  // each rate answer moves through a cycle, for a lively demo
  // What a user login may run; an administrator may run everything.
  std::set<std::string> userMayRun = {"dial"};
  std::map<std::string, std::string> files;  // the file store of "send" and "receive"
  uint64_t maxFileSize = 64u << 20;          // bytes; a larger "receive" is refused
  Limits limits;

  // A router with `count` numbered channels, the first `online` of them online.
  static Router WithChannels(int i_iCount, int i_iOnline);
};

}  // namespace routersim
