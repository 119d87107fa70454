#pragma once

// The exporter's configuration: the routers it may probe, from a TOML file.
//
//   [[router]]
//   name = "office"                 # unique: the target's name in /probe?target= and /sd
//   address = "192.0.2.1"           # IPv4 address or host name
//   port = 5000                     # default 5000
//   password_file = "/etc/zezar/office.pass"  # the user login's password, first line
//   max_channel_rate = 1152         # optional: one channel's capacity, as the monitor's
//                                   # MaxChannelRate (128 bytes per second each)
//   labels = { site = "berlin" }    # optional: added to the target in discovery
//
// Everything is checked when the file is read, and the whole file is refused with the first
// problem (file, router and key named): a bad file never half-replaces a good one. A password
// file must be a regular file that others may not read; its first line is read then, so a
// probe touches no file.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace exporter {

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RouterConfig {
  std::string name;
  std::string address;
  uint16_t port = 5000;
  std::string password;        // Mac OS Roman, as the router takes it; never shown
  double channelCapacity = 0;  // bytes per second
  std::map<std::string, std::string> labels;
};

struct Config {
  std::vector<RouterConfig> routers;                             // in the file's order
  std::unordered_map<std::string, std::size_t> byName;           // index into routers
  const RouterConfig* Find(const std::string& i_strName) const;  // null for an unknown name
};

inline constexpr std::size_t kMaxConfigBytes = 16u << 20;  // some hundred thousand routers
inline constexpr std::size_t kMaxPasswordFileBytes = 4096;

// Throws ConfigError.
std::shared_ptr<const Config> LoadConfig(const std::filesystem::path& i_path);

}  // namespace exporter
