// The menu's contents by permission and preference, and the commands it sends.

#include <functional>

#include "ControllerTest.h"
#include "text/Translation.h"

namespace zezar_test {
namespace {

struct Grants {
  bool dial = false;
  bool addLink = false;
  bool halt = false;
  bool reboot = false;
};

const ChannelState kOn1{true, "10.0.0.1"};
const ChannelState kOn2{true, "10.0.0.2"};
const ChannelState kOff{false};

TEST_F(AController, OffersWhatTheLoginAndThePreferencesAllow) {
  using Titles = std::vector<std::string>;
  struct Row {
    const char* name;
    std::vector<ChannelState> channels;
    Grants grants;
    std::optional<preferences::PreferenceValue> rebootHaltEnabled;
    Titles menu;
  } rows[] = {
      {"one of two online",
       {kOn1, kOff},
       {.dial = true, .addLink = true},
       {},
       {"10.0.0.1", "Add Link", "Hang up"}},
      {"both online: no link to add or remove",
       {kOn1, kOn2},
       {.dial = true, .addLink = true},
       {},
       {"10.0.0.1", "10.0.0.2", "Hang up"}},
      {"two of three online",
       {kOn1, kOn2, kOff},
       {.dial = true, .addLink = true},
       {},
       {"10.0.0.1", "10.0.0.2", "Add Link", "Remove Link", "Hang up"}},
      {"links without dialling",
       {kOn1, kOn2, kOff},
       {.addLink = true},
       {},
       {"10.0.0.1", "10.0.0.2", "Add Link", "Remove Link"}},
      {"adding links not allowed", {kOn1, kOff, kOff}, {.dial = true}, {}, {"10.0.0.1", "Hang up"}},
      {"none online, no dialling",
       {kOff, kOff},
       {.halt = true, .reboot = true},
       true,
       {"Reboot", "Halt"}},
      {"none online, dialling", {kOff, kOff}, {.dial = true}, {}, {"Dial"}},
      {"reboot allowed, not enabled", {kOff}, {.halt = true, .reboot = true}, {}, {}},
      {"enabled by a number, not a boolean", {kOff}, {.halt = true, .reboot = true}, 1L, {}},
      {"enabled, only halt allowed", {kOn1}, {.halt = true}, true, {"10.0.0.1", "Halt"}},
      {"no channels",
       {},
       {.dial = true, .halt = true, .reboot = true},
       true,
       {"Dial", "Reboot", "Halt"}},
      {"a refused address still gets its item", {{true, ""}, kOff}, {}, {}, {""}},
      {"an address that would steer a terminal is only text",
       {{true, "\x1b]0;TITLE\x07\x1b[2J10.6.6.6"}},
       {},
       {},
       {"\xEF\xBF\xBD]0;TITLE\xEF\xBF\xBD\xEF\xBF\xBD[2J10.6.6.6"}},
      {"an 8-bit address becomes text",
       {{true,
         "r\x8A"
         "ume"}},
       {},
       {},
       {"r\xC3\xA4ume"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(
        AdminLogin() + ChannelList(static_cast<int>(row.channels.size())) +
        Permissions(row.grants.dial, row.grants.addLink, row.grants.halt, row.grants.reboot) +
        Tick(row.channels));
    UseDaemon(daemon);
    if (row.rebootHaltEnabled) preferences.Set("RebootHaltEnabled", *row.rebootHaltEnabled);
    ASSERT_NE(Load(), nullptr);
    EXPECT_EQ(MenuTitles(), row.menu);
    host->Unload();
    preferences.Remove("RebootHaltEnabled");
    Check(daemon);
  }
}

TEST_F(AController, TitlesItsCommandsInTheUsersLanguage) {
  setenv("LANG", "C.UTF-8", 1);
  setenv("LANGUAGE", "de", 1);
  text::InitTranslations();
  FakeDaemon daemon(FullLogin({kOn1, kOff}));
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"10.0.0.1", "Leitung hinzufügen", "Auflegen"}));
  text::UseEnglish();
  unsetenv("LANGUAGE");
  unsetenv("LANG");
  host->Unload();
  Check(daemon);
}

TEST_F(AController, DisablesTheAddressItemsAndTargetsTheCommands) {
  FakeDaemon daemon(FullLogin({kOn1, kOff}) + Tick({kOn1, kOff}));  // then the user opens it
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  const NSMenu* pMenu = controller->builtMenu();
  ASSERT_EQ(pMenu->numberOfItems(), 3);
  EXPECT_FALSE(pMenu->autoenablesItems());
  const NSMenuItem* pAddress = pMenu->itemAtIndex(0);
  EXPECT_FALSE(pAddress->isEnabled());
  EXPECT_EQ(pAddress->target(), nullptr);
  EXPECT_TRUE(pAddress->action().Is(&ZezarIZIDezev::IPselected));
  const NSMenuItem* pAddLink = pMenu->itemAtIndex(1);
  EXPECT_TRUE(pAddLink->isEnabled());
  EXPECT_EQ(pAddLink->target(), controller);
  EXPECT_TRUE(pAddLink->action().Is(&ZezarIZIDezev::addlink));
  EXPECT_TRUE(pMenu->itemAtIndex(2)->action().Is(&ZezarIZIDezev::hangup));
  for (int i = 0; i < pMenu->numberOfItems(); ++i)
    EXPECT_EQ(pMenu->itemAtIndex(i)->keyEquivalent(), "");
  host->OpenMenu();
  EXPECT_FALSE(Choose("10.0.0.1"));
  Check(daemon);
}

TEST_F(AController, SendsEachCommandThenRebuildsTheMenu) {
  struct Row {
    const char* title;
    std::vector<ChannelState> before;
    Script command;
    std::vector<ChannelState> after;
  } rows[] = {
      {"Hang up", {kOn1, kOff}, Exchanges({{"hangup", "OK"}}), {kOff, kOff}},
      {"Dial", {kOff, kOff}, Exchanges({{"dial", "OK"}}), {kOn1, kOff}},
      {"Add Link", {kOn1, kOff}, Exchanges({{"route", "OK 1"}, {"addlink 1", "OK"}}), {kOn1, kOn2}},
      {"Remove Link",
       {kOn1, kOn2, kOff},
       Exchanges({{"route", "OK 2"}, {"removelink 2", "ERR"}}),
       {kOn1, kOff, kOff}},
      {"Reboot", {kOn1, kOff}, Exchanges({{"reboot", "OK"}}), {kOff, kOff}},
      {"Halt", {kOn1, kOff}, Exchanges({{"halt", "OK"}}), {kOff, kOff}},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.title);
    // The first tick; the menu the user opens; the command; the rebuild and its redraw.
    FakeDaemon daemon(AdminLogin() + ChannelList(static_cast<int>(row.before.size())) +
                      Permissions(true, true, true, true) + Tick(row.before) + Tick(row.before) +
                      row.command + Tick(row.after));
    UseDaemon(daemon);
    preferences.Set("RebootHaltEnabled", true);
    ASSERT_NE(Load(), nullptr);
    const int draws = host->Draws();
    host->OpenMenu();
    EXPECT_TRUE(Choose(row.title));
    EXPECT_EQ(host->Draws(), draws + 2);
    host->Unload();
    Check(daemon);
  }
}

