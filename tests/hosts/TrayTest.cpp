// zezar --host tray as a panel meets it: on a private session bus, with the test as the
// status notifier watcher and host, against a scripted or simulated router.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "routersim/ServerProcess.h"
#include "support/ChildProcess.h"
#include "support/FakeDaemon.h"
#include "support/FakeLogind.h"
#include "support/PanelPeer.h"
#include "support/RouterScripts.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"
#include "timeline/Outages.h"
#include "timeline/TimelineFile.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItem = "org.kde.StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kMenu = "com.canonical.dbusmenu";
constexpr const char* kSeparator = "(separator)";  // as a row reads it
constexpr const char* kNoAddress =
    "No router address in the preferences (RouterIPAddress) — Preferences… to set the router";

struct MenuRow {
  int id;
  std::string label;
  bool enabled;
  bool operator==(const MenuRow&) const = default;
};

std::ostream& operator<<(std::ostream& io_out, const MenuRow& i_row) {
  return io_out << "{" << i_row.id << ", \"" << i_row.label << "\", " << i_row.enabled << "}";
}

// One item's id and the properties a panel shows, read from a layout node.
MenuRow ReadNode(sd_bus_message* io_pMessage, std::vector<MenuRow>* o_pChildren) {
  MenuRow row{0, "", true};
  sd_bus_message_enter_container(io_pMessage, 'r', "ia{sv}av");
  sd_bus_message_read(io_pMessage, "i", &row.id);
  sd_bus_message_enter_container(io_pMessage, 'a', "{sv}");
  while (sd_bus_message_enter_container(io_pMessage, 'e', "sv") > 0) {
    const char* pKey = nullptr;
    sd_bus_message_read(io_pMessage, "s", &pKey);
    const std::string key = pKey;
    if (key == "type") {
      const char* pType = nullptr;
      sd_bus_message_read(io_pMessage, "v", "s", &pType);
      if (std::string(pType) == "separator") row.label = kSeparator;
    } else if (key == "label") {
      const char* pLabel = nullptr;
      sd_bus_message_read(io_pMessage, "v", "s", &pLabel);
      row.label = pLabel;
    } else if (key == "enabled") {
      int bEnabled = 1;
      sd_bus_message_read(io_pMessage, "v", "b", &bEnabled);
      row.enabled = bEnabled != 0;
    } else {
      sd_bus_message_skip(io_pMessage, "v");
    }
    sd_bus_message_exit_container(io_pMessage);
  }
  sd_bus_message_exit_container(io_pMessage);
  sd_bus_message_enter_container(io_pMessage, 'a', "v");
  while (sd_bus_message_enter_container(io_pMessage, 'v', "(ia{sv}av)") > 0) {
    const MenuRow child = ReadNode(io_pMessage, nullptr);
    if (o_pChildren != nullptr) o_pChildren->push_back(child);
    sd_bus_message_exit_container(io_pMessage);
  }
  sd_bus_message_exit_container(io_pMessage);
  sd_bus_message_exit_container(io_pMessage);
  return row;
}

class ATrayItem : public ::testing::Test {
 protected:
  // Starts zezar on the test's bus with these preferences; the router polls once an hour
  // unless they say otherwise, so the test drives every poll itself.
  void Start(const std::string& i_strPreferences, int i_iUpdateInterval = 3600) {
    Launch(dir.Write("preferences.toml", "UpdateInterval = " + std::to_string(i_iUpdateInterval) +
                                             "\n" + i_strPreferences));
  }

  // i_bOwnNetwork: in a network namespace of its own, where no default router can be found,
  // for a start without preferences (which would look for the machine's).
  void Launch(const std::filesystem::path& i_preferences, bool i_bOwnNetwork = false) {
    std::vector<std::string> arguments = {"--host", "tray", "--preferences",
                                          i_preferences.string()};
    std::string strProgram = ZEZAR_PROGRAM;
    if (i_bOwnNetwork) {
      arguments.insert(arguments.begin(), {"--net", strProgram});  // unshare execs it: same pid
      strProgram = "/usr/bin/unshare";
    }
    zezar.emplace(strProgram, arguments, Environment());
    name = "org.kde.StatusNotifierItem-" + std::to_string(zezar->Pid()) + "-1";
    ASSERT_TRUE(panel.WaitFor([&] { return panel.HasOwner(name); })) << zezar->Err();
    // Answered once the first poll is over and shown: every test starts from there.
    ASSERT_TRUE(panel.RoundTrip(name)) << zezar->Err();
  }

