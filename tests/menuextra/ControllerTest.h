#pragma once

// The controller on the host core, on a manual clock, with in-memory preferences and a fixed
// default router; and the router's side of its exchanges.

#include <gtest/gtest.h>

#include <optional>

#include "client/Md5.h"
#include "menuextra/menubarThingy.h"
#include "menuextra/menubarThingyView.h"
#include "platform/MenuExtraHost.h"
#include "platform/NSBundle.h"
#include "platform/NSMenu.h"
#include "platform/testing/FixedRouter.h"
#include "platform/testing/ManualRunLoop.h"
#include "platform/testing/MemoryPreferences.h"
#include "tests/support/FakeDaemon.h"

namespace zezar_test {

inline const std::string kDomain = "org.zezar.menuextra";

// One channel as the router reports it.
struct ChannelState {
  ChannelState() = default;
  ChannelState(bool i_bOnline, std::string i_strAddress = "", std::string i_strRate = "0 0")
      : online(i_bOnline), address(std::move(i_strAddress)), rate(std::move(i_strRate)) {}

  bool online = false;
  std::string address;       // the answer to "ip"
  std::string rate = "0 0";  // the answer to "rate"
};

// ---- the router's side ----

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

// ---- the fixture ----

class AController : public ::testing::Test {
 protected:
  void SetUp() override {
    host.emplace(platform::MenuExtraHost::Services{
        .runLoop = loop,
        .preferences = preferences,
        .defaultRouter = router,
        .log = [this](const std::string& i_strLine) { logged.push_back(i_strLine); },
        .recover =
            [] {
              if (globalZastra != nullptr) globalZastra->Disconnect();
            }});
  }
  void TearDown() override { host.reset(); }

  ZezarIZIDezev* Load() {
    controller = host->Load<ZezarIZIDezev>(bundle);
    return controller;
  }

  // Points the controller at a daemon, as the default router, with the admin password.
  void UseDaemon(const FakeDaemon& i_daemon) {
    router.Set("127.0.0.1");
    preferences.Set("RouterPort", static_cast<long>(i_daemon.Port()));
    preferences.Set("RouterAdminPass", std::string("adm"));
  }

  void NextTick() { loop.Advance(std::chrono::seconds(2)); }

  // The menu as the host shows it.
  std::vector<std::string> MenuTitles() const {
    std::vector<std::string> titles;
    for (const platform::MenuEntry& entry : host->Menu().entries) titles.push_back(entry.title);
    return titles;
  }

  // Chooses the enabled entry of that title from the menu as the host shows it.
  bool Choose(const std::string& i_strTitle) {
    for (const platform::MenuEntry& entry : host->Menu().entries)
      if (entry.title == i_strTitle && entry.enabled) return host->Choose(entry.id);
    return false;
  }

  // The name of the status image the last drawing painted, or "" when it painted none.
  std::string LastImage() const {
    std::string name;
    for (const std::string& line : host->Drawing().Describe()) {
      if (line.rfind("image ", 0) != 0) continue;
      const std::string path = line.substr(6, line.find(' ', 6) - 6);
      name = std::filesystem::path(path).stem().string();
    }
    return name;
  }

  static Transcript Check(FakeDaemon& io_daemon) {
    Transcript transcript = io_daemon.Finish();
    EXPECT_EQ(transcript.error, "");
    return transcript;
  }

  platform::ManualRunLoop loop;
  platform::MemoryPreferences preferences{kDomain};
  platform::FixedRouter router{std::nullopt};
  NSBundle bundle{kDomain, ZEZAR_RESOURCE_DIR};
  std::vector<std::string> logged;  // what the host would log
  std::optional<platform::MenuExtraHost> host;
  ZezarIZIDezev* controller = nullptr;
};

}  // namespace zezar_test
