#pragma once

// The controller on the host core, on a manual clock, with in-memory preferences and a fixed
// default router; and the router's side of its exchanges.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>

#include "appkit/MenuExtraHost.h"
#include "appkit/NSBundle.h"
#include "appkit/NSMenu.h"
#include "client/Md5.h"
#include "menuextra/menubarThingy.h"
#include "menuextra/menubarThingyView.h"
#include "preferences/testing/MemoryPreferences.h"
#include "router/testing/FixedRouter.h"
#include "runloop/testing/ManualRunLoop.h"
#include "support/FakeDaemon.h"
#include "support/RouterScripts.h"

namespace zezar_test {

inline const std::string kDomain = "org.zezar.menuextra";

// ---- the fixture ----

class AController : public ::testing::Test {
 protected:
  void SetUp() override {
    host.emplace(appkit::MenuExtraHost::Services{
        .runLoop = loop,
        .preferences = preferences,
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
    for (const appkit::MenuEntry& entry : host->Menu().entries) titles.push_back(entry.title);
    return titles;
  }

  // Chooses the enabled entry of that title from the menu as the host shows it.
  bool Choose(const std::string& i_strTitle) {
    for (const appkit::MenuEntry& entry : host->Menu().entries)
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

  // The count the last drawing printed over the icon, or "" when it printed none.
  std::string PrintedCount() const {
    for (const std::string& line : host->Drawing().Describe())
      if (line.rfind("text ", 0) == 0)
        return line.substr(line.find('"') + 1, line.rfind('"') - line.find('"') - 1);
    return "";
  }

  // The tops of the last drawing's bars, in view units above the baseline (2): the incoming
  // bars' (drawn last, green), or with i_bOutgoing the outgoing ones stacked on them (red).
  std::vector<double> BarTops(bool i_bOutgoing = false) const {
    std::vector<std::string> strokes;
    for (const std::string& line : host->Drawing().Describe())
      if (line.rfind("stroke ", 0) == 0) strokes.push_back(line);
    std::vector<double> tops;
    if (strokes.size() != 2) return tops;
    std::istringstream words(strokes[i_bOutgoing ? 0 : 1]);
    std::string word;
    double x = 0, y = 0;
    while (words >> word) {
      if (word == "L" && words >> x >> y) tops.push_back(y);
    }
    return tops;
  }

  static Transcript Check(FakeDaemon& io_daemon) {
    Transcript transcript = io_daemon.Finish();
    EXPECT_EQ(transcript.error, "");
    return transcript;
  }

  runloop::ManualRunLoop loop;
  preferences::MemoryPreferences preferences{kDomain};
  router::FixedRouter router{std::nullopt};
  router::DefaultRouterInstallation installedRouter{router};
  NSBundle bundle{kDomain, ZEZAR_RESOURCE_DIR};
  std::vector<std::string> logged;  // what the host would log
  std::optional<appkit::MenuExtraHost> host;
  ZezarIZIDezev* controller = nullptr;
};

}  // namespace zezar_test