  // The test's bus, and a state folder of the test's own for the timeline.
  std::map<std::string, std::string> Environment() const {
    std::map<std::string, std::string> environment = {
        {"DBUS_SESSION_BUS_ADDRESS", bus.Address()},
        {"XDG_STATE_HOME", (dir.path() / "state").string()},
        {"XDG_CURRENT_DESKTOP", desktop},
        // Never the machine's system bus: a test that wants logind starts its own.
        {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir.path() / "no-system-bus").string()}};
    for (const auto& [name, value] : moreEnvironment) environment[name] = value;
    return environment;
  }

  // Waits until the tray has polled the simulator this many times more, and what it sent
  // meanwhile has arrived. Each poll asks every channel's status twice, for the menu and for
  // the graph; the round trip waits for a poll in progress to end, so the polls counted are
  // whole wherever the count began.
  bool PolledAgain(routersim::ServerProcess& io_simulator, const routersim::Router& i_router,
                   int i_iPolls) {
    const uint64_t uPerPoll = 2 * i_router.channels.size();
    const uint64_t uUntil = io_simulator.Count("status").requests + uPerPoll * i_iPolls;
    const auto deadline = std::chrono::seconds(5 * i_iPolls);
    return panel.WaitFor([&] { return io_simulator.Count("status").requests >= uUntil; },
                         deadline) &&
           panel.RoundTrip(name);
  }

  static std::string Router(uint16_t i_port) {
    return "AutoDetectRouter = false\nRouterIPAddress = \"127.0.0.1\"\nRouterPort = " +
           std::to_string(i_port) + "\nRouterAdminPass = \"adm\"\nRebootHaltEnabled = true\n";
  }

  // Waits until the status line starts so; false past the deadline.
  bool StatusLineBecomes(const std::string& i_strStart) {
    return panel.WaitFor([&] { return StatusLine().rfind(i_strStart, 0) == 0; });
  }

  // The router's items: under the status line, above the program's own.
  std::vector<MenuRow> Menu() {
    std::vector<MenuRow> rows = Layout();
    EXPECT_FALSE(rows.empty());
    if (!rows.empty()) rows.erase(rows.begin());
    const auto separator = std::find_if(
        rows.begin(), rows.end(), [](const MenuRow& i_row) { return i_row.label == kSeparator; });
    rows.erase(separator, rows.end());
    return rows;
  }

  // The disabled line above them, never missing: the menu is never empty.
  std::string StatusLine() {
    const std::vector<MenuRow> rows = Layout();
    if (rows.empty() || rows.front().id != 999 || rows.front().enabled) return "(none)";
    return rows.front().label;
  }

  // The whole menu, and the revision it has.
  std::vector<MenuRow> Layout(uint32_t* o_pRevision = nullptr) {
    std::string strError;
    const runloop::SdBusMessagePtr reply =
        panel.Call(name, kMenuPath, kMenu, "GetLayout", strError, 5s, "iias", 0, -1, nullptr);
    EXPECT_EQ(strError, "");
    std::vector<MenuRow> children;
    if (!reply) return children;
    uint32_t revision = 0;
    sd_bus_message_read(reply.get(), "u", &revision);
    if (o_pRevision != nullptr) *o_pRevision = revision;
    ReadNode(reply.get(), &children);
    return children;
  }

  int IdOf(const std::string& i_strLabel) {
    for (const MenuRow& row : Layout())
      if (row.label == i_strLabel) return row.id;
    return -1;
  }

  // AboutToShow(0): whether the panel should fetch the layout again.
  bool AboutToShow(std::chrono::milliseconds i_timeout = 5s) {
    std::string strError;
    const runloop::SdBusMessagePtr reply =
        panel.Call(name, kMenuPath, kMenu, "AboutToShow", strError, i_timeout, "i", 0);
    EXPECT_EQ(strError, "");
    int bUpdate = 0;
    if (reply) sd_bus_message_read(reply.get(), "b", &bUpdate);
    return bUpdate != 0;
  }

  std::string Click(int i_iId) {
    std::string strError;
    panel.Call(name, kMenuPath, kMenu, "Event", strError, 5s, "isvu", i_iId, "clicked", "i", 0, 0u);
    return strError;
  }

  std::string StringProperty(const char* i_pPath, const char* i_pInterface, const char* i_pName) {
    runloop::BusError error;
    char* pValue = nullptr;
    if (sd_bus_get_property_string(panel.bus(), name.c_str(), i_pPath, i_pInterface, i_pName,
                                   error.get(), &pValue) < 0) {
      return std::string("error ") + error.message();
    }
    std::string strValue = pValue;
    free(pValue);
    return strValue;
  }

  // The tooltip's words on two lines: its title, then its text.
  std::string ToolTipWords() {
    const auto [strTitle, strText] = ToolTip();
    return strTitle + "\n" + strText;
  }

  // The tooltip's title and text.
  std::pair<std::string, std::string> ToolTip() {
    runloop::BusError error;
    sd_bus_message* pReply = nullptr;
    if (sd_bus_get_property(panel.bus(), name.c_str(), kItemPath, kItem, "ToolTip", error.get(),
                            &pReply, "(sa(iiay)ss)") < 0) {
      return {std::string("error ") + error.message(), ""};
    }
    const runloop::SdBusMessagePtr reply(pReply);
    const char* pTitle = "";
    const char* pText = "";
    sd_bus_message_enter_container(pReply, 'r', "sa(iiay)ss");
    sd_bus_message_skip(pReply, "sa(iiay)");
    sd_bus_message_read(pReply, "ss", &pTitle, &pText);
    return {pTitle, pText};
  }

  // The icon's images as (width, height, bytes).
  std::vector<std::tuple<int, int, std::size_t>> Pixmaps() {
    runloop::BusError error;
    sd_bus_message* pReply = nullptr;
    std::vector<std::tuple<int, int, std::size_t>> images;
    if (sd_bus_get_property(panel.bus(), name.c_str(), kItemPath, kItem, "IconPixmap", error.get(),
                            &pReply, "a(iiay)") < 0) {
      return images;
    }
    const runloop::SdBusMessagePtr reply(pReply);
    sd_bus_message_enter_container(pReply, 'a', "(iiay)");
    while (sd_bus_message_enter_container(pReply, 'r', "iiay") > 0) {
      int width = 0, height = 0;
      const void* pData = nullptr;
      size_t size = 0;
      sd_bus_message_read(pReply, "ii", &width, &height);
      sd_bus_message_read_array(pReply, 'y', &pData, &size);
      images.emplace_back(width, height, size);
      sd_bus_message_exit_container(pReply);
    }
    return images;
  }

  TempDir dir;
  SessionBus bus;
  PanelPeer panel{bus.Address()};
  std::map<std::string, std::string> moreEnvironment;
  std::optional<ChildProcess> zezar;
  std::string name;
  std::string desktop = "XFCE";
};

TEST_F(ATrayItem, RegistersWhenAPanelAppearsAndAgainWhenItRestarts) {
  Start("AutoDetectRouter = false\n");
  panel.StartWatcher();
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Registrations().size() == 1; }));
  // By its object path, which the watcher takes with our unique name.
  const std::string item = panel.Owner(name) + kItemPath;
  EXPECT_EQ(panel.Registrations().front(), item);
  panel.StopWatcher();  // the panel goes away and comes back
  panel.StartWatcher();
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Registrations().size() == 2; }));
  EXPECT_EQ(panel.Registrations().back(), item);
}

TEST_F(ATrayItem, RegistersAtOnceWithAPanelAlreadyThere) {
  panel.StartWatcher();
  Start("AutoDetectRouter = false\n");
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Registrations().size() == 1; }));
  EXPECT_EQ(panel.Registrations().front(), panel.Owner(name) + kItemPath);
}

TEST_F(ATrayItem, SaysOnceThatThereIsNoStatusAreaAndShowsAsSoonAsOneAppears) {
  desktop = "ubuntu:GNOME";
  panel.StartNotifications();
  Start("AutoDetectRouter = false\n");
  ASSERT_TRUE(panel.WaitFor([&] { return !panel.Notices().empty(); }, 20s)) << zezar->Err();
  EXPECT_EQ(panel.Notices()[0].summary, "No status area");
  EXPECT_NE(panel.Notices()[0].body.find("(Debian package gnome-shell-extension-appindicator)"),
            std::string::npos)
      << panel.Notices()[0].body;
  panel.StartWatcher();
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Registrations().size() == 1; }));
  EXPECT_EQ(panel.Notices().size(), 1u);
  const std::string err = zezar->Err();
  const std::size_t at = err.find("no status area on the session bus");
  EXPECT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.find("no status area", at + 1), std::string::npos) << err;  // once
  EXPECT_NE(err.find("gnome-shell-extension-appindicator"), std::string::npos) << err;
}

