#pragma once

// The router's side of the monitor's exchanges, as scripts for the fake daemon: logins, the
// channel list, permissions, and each tick's questions.

#include <string>
#include <vector>

#include "support/FakeDaemon.h"

namespace zezar_test {

// One channel as the router reports it.
struct ChannelState {
  ChannelState() = default;
  ChannelState(bool i_bOnline, std::string i_strAddress = "", std::string i_strRate = "0 0")
      : online(i_bOnline), address(std::move(i_strAddress)), rate(std::move(i_strRate)) {}

  bool online = false;
  std::string address;       // the answer to "ip"
  std::string rate = "0 0";  // the answer to "rate"
};

// Administrator login with protocol 10 and the password "adm"; the level is 4 afterwards.
inline Script AdminLogin() {
  return Exchanges({{"version", "OK 10 test"},
                    {"pass ", "OK 1"},
                    {"pass adm", "OK 4"},
                    {"pass ", "OK 4"},
                    {"uptime", "OK 100"},
                    {"pass ", "OK 4"},
                    {"uptime", "OK 100"}});
}

// The same after a reconnection: the version is known by then.
inline Script AdminRelogin() {
  Script script = AdminLogin();
  script.erase(script.begin(), script.begin() + 2);
  return script;
}

inline Script ChannelList(int i_iChannels) {
  return Exchanges({{"channels", "OK " + std::to_string(i_iChannels)}, {"pppoe", "OK 0"}});
}

inline std::string Allowed(bool i_bAllowed) { return i_bAllowed ? "OK 1" : "OK 0"; }

inline Script Permissions(bool i_bDial, bool i_bAddLink, bool i_bHalt, bool i_bReboot) {
  return Exchanges({{"is-allowed dial", Allowed(i_bDial)},
                    {"is-allowed addlink", Allowed(i_bAddLink)},
                    {"is-allowed halt", Allowed(i_bHalt)},
                    {"is-allowed reboot", Allowed(i_bReboot)}});
}

// Every channel's status and, for each online one, one more question: its address while the
// menu is built, its rate while the view is drawn.
inline Script StatusAnd(const std::vector<ChannelState>& i_channels,
                        const std::string& i_strKeyword, std::string ChannelState::*i_pAnswer) {
  Script script;
  for (std::size_t i = 0; i < i_channels.size(); ++i) {
    const std::string name = std::to_string(i + 1);
    const ChannelState& channel = i_channels[i];
    script = script + Exchanges({{"status " + name, channel.online ? "OK Online" : "OK Offline"}});
    if (channel.online)
      script = script + Exchanges({{i_strKeyword + name, "OK " + channel.*i_pAnswer}});
  }
  return script;
}

inline Script MenuBuild(const std::vector<ChannelState>& i_channels) {
  return StatusAnd(i_channels, "ip ", &ChannelState::address);
}

inline Script Sample(const std::vector<ChannelState>& i_channels) {
  return StatusAnd(i_channels, "rate ", &ChannelState::rate);
}

inline Script Tick(const std::vector<ChannelState>& i_channels) {
  return MenuBuild(i_channels) + Sample(i_channels);
}

// A fresh connection with every permission, and its first tick.
inline Script FullLogin(const std::vector<ChannelState>& i_channels) {
  return AdminLogin() + ChannelList(static_cast<int>(i_channels.size())) +
         Permissions(true, true, true, true) + Tick(i_channels);
}

// A reconnection after a lost connection: the version and the channel list are still known.
inline Script Relogin(const std::vector<ChannelState>& i_channels) {
  return AdminRelogin() + Permissions(true, true, true, true) + Tick(i_channels);
}

}  // namespace zezar_test
