#pragma once

// The simulated router's configuration file, in TOML, read as the preferences are
// (preferences/TomlFile.h): only a regular file of at most 128 KiB, never waiting for a FIFO or
// a device. Every key is optional; an unknown key, a value of the wrong type or out of range,
// and a text that holds a control character (which would put lines of its own on the wire) are
// errors that name the file, line and key. A file's content in [files] may hold anything.
//
//   protocol = 11                  version = "zezar-routersim 1.0"
//   uptime = 86400                 cpu = 3                 date = "Tue Dec  8 12:00:00 2026"
//   route = 1                      dialmode = "auto"       reboot_seconds = 2
//   channels = 2                   online = 1              pppoe = false
//   timetable = ["Mo-Fr 08:00-18:00 route 1"]
//   [passwords]   admin = "admin"  user = "user"  root = "root"
//   [levels]      guest = 1        user = 2       admin = 4
//   [permissions] user = ["dial"]           # what a user login may run; admin runs everything
//   [[channel]]   online = true  address = "10.0.0.1"  phone = "0301000"
//                 rate_in = 30000  rate_out = 9000  quantity_in = 0  quantity_out = 0
//   [pppoe_link]  the same keys as a channel
//   [[circuit]]   name = "office"  device = "isdn"  hup_timeout = 60
//   [files]       "hello.txt" = "Hello\n"
//   [limits]      connections = 900   idle_timeout = 300 (seconds)   output_bytes = 65536
//                 store_bytes = 67108864   store_files = 256
//
// The limits bound what clients may hold (routersim::Limits): a connection where nothing moved
// for idle_timeout is closed, and when all are taken the one idle longest makes room for a new
// one; a client that lets more than output_bytes of answers pile up is closed; an upload that
// would pass either bound of the store is refused ("ERR store full").
//
// "channels" and "online" build that many numbered channels; [[channel]] tables list them one
// by one instead.

#include <filesystem>
#include <stdexcept>

#include "routersim/Router.h"

namespace routersim {

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Router LoadRouterConfig(const std::filesystem::path& i_path);  // throws ConfigError

}  // namespace routersim