TEST_F(ATrayItem, OffersEveryPropertyPanelsRead) {
  Start("AutoDetectRouter = false\n");
  struct Row {
    const char* path;
    const char* interface;
    const char* property;
    std::string value;
  } rows[] = {
      {kItemPath, kItem, "Id", "zezar"},
      {kItemPath, kItem, "Category", "Hardware"},
      {kItemPath, kItem, "Status", "Active"},
      {kItemPath, kItem, "Title", "Zezar"},
      {kItemPath, kItem, "IconName", ""},
      {kItemPath, kItem, "IconThemePath", ""},
      {kItemPath, kItem, "OverlayIconName", ""},
      {kItemPath, kItem, "AttentionIconName", ""},
      {kItemPath, kItem, "AttentionMovieName", ""},
      {kMenuPath, kMenu, "TextDirection", "ltr"},
      {kMenuPath, kMenu, "Status", "normal"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.property);
    EXPECT_EQ(StringProperty(row.path, row.interface, row.property), row.value);
  }
  runloop::BusError error;
  sd_bus_message* pMenu = nullptr;
  ASSERT_GE(sd_bus_get_property(panel.bus(), name.c_str(), kItemPath, kItem, "Menu", error.get(),
                                &pMenu, "o"),
            0);
  const runloop::SdBusMessagePtr menu(pMenu);
  const char* pMenuPath = nullptr;
  sd_bus_message_read(pMenu, "o", &pMenuPath);
  EXPECT_STREQ(pMenuPath, kMenuPath);  // an object path, not a string
  int bItemIsMenu = 0;
  EXPECT_GE(sd_bus_get_property_trivial(panel.bus(), name.c_str(), kItemPath, kItem, "ItemIsMenu",
                                        error.get(), 'b', &bItemIsMenu),
            0);
  EXPECT_TRUE(bItemIsMenu);
  uint32_t version = 0;
  EXPECT_GE(sd_bus_get_property_trivial(panel.bus(), name.c_str(), kMenuPath, kMenu, "Version",
                                        error.get(), 'u', &version),
            0);
  EXPECT_EQ(version, 3u);
  // Drawn at each size panels ask for, four bytes a pixel.
  std::vector<std::tuple<int, int, std::size_t>> sizes;
  for (const int pixels : {16, 22, 24, 32, 48, 64})
    sizes.emplace_back(pixels, pixels, static_cast<std::size_t>(pixels * pixels * 4));
  EXPECT_EQ(Pixmaps(), sizes);
  // GetAll, as xfce and Waybar read them, answers too.
  std::string strError;
  EXPECT_TRUE(panel.Call(name, kItemPath, "org.freedesktop.DBus.Properties", "GetAll", strError, 5s,
                         "s", kItem));
  EXPECT_EQ(strError, "");
}

TEST_F(ATrayItem, ShowsTheMenuOfEachRouterState) {
  {
    SCOPED_TRACE("no router: never an empty menu");
    Start("AutoDetectRouter = false\n");
    EXPECT_EQ(Menu(), std::vector<MenuRow>{});
    EXPECT_EQ(StatusLine(), kNoAddress);
    zezar.reset();
  }
  {
    SCOPED_TRACE("online, with an address that holds an underscore");
    FakeDaemon daemon(FullLogin({{true, "gw_1.example"}, {false}}));
    Start(Router(daemon.Port()));
    EXPECT_EQ(Menu(), (std::vector<MenuRow>{{1, "gw__1.example", false},
                                            {1000, "Add Link", true},
                                            {1001, "Hang up", true},
                                            {1002, "Reboot", true},
                                            {1003, "Halt", true}}));
    EXPECT_EQ(StatusLine(), "Online on 1 channel");
    zezar.reset();
    EXPECT_EQ(daemon.Finish().error, "");
  }
  {
    SCOPED_TRACE("connected, nothing online and nothing allowed");
    FakeDaemon daemon(AdminLogin() + ChannelList(1) + Permissions(false, false, false, false) +
                      Tick({{false}}));
    Start(Router(daemon.Port()));
    EXPECT_EQ(Menu(), std::vector<MenuRow>{});
    EXPECT_EQ(StatusLine(), "Offline");
    zezar.reset();
    EXPECT_EQ(daemon.Finish().error, "");
  }
}

TEST_F(ATrayItem, SaysWhyThereIsNoConnectionOnceInTheLogAndWhereverItIsShown) {
  const RefusingPort refusing;
  const std::string strRefused =
      "Nothing answers at 127.0.0.1:" + std::to_string(refusing.Port()) + " (connection refused)";
  struct Row {
    const char* name;
    std::string preferences;
    std::string reason;
    std::string logged;
  } rows[] = {
      {"nothing listening", Router(refusing.Port()), strRefused, strRefused},
      {"a file broken from the start", "AutoDetectRouter = false\nRouterPort = \n",
       "Preferences: line 3: ", "preferences: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Start(row.preferences);
    EXPECT_EQ(StatusLine().rfind(row.reason, 0), 0u) << StatusLine();
    EXPECT_NE(ToolTipWords().find(row.reason), std::string::npos) << ToolTipWords();
    for (int i = 0; i < 2; ++i) {  // two more polls meet the same
      EXPECT_FALSE(AboutToShow());
      ASSERT_TRUE(panel.RoundTrip(name));
    }
    zezar->Signal(SIGTERM);
    const ChildResult result = zezar->Finish();
    std::size_t told = 0;
    for (std::size_t at = result.err.find(row.logged); at != std::string::npos;
         at = result.err.find(row.logged, at + 1))
      ++told;
    EXPECT_EQ(told, 1u) << result.err;
    zezar.reset();
  }
}

TEST_F(ATrayItem, EndsWithPreferencesAndQuitUnderTheRoutersItems) {
  FakeDaemon daemon(FullLogin({{true, "10.0.0.1"}, {false}}));
  Start(Router(daemon.Port()));
  const std::vector<MenuRow> layout = Layout();
  ASSERT_GE(layout.size(), 4u);
  EXPECT_EQ(std::vector<MenuRow>(layout.end() - 4, layout.end()),
            (std::vector<MenuRow>{{1003, "Halt", true},
                                  {900, kSeparator, true},
                                  {901, "Preferences…", true},
                                  {902, "Quit", true}}));
  EXPECT_EQ(Click(900), "");  // a separator takes no click
  zezar.reset();
  EXPECT_EQ(daemon.Finish().error, "");
}

TEST_F(ATrayItem, OpensThePreferencesWithTheDesktopsHandlerAndNeverWaits) {
  // xdg-open as a test writes it: it records what it was given, and then hangs.
  const std::filesystem::path bin = dir.path() / "bin";
  const std::filesystem::path pidFile = dir.path() / "xdg-open.pid";
  const std::filesystem::path asked = dir.path() / "xdg-open.args";
  dir.Write("bin/xdg-open", "#!/bin/sh\necho \"$@\" > " + asked.string() + ".part\nmv " +
                                asked.string() + ".part " + asked.string() + "\necho $$ >> " +
                                pidFile.string() + "\nexec sleep 600\n");
  std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
  struct KillHung {  // what the test started, it stops: each opening started one
    std::filesystem::path pidFile;
    ~KillHung() {
      std::ifstream in(pidFile);
      for (pid_t pid = 0; in >> pid;)
        if (pid > 0) ::kill(pid, SIGKILL);
    }
  } killHung{pidFile};

  struct Row {
    const char* name;
    bool portal;
    std::string path;  // PATH
    std::string problem;
  } rows[] = {
      {"no portal: xdg-open, which hangs", false, bin.string() + ":/usr/bin:/bin", ""},
      {"neither", false, "/nonexistent", "cannot open "},
      {"the portal, which stays", true, "/nonexistent", ""},
  };
  int iRow = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.portal) panel.StartPortal();
    moreEnvironment["PATH"] = row.path;
    // No file yet, nor its folder.
    const std::filesystem::path file =
        dir.path() / ("config" + std::to_string(++iRow)) / "zezar" / "preferences.toml";
    Launch(file, true);
    ASSERT_EQ(StatusLine(), "No default router found — Run zezarctl setup, or Preferences…");
    EXPECT_EQ(Click(IdOf("Preferences…")), "");
    if (row.portal) {
      ASSERT_TRUE(panel.WaitFor([&] { return !panel.OpenedFiles().empty(); })) << zezar->Err();
      EXPECT_EQ(panel.OpenedFiles().back(), file.string());
    } else if (row.problem.empty()) {
      ASSERT_TRUE(panel.WaitFor([&] { return std::filesystem::exists(asked); })) << zezar->Err();
      std::ifstream in(asked);
      std::string strArgs;
      std::getline(in, strArgs);
      EXPECT_EQ(strArgs, file.string());
      // It hangs: the item answers, and opens again, at once.
      EXPECT_EQ(Click(IdOf("Preferences…")), "");
      EXPECT_TRUE(panel.RoundTrip(name, 1s));
    } else {
      EXPECT_TRUE(panel.WaitFor([&] {
        return ToolTipWords().find(row.problem) != std::string::npos;
      })) << ToolTipWords();
      EXPECT_NE(zezar->Err().find(row.problem), std::string::npos) << zezar->Err();
    }
    // The example, the user's alone.
    std::ifstream example(file);
    std::string strFirst;
    std::getline(example, strFirst);
    EXPECT_EQ(strFirst.rfind("# Zezar's preferences", 0), 0u) << strFirst;
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    zezar.reset();
  }
}

