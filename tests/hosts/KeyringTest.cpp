// The monitor and the keyring: it logs in with the passwords a real Secret Service holds for
// its router, tells of a locked or missing keyring as its reason and keeps polling, and with a
// lookup done (in the helper) its bounds still hold: a stalled router is cut off, SIGTERM ends
// it at once.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>

#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "routersim/ServerProcess.h"
#include "runloop/SdBus.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/PanelPeer.h"
#include "support/SecretService.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

// How many connections the bus has taken: a new one's unique name, ":1.N", counts them. Each
// keyring lookup's helper is one.
uint64_t ConnectionsSoFar(const std::string& i_strAddress) {
  sd_bus* pBus = nullptr;
  if (sd_bus_new(&pBus) < 0) return 0;
  const runloop::SdBusPtr bus(pBus);
  const char* pName = nullptr;
  if (sd_bus_set_address(pBus, i_strAddress.c_str()) < 0 || sd_bus_set_bus_client(pBus, 1) < 0 ||
      sd_bus_start(pBus) < 0 || sd_bus_get_unique_name(pBus, &pName) < 0)
    return 0;
  const std::string strName = pName;
  return std::stoull(strName.substr(strName.find('.') + 1));
}

class AMonitorWithAKeyring : public ::testing::Test {
 protected:
  // No password in the preferences: the router's only source is the keyring.
  std::string Preferences(int i_iUpdateInterval) {
    return dir
        .Write("preferences.toml", "UpdateInterval = " + std::to_string(i_iUpdateInterval) +
                                       "\nAutoDetectRouter = false\nRouterIPAddress = "
                                       "\"127.0.0.1\"\nRouterPort = " +
                                       std::to_string(simulator.Port()) + "\n")
        .string();
  }
  std::map<std::string, std::string> Environment(const SecretService* i_pKeyring) const {
    std::map<std::string, std::string> environment{{"DBUS_SESSION_BUS_ADDRESS", bus.Address()},
                                                   {"LANGUAGE", "en"}};
    if (i_pKeyring != nullptr) environment.merge(i_pKeyring->Environment());
    return environment;
  }
  void StoreAdminPassword(const std::string& i_strPassword) {
    const std::string strRouter = "127.0.0.1:" + std::to_string(simulator.Port());
    ASSERT_EQ(keyring
                  ->SecretTool({"store", "--label", "test", "application", "zezar", "router",
                                strRouter, "role", "admin"},
                               i_strPassword)
                  .code,
              0);
  }
  // Starts the tray on the test's bus; true once its item is there.
  bool Start(const SecretService* i_pKeyring, int i_iUpdateInterval) {
    zezar.emplace(
        ZEZAR_PROGRAM,
        std::vector<std::string>{"--host", "tray", "--preferences", Preferences(i_iUpdateInterval)},
        Environment(i_pKeyring));
    name = "org.kde.StatusNotifierItem-" + std::to_string(zezar->Pid()) + "-1";
    return panel.WaitFor([&] { return panel.HasOwner(name); });
  }
  // Whether the tray's menu (its status line among it) comes to hold the text.
  bool Shows(const std::string& i_strText) {
    return panel.WaitFor([&] {
      std::string strError;
      const runloop::SdBusMessagePtr layout =
          panel.Call(name, "/MenuBar", "com.canonical.dbusmenu", "GetLayout", strError, 5s, "iias",
                     0, -1, nullptr);
      if (!layout) return false;
      char* pText = nullptr;
      std::size_t uSize = 0;
      FILE* pDump = ::open_memstream(&pText, &uSize);
      sd_bus_message_dump(layout.get(), pDump, 0);
      std::fclose(pDump);
      const std::string strDump(pText, uSize);
      std::free(pText);
      return strDump.find(i_strText) != std::string::npos;
    });
  }

  TempDir dir;
  SessionBus bus;
  std::optional<SecretService> keyring{std::in_place, bus.Address()};
  routersim::ServerProcess simulator{routersim::Router::WithChannels(2, 1)};
  PanelPeer panel{bus.Address()};
  std::optional<ChildProcess> zezar;
  std::string name;
};

TEST_F(AMonitorWithAKeyring, LogsInWithThePasswordItHolds) {
  StoreAdminPassword("admin");
  ASSERT_TRUE(Start(&*keyring, 3600)) << zezar->Err();
  EXPECT_TRUE(Shows("Online since")) << zezar->Err();
  // One login; the keyring is not asked again while the connection holds.
  EXPECT_EQ(simulator.Count("channels").requests, 1u);
}

