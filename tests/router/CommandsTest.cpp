// Each row of the command table does on the wire what its name says.

#include "router/Commands.h"

#include <gtest/gtest.h>

#include "support/FakeDaemon.h"
#include "support/RouterScripts.h"

namespace zezar_test {
namespace {

TEST(EachCommand, AsksItsPermissionAndSendsItsOwnLine) {
  struct Row {
    const char* name;
    std::vector<Exchange> exchanges;  // the permission asked, then the command sent
  } rows[] = {
      {"dial", {{"is-allowed dial", "OK 1"}, {"dial", "OK"}}},
      {"hangup", {{"is-allowed dial", "OK 1"}, {"hangup", "OK"}}},
      {"addlink", {{"is-allowed addlink", "OK 1"}, {"route", "OK 2"}, {"addlink 2", "OK"}}},
      {"removelink", {{"is-allowed addlink", "OK 1"}, {"route", "OK 2"}, {"removelink 2", "OK"}}},
      {"reboot", {{"is-allowed reboot", "OK 1"}, {"reboot", "OK"}}},
      {"halt", {{"is-allowed halt", "OK 1"}, {"halt", "OK"}}},
  };
  ASSERT_EQ(std::size(rows), router::kCommands.size());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const router::Command* pCommand = router::FindCommand(row.name);
    ASSERT_NE(pCommand, nullptr);
    EXPECT_EQ(router::CommandOfTag(router::TagOf(*pCommand)), pCommand);
    FakeDaemon daemon(Exchanges(row.exchanges));
    Zastra client;
    client.Connect("127.0.0.1", daemon.Port());
    EXPECT_TRUE((client.*pCommand->allowed)());
    (client.*pCommand->send)();
    client.Disconnect();
    EXPECT_EQ(daemon.Finish().error, "");
  }
  EXPECT_EQ(router::FindCommand("Hang up"), nullptr);  // a title is no name
  EXPECT_EQ(router::CommandOfTag(0), nullptr);
}

}  // namespace
}  // namespace zezar_test