TEST_F(ATrayItem, QuitsFromTheMenuAsOnSIGTERM) {
  FakeDaemon daemon(FullLogin({{true, "10.0.0.1"}}));
  Start(Router(daemon.Port()));
  EXPECT_EQ(Click(IdOf("Quit")), "");
  const ChildResult result = zezar->Finish();
  EXPECT_EQ(result.code, 0) << result.err;  // the user unit restarts only on a failure
  EXPECT_FALSE(panel.HasOwner(name));
  EXPECT_EQ(daemon.Finish().error, "");  // the connection was closed, nothing more was asked
}

TEST_F(ATrayItem, TakesAChangedPreferencesFileAtOnceAndGoesOnThroughBadOnes) {
  const RefusingPort refusing;
  routersim::Router router = routersim::Router::WithChannels(1, 1);
  router.adminPassword = "adm";
  routersim::ServerProcess simulator(router);
  const std::filesystem::path file = dir.path() / "preferences.toml";
  Start(Router(refusing.Port()));  // a tick an hour: nothing below waits for one
  ASSERT_EQ(StatusLine().rfind("Nothing answers at ", 0), 0u) << StatusLine();

  // An editor that saves by renaming a new file over the old one: the new port, at once.
  dir.Write("preferences.new", "UpdateInterval = 3600\n" + Router(simulator.Port()));
  std::filesystem::rename(dir.path() / "preferences.new", file);
  ASSERT_TRUE(StatusLineBecomes("Online")) << StatusLine() << zezar->Err();
  // The story goes on under the router now watched.
  const std::filesystem::path story = dir.path() / "state" / "zezar" / "timeline.jsonl";
  const std::vector<timeline::TimelineEvent> events = timeline::ReadTimeline(story).events;
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().router, "127.0.0.1:" + std::to_string(simulator.Port()));
  EXPECT_EQ(events.back().monitor, "start");
  // Written in place: a new interval re-arms the timer.
  dir.Write("preferences.toml", "UpdateInterval = 1\n" + Router(simulator.Port()));
  ASSERT_TRUE(PolledAgain(simulator, router, 2)) << zezar->Err();

  // Each change in one step, as a save by rename.
  const std::filesystem::path next = dir.path() / "preferences.next";
  const auto replace = [&](const std::function<void()>& i_make) {
    std::filesystem::remove_all(next);
    i_make();
    ASSERT_EQ(::renameat2(AT_FDCWD, next.c_str(), AT_FDCWD, file.c_str(), RENAME_EXCHANGE), 0);
    std::filesystem::remove_all(next);  // what was there before
  };
  const auto text = [&](const std::string& i_strText) {
    return [&, i_strText] { dir.Write("preferences.next", i_strText); };
  };
  struct Row {
    const char* name;
    std::function<void()> make;
  } rows[] = {
      {"not TOML", text("UpdateInterval = = 1\n")},
      {"a folder", [&] { std::filesystem::create_directory(next); }},
      {"a FIFO", [&] { ASSERT_EQ(::mkfifo(next.c_str(), 0600), 0); }},
      {"a huge file", text(std::string(4 << 20, '#'))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // A good file first, then the bad one: the problem shows, the last good settings stay
    // and the polls go on.
    replace(text("UpdateInterval = 1\n" + Router(simulator.Port())));
    ASSERT_TRUE(
        panel.WaitFor([&] { return ToolTipWords().find("Preferences:") == std::string::npos; }));
    replace(row.make);
    EXPECT_TRUE(panel.WaitFor([&] {
      return ToolTipWords().find("Preferences:") != std::string::npos;
    })) << ToolTipWords();
    EXPECT_TRUE(PolledAgain(simulator, router, 1)) << zezar->Err();
    EXPECT_EQ(StatusLine().rfind("Online", 0), 0u) << StatusLine();
  }
  // Removed: not the defaults, which would look for the machine's own router.
  replace(text("UpdateInterval = 1\n" + Router(simulator.Port())));
  std::filesystem::remove(file);
  EXPECT_TRUE(panel.WaitFor([&] {
    return ToolTipWords().find("removed") != std::string::npos;
  })) << ToolTipWords();
  EXPECT_TRUE(PolledAgain(simulator, router, 1)) << zezar->Err();
  EXPECT_EQ(StatusLine().rfind("Online", 0), 0u) << StatusLine();
  EXPECT_EQ(zezar->Err().find("192."), std::string::npos) << zezar->Err();  // loopback only
}