TEST_F(AMonitorWithAKeyring, SaysWhyItHasNoPasswordAndKeepsPolling) {
  struct Row {
    const char* name;
    std::function<void()> prepare;
    std::string reason;
  };
  const Row rows[] = {
      {"locked",
       [&] {
         StoreAdminPassword("admin");
         ASSERT_TRUE(keyring->Lock());
       },
       "Passwords locked in the keyring"},
      {"no Secret Service", [&] { keyring.reset(); }, "Keyring: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    row.prepare();
    ASSERT_TRUE(Start(keyring ? &*keyring : nullptr, 1)) << zezar->Err();
    EXPECT_TRUE(Shows(row.reason)) << zezar->Err();
    const uint64_t uConnections = simulator.Count().connections;
    EXPECT_TRUE(panel.WaitFor([&] { return simulator.Count().connections > uConnections + 2; }));
    EXPECT_TRUE(Shows(row.reason));
    EXPECT_EQ(simulator.Count("channels").requests, 0u);  // never logged in
    zezar.reset();
  }
}

TEST_F(AMonitorWithAKeyring, AsksALockedKeyringAgainOnlyAfterAWhile) {
  StoreAdminPassword("admin");
  ASSERT_TRUE(keyring->Lock());
  ASSERT_TRUE(Start(&*keyring, 1)) << zezar->Err();
  ASSERT_TRUE(Shows("Passwords locked in the keyring")) << zezar->Err();
  // Three more polls, each on a connection of its own, each failing to log in: no lookup.
  const uint64_t uBefore = ConnectionsSoFar(bus.Address());
  const uint64_t uPolls = simulator.Count().connections;
  ASSERT_TRUE(panel.WaitFor([&] { return simulator.Count().connections >= uPolls + 3; }));
  EXPECT_EQ(ConnectionsSoFar(bus.Address()), uBefore + 1) << "a lookup at every poll";
  EXPECT_TRUE(Shows("Passwords locked in the keyring"));
}

TEST_F(AMonitorWithAKeyring, DrawsItsSnapshotAfterTheKeyringAnswers) {
  StoreAdminPassword("admin");
  const auto snapshot = [&](const std::string& i_strPreferences, const SecretService* i_pKeyring) {
    const std::string strPicture = (dir.path() / "snapshot.png").string();
    std::filesystem::remove(strPicture);
    ChildProcess run(ZEZAR_PROGRAM, {"--preferences", i_strPreferences, "--snapshot", strPicture},
                     Environment(i_pKeyring));
    const ChildResult result = run.Finish();
    EXPECT_EQ(result.code, 0) << result.err;
    return Contents(strPicture);
  };
  const std::string strFromKeyring = snapshot(Preferences(3600), &*keyring);
  std::ofstream(Preferences(3600), std::ios::app) << "RouterAdminPass = \"admin\"\n";
  const std::string strFromFile = snapshot((dir.path() / "preferences.toml").string(), nullptr);
  ASSERT_FALSE(strFromFile.empty());
  EXPECT_EQ(strFromKeyring, strFromFile) << "the keyring's password was not waited for";
}

TEST_F(AMonitorWithAKeyring, KeepsItsBoundsWithTheKeyringAsked) {
  // The bound below is the quit signal's; a sanitizer's leak check at the end takes longer.
  ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  StoreAdminPassword("admin");
  ASSERT_TRUE(Start(&*keyring, 1)) << zezar->Err();
  // Logged in with the keyring's password: the polls ask for the channels' state.
  ASSERT_TRUE(panel.WaitFor([&] { return simulator.Count("status").requests > 0; }))
      << zezar->Err();
  // The lookup ran in the helper: the monitor has neither the Secret Service's library nor a
  // thread of its that could take the monitor's signals.
  std::ifstream maps("/proc/" + std::to_string(zezar->Pid()) + "/maps");
  const std::string strMaps{std::istreambuf_iterator<char>(maps), {}};
  EXPECT_EQ(strMaps.find("libsecret-1"), std::string::npos);
  EXPECT_EQ(strMaps.find("libgio-2.0"), std::string::npos);
  std::size_t uThreads = 0;
  for ([[maybe_unused]] const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(zezar->Pid()) + "/task"))
    ++uThreads;
  EXPECT_EQ(uThreads, 1u);

  // The router stops answering: each poll's wait is cut off by the one-second alarm, so the
  // polls go on, each on a new connection.
  simulator.Inject("stall 60");
  uint64_t uConnections = simulator.Count().connections;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(panel.WaitFor([&] { return simulator.Count().connections > uConnections; }, 4s))
        << "poll " << i;
    uConnections = simulator.Count().connections;
  }
  // In the middle of a stalled exchange, SIGTERM ends it at once.
  zezar->Signal(SIGTERM);
  EXPECT_TRUE(ExitsWithin(zezar->Pid(), 500ms));
  EXPECT_EQ(zezar->Finish().code, 0);
}

}  // namespace
}  // namespace zezar_test