TEST_F(AController, DoesNothingWhenAnAddressIsSelected) {
  FakeDaemon daemon(FullLogin({kOn1}));
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  controller->IPselected(nullptr);
  Check(daemon);  // nothing beyond the first tick
}

TEST_F(AController, SendsNoCommandWhileDisconnected) {
  // The connection is lost; a command chosen now is dropped, and only the rebuild after it
  // reconnects: the new connection sees a login and a poll, never the command.
  const std::vector<ChannelState> channels = {kOn1, kOff};
  struct Row {
    const char* name;
    std::function<void(ZezarIZIDezev&)> action;
  } rows[] = {
      {"hangup", [](ZezarIZIDezev& c) { c.hangup(nullptr); }},
      {"dial", [](ZezarIZIDezev& c) { c.dial(nullptr); }},
      {"addlink", [](ZezarIZIDezev& c) { c.addlink(nullptr); }},
      {"removelink", [](ZezarIZIDezev& c) { c.removelink(nullptr); }},
      {"reboot", [](ZezarIZIDezev& c) { c.cmd_reboot(nullptr); }},
      {"halt", [](ZezarIZIDezev& c) { c.cmd_halt(nullptr); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon({FullLogin(channels) + Script{Expect("status 1\r\n"), Close()},
                       AdminRelogin() + Permissions(true, true, true, true) + MenuBuild(channels)});
    UseDaemon(daemon);
    ASSERT_NE(Load(), nullptr);
    NextTick();
    ASSERT_FALSE(globalZastra->IsConnected());
    row.action(*controller);
    EXPECT_TRUE(globalZastra->IsConnected());
    host->Unload();
    Check(daemon);
  }
}

}  // namespace
}  // namespace zezar_test