TEST_F(ATrayItem, ClosesBeforeSleepAndReconnectsOnWakeAndNeverCountsTheSleep) {
  SessionBus systemBus;
  FakeLogind logind(systemBus.Address());
  moreEnvironment["DBUS_SYSTEM_BUS_ADDRESS"] = systemBus.Address();
  routersim::Router router = routersim::Router::WithChannels(1, 1);
  router.adminPassword = "adm";
  routersim::ServerProcess simulator(router);
  const std::filesystem::path story = dir.path() / "state" / "zezar" / "timeline.jsonl";
  const auto marks = [&] {
    std::vector<std::string> lines;
    for (const timeline::TimelineEvent& event : timeline::ReadTimeline(story).events)
      if (!event.monitor.empty())
        lines.push_back(event.monitor + " " + router::KindName(event.state.kind));
    return lines;
  };
  panel.StartNotifications();
  Start(Router(simulator.Port()));  // a tick an hour: what happens on waking is the wake's
  ASSERT_TRUE(logind.WaitFor([&] { return logind.LocksHeld() == 1; })) << zezar->Err();

  // Asleep is written before the lock goes, and said twice, once.
  logind.PrepareForSleep(true);
  logind.PrepareForSleep(true);
  ASSERT_TRUE(logind.WaitFor([&] { return logind.LocksHeld() == 0; })) << zezar->Err();
  EXPECT_EQ(marks(), (std::vector<std::string>{"start online", "asleep online"}));
  const uint64_t uConnections = simulator.Count().connections;
  logind.PrepareForSleep(false);
  logind.PrepareForSleep(false);  // elogind says it twice too
  ASSERT_TRUE(panel.WaitFor([&] { return simulator.Count().connections == uConnections + 1; }))
      << zezar->Err();
  ASSERT_TRUE(logind.WaitFor([&] { return logind.LocksHeld() == 1; }));
  ASSERT_TRUE(panel.WaitFor([&] { return marks().size() == 3; }));
  EXPECT_EQ(marks().back(), "awake online");

  // The router restarts while the machine sleeps and is not back on waking: the polls that
  // find nothing then are no outage and no notice.
  dir.Write("preferences.toml", "UpdateInterval = 1\n" + Router(simulator.Port()));
  ASSERT_TRUE(PolledAgain(simulator, router, 1));
  logind.PrepareForSleep(true);
  ASSERT_TRUE(logind.WaitFor([&] { return logind.LocksHeld() == 0; }));
  simulator.Inject("reboot 3");
  logind.PrepareForSleep(false);
  ASSERT_TRUE(panel.WaitFor([&] { return marks().size() == 5; }, 15s)) << zezar->Err();
  EXPECT_EQ(marks(), (std::vector<std::string>{"start online", "asleep online", "awake online",
                                               "asleep online", "awake online"}));
  const timeline::TimelineReading reading = timeline::ReadTimeline(story);
  EXPECT_EQ(timeline::SummariseOutages(
                std::vector<timeline::TimelineEvent>(reading.events.begin(), reading.events.end()),
                timeline::Clock::now()),
            std::vector<timeline::DayOfOutages>{});
  ASSERT_TRUE(PolledAgain(simulator, router, 2));
  EXPECT_EQ(panel.Notices().size(), 0u);
}

TEST_F(ATrayItem, SaysOnceThatItCannotSeeTheMachinesSleepWithoutLogind) {
  Start("AutoDetectRouter = false\n");  // on a system bus that is not there
  zezar->Signal(SIGTERM);
  const ChildResult result = zezar->Finish();
  EXPECT_EQ(result.code, 0);
  const std::size_t at = result.err.find("sleep and wake go unnoticed");
  EXPECT_NE(at, std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("sleep and wake", at + 1), std::string::npos) << result.err;
}

TEST_F(ATrayItem, SendsExactlyTheClickedCommandAndAnnouncesEachChangeOnce) {
  const std::vector<ChannelState> online = {{true, "10.0.0.1"}, {false}};
  const std::vector<ChannelState> offline = {{false}, {false}};
  // The first poll; the click's command and rebuild; then the poll of the next opening, when
  // the router has dialled again by itself.
  FakeDaemon daemon(FullLogin(online) + Exchanges({{"hangup", "OK"}}) + Tick(offline) +
                    Tick(online));
  Start(Router(daemon.Port()));
  panel.StartWatcher();
  ASSERT_TRUE(panel.WaitFor([&] { return !panel.Registrations().empty(); }));
  const int hangup = IdOf("Hang up");
  panel.ResetSignals();

  EXPECT_EQ(Click(hangup), "");
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Signals("NewIcon") == 1; })) << zezar->Err();
  EXPECT_EQ(Menu(), (std::vector<MenuRow>{
                        {1004, "Dial", true}, {1002, "Reboot", true}, {1003, "Halt", true}}));
  EXPECT_EQ(StatusLine().rfind("Offline since ", 0), 0u) << StatusLine();
  EXPECT_FALSE(AboutToShow());  // the panel has what stands: answered without a poll
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Signals("NewIcon") == 2; }));
  EXPECT_EQ(IdOf("Hang up"), hangup);  // the same command, the same id
  // A panel that says nothing of opening (GTK's) gets the new layout a moment later, and
  // nothing more comes: no revision twice.
  uint32_t revision = 0;
  Layout(&revision);
  EXPECT_TRUE(panel.WaitFor(
      [&] { return !panel.Revisions().empty() && panel.Revisions().back() == revision; }));
  ASSERT_TRUE(panel.RoundTrip(name));
  EXPECT_EQ(panel.Signals("NewIcon"), 2);
  EXPECT_EQ(panel.Signals("NewToolTip"), 2);
  EXPECT_EQ(panel.Revisions().size(), 2u);

  zezar.reset();
  const Transcript transcript = daemon.Finish();
  EXPECT_EQ(transcript.error, "");
}

TEST_F(ATrayItem, SaysItsStateInASentenceForScreenReadersAndTheTooltip) {
  // 43 % and 13 % of two channels' capacity (147 456 B/s each, the default).
  const std::vector<ChannelState> busy = {{true, "10.0.0.1", "63406 19169"},
                                          {true, "10.0.0.2", "63406 19169"}};
  const std::vector<ChannelState> offline = {{false}, {false}};
  FakeDaemon daemon(FullLogin(busy) + Exchanges({{"hangup", "OK"}}) + Tick(offline));
  Start(Router(daemon.Port()));
  const std::string sentence = "Online on 2 channels, in 43 %, out 13 %";
  EXPECT_EQ(StringProperty(kItemPath, kItem, "IconAccessibleDesc"), sentence);
  EXPECT_EQ(StringProperty(kItemPath, kItem, "AttentionAccessibleDesc"), sentence);
  EXPECT_EQ(ToolTip().first, sentence);
  EXPECT_EQ(ToolTip().second, StatusLine() + "\nIn 126.8 kB/s, out 38.3 kB/s");
  EXPECT_EQ(StringProperty(kItemPath, kItem, "Title"), "Zezar");

  // The words change with the picture, announced with it, once.
  panel.ResetSignals();
  EXPECT_EQ(Click(IdOf("Hang up")), "");
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Signals("NewIcon") == 1; })) << zezar->Err();
  const std::string line = StatusLine();
  EXPECT_EQ(line.rfind("Offline since ", 0), 0u) << line;
  EXPECT_EQ(StringProperty(kItemPath, kItem, "IconAccessibleDesc"), line);
  EXPECT_EQ(StringProperty(kItemPath, kItem, "AttentionAccessibleDesc"), line);
  EXPECT_EQ(ToolTip(), std::make_pair(line, std::string()));
  ASSERT_TRUE(panel.RoundTrip(name));
  EXPECT_EQ(panel.Signals("NewIcon"), 1);
  zezar.reset();
  EXPECT_EQ(daemon.Finish().error, "");
}

TEST_F(ATrayItem, KeepsTheStatusLineWhenOnlyItChanges) {
  // Nothing allowed and nothing online: no command in the menu before the router goes away or
  // after, only the line above them changes.
  FakeDaemon daemon(AdminLogin() + ChannelList(1) + Permissions(false, false, false, false) +
                    Tick({{false}}) + Script{Close()});
  Start(Router(daemon.Port()));
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Signals("LayoutUpdated") == 1; }));  // the start
  EXPECT_EQ(StatusLine(), "Offline");
  panel.ResetSignals();
  EXPECT_FALSE(AboutToShow());  // the poll behind the opening finds the router gone
  EXPECT_TRUE(panel.WaitFor([&] { return panel.Signals("LayoutUpdated") == 1; }));
  EXPECT_EQ(StatusLine().rfind("No connection to the router since ", 0), 0u) << StatusLine();
  EXPECT_EQ(Menu(), std::vector<MenuRow>{});
  zezar.reset();
  daemon.Finish();
}

TEST_F(ATrayItem, HoldsLayoutUpdatesBackWhileAQtPanelHasTheMenuOpen) {
  const std::vector<ChannelState> online = {{true, "10.0.0.1"}, {false}};
  const std::vector<ChannelState> offline = {{false}, {false}};
  // The poll behind the opening meets a router slow to answer: the moment after the opening
  // is over before the menu changes, within the client's one-second bound.
  Script slowTick = Tick(offline);
  slowTick.insert(slowTick.begin() + 1, Stall(700ms));
  FakeDaemon daemon(FullLogin(online) + slowTick);
  Start(Router(daemon.Port()));
  std::string strError;
  const auto event = [&](const char* i_pEvent) {
    panel.Call(name, kMenuPath, kMenu, "Event", strError, 5s, "isvu", 0, i_pEvent, "s", "", 0u);
    EXPECT_EQ(strError, "");
  };
  // A Qt panel: AboutToShow, then "opened"; the poll behind the opening changes the menu.
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Signals("LayoutUpdated") == 1; }));  // the start
  panel.ResetSignals();
  EXPECT_FALSE(AboutToShow());
  event("opened");
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Signals("NewIcon") > 0; })) << zezar->Err();
  ASSERT_TRUE(panel.RoundTrip(name));
  EXPECT_EQ(panel.Signals("LayoutUpdated"), 0);  // an update now would close the open menu
  event("closed");
  EXPECT_TRUE(panel.WaitFor([&] { return panel.Signals("LayoutUpdated") == 1; }));
  EXPECT_EQ(Menu(), (std::vector<MenuRow>{
                        {1004, "Dial", true}, {1002, "Reboot", true}, {1003, "Halt", true}}));
  zezar.reset();
  EXPECT_EQ(daemon.Finish().error, "");
}

TEST_F(ATrayItem, TellsOfDropsAndReturnsButNotOfTheUsersOwnChanges) {
  const std::filesystem::path file = dir.path() / "state" / "zezar" / "timeline.jsonl";
  const auto story = [&] {
    std::vector<std::string> lines;
    for (const timeline::TimelineEvent& event : timeline::ReadTimeline(file).events)
      lines.push_back(std::string(router::KindName(event.state.kind)) + " " + event.cause);
    return lines;
  };
  routersim::Router router = routersim::Router::WithChannels(2, 1);
  router.adminPassword = "adm";
  routersim::ServerProcess simulator(router);
  panel.StartNotifications();
  panel.StartWatcher();
  Start(Router(simulator.Port()), 1);
  ASSERT_TRUE(panel.WaitFor([&] { return !panel.Registrations().empty(); }));

  // The router goes away for three seconds: told once it has held for two polls, and again
  // when it is back, the second notice replacing the first.
  simulator.Inject("reboot 3");
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Notices().size() == 2; }, 15s))
      << zezar->Err() << panel.Notices().size() << " " << StatusLine();
  EXPECT_EQ(panel.Notices()[0].summary, "Router unreachable");
  EXPECT_EQ(panel.Notices()[1].summary, "Back online");
  EXPECT_EQ(panel.Notices()[1].body, "Online on 1 channel");
  EXPECT_EQ(panel.Notices()[1].replaces, 1u);

  // The user hangs up: the timeline says who did it, and two polls on, more than a drop needs
  // to be told, there is no notice.
  EXPECT_EQ(Click(IdOf("Hang up")), "");
  const std::vector<std::string> expected = {"online ", "unreachable ", "online ",
                                             "offline hangup"};
  EXPECT_TRUE(panel.WaitFor([&] { return story().size() >= expected.size(); }));
  EXPECT_EQ(story(), expected);
  EXPECT_EQ(timeline::ReadTimeline(file).skipped, 0u);
  ASSERT_TRUE(PolledAgain(simulator, router, 2));
  EXPECT_EQ(panel.Notices().size(), 2u);
}

TEST_F(ATrayItem, GoesOnWhenTheTimelineCannotBeWritten) {
  routersim::Router router = routersim::Router::WithChannels(1, 1);
  router.adminPassword = "adm";
  routersim::ServerProcess simulator(router);
  dir.Write("state", "a file, not a folder");
  Start(Router(simulator.Port()), 1);
  simulator.Inject("reboot 2");  // two changes, two failed writes
  ASSERT_TRUE(StatusLineBecomes("No connection to the router since ")) << StatusLine();
  ASSERT_TRUE(StatusLineBecomes("Online since ")) << StatusLine();
  const std::string err = zezar->Err();  // each failure is told before the menu shows it
  std::size_t told = 0;
  for (std::size_t at = err.find("timeline:"); at != std::string::npos;
       at = err.find("timeline:", at + 1))
    ++told;
  EXPECT_EQ(told, 1u) << err;
}

TEST_F(ATrayItem, StaysQuietWhileNothingChanges) {
  routersim::Router router = routersim::Router::WithChannels(2, 1);
  for (routersim::Channel& channel : router.channels) channel.rateIn = channel.rateOut = 0;
  router.adminPassword = "adm";
  routersim::ServerProcess simulator(router);
  panel.StartWatcher();
  Start(Router(simulator.Port()), 1);
  ASSERT_TRUE(panel.WaitFor([&] { return !panel.Registrations().empty(); }));
  panel.ResetSignals();  // from the first drawing on
  ASSERT_TRUE(PolledAgain(simulator, router, 3));
  EXPECT_EQ(panel.Signals("NewIcon"), 0);
  EXPECT_EQ(panel.Signals("NewToolTip"), 0);
  EXPECT_EQ(panel.Signals("LayoutUpdated"), 0);
}

TEST_F(ATrayItem, AnswersThePanelWhileTheRouterStalls) {
  routersim::Router router = routersim::Router::WithChannels(2, 1);
  router.adminPassword = "adm";
  routersim::ServerProcess simulator(router);
  Start(Router(simulator.Port()));  // no tick: nothing waits for the router when it stalls
  // From now on the router takes connections and answers nothing: the poll behind each
  // opening blocks for the client's one-second alarm.
  simulator.Inject("stall 30");
  // Opening is answered from the menu as it stands, before its poll meets the stall.
  std::string strError;
  const runloop::SdBusMessagePtr opened =
      panel.Call(name, kMenuPath, kMenu, "AboutToShow", strError, 500ms, "i", 0);
  EXPECT_TRUE(opened) << strError;
  ASSERT_TRUE(StatusLineBecomes("No connection to the router")) << StatusLine();
  // The panel opens the menu again and asks for the layout while the poll behind the last
  // opening waits for the router: the answer comes within 1.5 s, before the new opening's poll
  // meets the stall too. The bus goes before deferred work and the timer.
  uint64_t uPolls = simulator.Count().connections;
  EXPECT_TRUE(panel.Post(name, kMenuPath, kMenu, "AboutToShow", "i", 0));
  for (int i = 0; i < 3; ++i) {
    // That poll has begun: it connects afresh, the last one having timed out.
    ASSERT_TRUE(panel.WaitFor([&] { return simulator.Count().connections > uPolls; }));
    uPolls = simulator.Count().connections;
    EXPECT_TRUE(panel.Post(name, kMenuPath, kMenu, "AboutToShow", "i", 0));
    EXPECT_TRUE(
        panel.Call(name, kMenuPath, kMenu, "GetLayout", strError, 1500ms, "iias", 0, -1, nullptr))
        << "call " << i << ": " << strError;
  }
}

TEST_F(ATrayItem, AnswersThePanelInTheMiddleOfASlowPoll) {
  routersim::Router router = routersim::Router::WithChannels(1, 1);
  router.adminPassword = "adm";
  routersim::ServerProcess simulator(router);
  Start(Router(simulator.Port()));  // no tick: the polls come from the openings below
  // Every line now takes 0.9 s: a poll of four exchanges takes some 3.6 s, each exchange less
  // than the client's one-second bound.
  simulator.Inject("latency 900");
  const uint64_t uAsked = simulator.Count("status").requests;
  const uint64_t uRated = simulator.Count("rate").requests;
  EXPECT_TRUE(panel.Post(name, kMenuPath, kMenu, "AboutToShow", "i", 0));
  ASSERT_TRUE(panel.WaitFor([&] { return simulator.Count("status").requests > uAsked; }));
  // In the middle of that poll (its rate, the last question, comes some 2.7 s after its first),
  // each call waits at most for the exchange in progress.
  std::string strError;
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(
        panel.Call(name, kMenuPath, kMenu, "GetLayout", strError, 1500ms, "iias", 0, -1, nullptr))
        << "call " << i << ": " << strError;
  }
  EXPECT_EQ(simulator.Count("rate").requests, uRated) << "the poll was over before the calls";
}

TEST_F(ATrayItem, AnswersBadCallsWithErrorsAndKeepsRunning) {
  Start("AutoDetectRouter = false\n");
  std::string strError;
  struct Row {
    const char* name;
    std::function<void()> call;
  } rows[] = {
      {"GetLayout of an unknown item",
       [&] {
         panel.Call(name, kMenuPath, kMenu, "GetLayout", strError, 5s, "iias", 4242, -1, nullptr);
       }},
      {"GetLayout with the wrong types",
       [&] { panel.Call(name, kMenuPath, kMenu, "GetLayout", strError, 5s, "s", "zero"); }},
      {"an event for an unknown item",
       [&] {
         panel.Call(name, kMenuPath, kMenu, "Event", strError, 5s, "isvu", 77, "clicked", "s", "",
                    0u);
       }},
      {"AboutToShow of an unknown item",
       [&] { panel.Call(name, kMenuPath, kMenu, "AboutToShow", strError, 5s, "i", -3); }},
      {"a property that does not exist",
       [&] { panel.Call(name, kMenuPath, kMenu, "GetProperty", strError, 5s, "is", 0, "colour"); }},
      {"an event group of unknown items only",
       [&] {
         panel.Call(name, kMenuPath, kMenu, "EventGroup", strError, 5s, "a(isvu)", 1, 55, "clicked",
                    "i", 0, 0u);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    strError.clear();
    row.call();
    EXPECT_NE(strError, "");
  }
  EXPECT_EQ(StatusLine(), kNoAddress);  // still there, still answering
  // A click on the status line does nothing.
  EXPECT_EQ(Click(999), "");
  EXPECT_EQ(StatusLine(), kNoAddress);
}

TEST_F(ATrayItem, RefusesActivationSoThatPanelsShowTheMenuAndIgnoresOtherClicks) {
  Start("AutoDetectRouter = false\n");
  constexpr const char* kNotSupported = "org.freedesktop.DBus.Error.NotSupported";
  std::string strError;
  struct Row {
    const char* name;
    std::function<void()> call;
    std::string error;  // "" for an answer, "*" for any error
  } rows[] = {
      {"Activate",
       [&] { panel.Call(name, kItemPath, kItem, "Activate", strError, 5s, "ii", 726, 15); },
       kNotSupported},
      {"SecondaryActivate at odd places",
       [&] {
         panel.Call(name, kItemPath, kItem, "SecondaryActivate", strError, 5s, "ii", INT32_MIN, -1);
       },
       kNotSupported},
      {"Activate without arguments",
       [&] { panel.Call(name, kItemPath, kItem, "Activate", strError, 5s, ""); }, "*"},
      {"Activate with a string",
       [&] { panel.Call(name, kItemPath, kItem, "Activate", strError, 5s, "s", "left"); }, "*"},
      {"ContextMenu",
       [&] { panel.Call(name, kItemPath, kItem, "ContextMenu", strError, 5s, "ii", -5, 99999); },
       ""},
      {"ContextMenu with three numbers",
       [&] { panel.Call(name, kItemPath, kItem, "ContextMenu", strError, 5s, "iii", 1, 2, 3); },
       "*"},
      {"Scroll as Plasma sends it",
       [&] { panel.Call(name, kItemPath, kItem, "Scroll", strError, 5s, "is", 120, "Vertical"); },
       ""},
      {"Scroll with an empty orientation",
       [&] { panel.Call(name, kItemPath, kItem, "Scroll", strError, 5s, "is", INT32_MIN, ""); },
       ""},
      {"Scroll with the arguments swapped",
       [&] { panel.Call(name, kItemPath, kItem, "Scroll", strError, 5s, "si", "vertical", 1); },
       "*"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    strError = "(no answer)";
    row.call();
    if (row.error == "*") {
      EXPECT_NE(strError, "");
      EXPECT_NE(strError, "(no answer)");
    } else {
      EXPECT_EQ(strError, row.error);
    }
  }
  // Still there, still answering.
  EXPECT_EQ(StatusLine(),
            "No router address in the preferences (RouterIPAddress) — Preferences… to set the router");
}

TEST_F(ATrayItem, EndsCleanlyOnSIGTERMAndLeavesTheBus) {
  const std::vector<ChannelState> online = {{true, "10.0.0.1"}};
  FakeDaemon daemon(FullLogin(online));
  Start(Router(daemon.Port()));
  zezar->Signal(SIGTERM);
  const ChildResult result = zezar->Finish();
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_FALSE(panel.HasOwner(name));
  EXPECT_EQ(daemon.Finish().error, "");  // the connection was closed, nothing more was asked
}

TEST_F(ATrayItem, EndsWhenTheSessionBusGoesAway) {
  panel.StartWatcher();
  Start("AutoDetectRouter = false\n");
  ASSERT_TRUE(panel.WaitFor([&] { return !panel.Registrations().empty(); }));  // up and shown
  bus.Stop();  // nobody can see the item any more: it stops polling
  const ChildResult result = zezar->Finish();
  EXPECT_EQ(result.code, 1);
  const std::size_t at = result.err.find("the session bus went away");
  EXPECT_NE(at, std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("went away", at + 26), std::string::npos) << result.err;  // once
  EXPECT_EQ(result.err.find("ignoring"), std::string::npos) << result.err;
}

TEST_F(ATrayItem, StepsAsideForATrayOfTheSamePreferences) {
  Start("AutoDetectRouter = false\n");
  const auto run = [&](const std::string& i_strPreferences) {
    return ChildProcess(ZEZAR_PROGRAM, {"--host", "tray", "--preferences", i_strPreferences},
                        Environment());
  };
  // Started twice, by the autostart entry and the user unit: the second one ends at once.
  const ChildResult second = run((dir.path() / "preferences.toml").string()).Finish();
  EXPECT_EQ(second.code, 0);
  EXPECT_NE(second.err.find("already in the status area"), std::string::npos) << second.err;
  EXPECT_TRUE(panel.HasOwner(name));
  // Another router's tray is welcome.
  ChildProcess other = run(dir.Write("other.toml", "AutoDetectRouter = false\n").string());
  const std::string otherName = "org.kde.StatusNotifierItem-" + std::to_string(other.Pid()) + "-1";
  EXPECT_TRUE(panel.WaitFor([&] { return panel.HasOwner(otherName); })) << other.Err();
}

TEST_F(ATrayItem, GoesToTheTrayOnItsOwnWhenAPanelIsThere) {
  const auto preferences = dir.Write("auto.toml", "AutoDetectRouter = false\n");
  const auto run = [&] {
    return ChildProcess(ZEZAR_PROGRAM, {"--preferences", preferences.string()}, Environment());
  };
  // No panel, and no terminal (the test's pipes): nowhere to show the router.
  const ChildResult nowhere = run().Finish();
  EXPECT_EQ(nowhere.code, 1);
  EXPECT_NE(nowhere.err.find("no status area"), std::string::npos) << nowhere.err;
  panel.StartWatcher();
  ChildProcess tray = run();
  EXPECT_TRUE(panel.WaitFor([&] { return panel.Registrations().size() == 1; })) << tray.Err();
}

TEST(TheTray, SaysWhyItCannotStartWithoutASessionBus) {
  TempDir dir;
  const auto preferences = dir.Write("preferences.toml", "AutoDetectRouter = false\n");
  const ChildResult result =
      ChildProcess(ZEZAR_PROGRAM, {"--host", "tray", "--preferences", preferences.string()},
                   {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir.path() / "no-bus").string()}})
          .Finish();
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_NE(result.err.find("session bus"), std::string::npos) << result.err;
}

TEST_F(ATrayItem, KeepsTheStoryWhenTheChannelsChangeButThePictureDoesNot) {
  // Channel 2 hangs up as channel 3 dials, without traffic: two online either way, the same
  // icon, another connection.
  const std::vector<ChannelState> before = {{true, "10.0.0.1"}, {true, "10.0.0.2"}, {false}};
  const std::vector<ChannelState> after = {{true, "10.0.0.1"}, {false}, {true, "10.0.0.3"}};
  FakeDaemon daemon(FullLogin(before) + Tick(after));
  Start(Router(daemon.Port()));
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Signals("LayoutUpdated") == 1; }));  // the start
  panel.ResetSignals();
  EXPECT_FALSE(AboutToShow());
  ASSERT_TRUE(panel.WaitFor([&] { return panel.Signals("LayoutUpdated") == 1; }));  // 10.0.0.3
  EXPECT_EQ(panel.Signals("NewIcon"), 0);
  const timeline::TimelineReading story =
      timeline::ReadTimeline(dir.path() / "state" / "zezar" / "timeline.jsonl");
  ASSERT_FALSE(story.events.empty());
  EXPECT_EQ(story.events.back().state.channels, (std::vector<std::string>{"1", "3"}));
  zezar.reset();
  EXPECT_EQ(daemon.Finish().error, "");
}

}  // namespace
}  // namespace zezar_test
