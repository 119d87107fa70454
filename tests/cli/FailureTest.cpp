// Bad input and bad routers: one clear line on standard error and the documented exit code,
// never a crash, a hang past the client's time-outs, or output that pretends success.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "SimulatedRouter.h"
#include "support/FakeDaemon.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

struct FailureRow {
  std::string name;
  std::vector<std::string> arguments;  // after --router
  std::map<std::string, std::string> environment;
  int code;
  std::string message;  // a piece of the one error line
};

void ExpectFailure(const CtlResult& i_result, const FailureRow& i_row) {
  EXPECT_EQ(i_result.code, i_row.code) << i_result.err;
  EXPECT_EQ(i_result.out, "");
  ASSERT_FALSE(i_result.err.empty());
  EXPECT_EQ(i_result.err.rfind("zezarctl: ", 0), 0u) << i_result.err;
  EXPECT_EQ(i_result.err.find('\n'), i_result.err.size() - 1) << "one line: " << i_result.err;
  EXPECT_NE(i_result.err.find(i_row.message), std::string::npos) << i_result.err;
}

TEST(Zezarctl, RefusesBadCommandLinesWithTheUsageCode) {
  SimulatedRouter router;
  TempDir dir;
  const std::string strFifo = (dir.path() / "fifo").string();  // nobody writes to it
  ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
  const auto longLine = dir.Write("long", "");
  std::filesystem::resize_file(longLine, 100 << 20);  // one line of 100 MB, sparse
  std::filesystem::permissions(longLine, std::filesystem::perms::owner_read);
  const std::map<std::string, std::string> admin = {{"ZEZAR_ADMIN_PASS", "admin"}};
  const std::vector<FailureRow> rows = {
      {"unknown command", {"frobnicate"}, admin, 2, "unknown command \"frobnicate\""},
      {"no command", {}, admin, 2, "subcommand is required"},
      {"unknown option", {"status", "--colour"}, admin, 2, "--colour"},
      {"negative route", {"route", "-5"}, admin, 2, ""},
      {"route with letters", {"route", "7x"}, admin, 2, "7x"},
      {"route too big", {"route", "2147483648"}, admin, 2, "2147483648"},
      {"circuit 0", {"hup-timeout", "0"}, admin, 2, "N"},
      {"time-out 0", {"hup-timeout", "1", "0"}, admin, 2, "SECONDS"},
      {"time-out too big", {"hup-timeout", "1", "99999999999"}, admin, 2, "SECONDS"},
      {"channel 0", {"channel", "0"}, admin, 2, "pppoe or a channel number"},
      {"channel 256", {"channel", "256"}, admin, 2, "pppoe or a channel number"},
      {"no such channel",
       {"channel", "7"},
       admin,
       2,
       "no channel 7: the router has channels 1 to 2 and pppoe"},
      {"no such circuit", {"hup-timeout", "9"}, admin, 2, "no circuit 9: the router has 1 to 2"},
      {"dial mode", {"dialmode", "sideways"}, admin, 2, "sideways"},
      {"watch interval", {"watch", "--interval", "0"}, admin, 2, "--interval"},
      {"watch format", {"watch", "--format", "xml"}, admin, 2, "xml"},
      {"missing password file",
       {"--password-file", "/nonexistent/pw", "status"},
       {},
       2,
       "/nonexistent/pw: cannot be read"},
      {"password file a folder", {"--password-file", "/", "status"}, {}, 2, "/: cannot be read"},
      {"password file a FIFO without a writer",
       {"--password-file", strFifo, "status"},
       {},
       2,
       "fifo: cannot be read: not a regular file"},
      {"password file endless",
       {"--root-password-file", "/dev/zero", "get", "x"},
       {},
       2,
       "/dev/zero: cannot be read: not a regular file"},
      {"password file of one long line",
       {"--password-file", longLine.string(), "status"},
       {},
       2,
       "long: the first line is longer than 4096 bytes"},
      {"no root password", {"support"}, admin, 2, "$ZEZAR_ROOT_PASS"},
      {"remote name with a blank", {"get", "a b"}, {}, 2, "no remote file name"},
      {"put without a root password", {"put", "-", "x"}, {}, 2, "$ZEZAR_ROOT_PASS"},
      {"password with a line end", {"status"}, {{"ZEZAR_ADMIN_PASS", "a\nb"}}, 2, "line end"},
  };
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(row.name);
    ExpectFailure(router.Run(row.arguments, row.environment), row);
  }
  ExpectFailure(RunCtl({"--router", "127.0.0.1:99999", "status"}, admin),
                FailureRow{"router port", {}, {}, 2, "--router: port \"99999\""});
}

TEST(Zezarctl, ReportsEachFailureOfTheRouterByItsClass) {
  routersim::Router config = SimulatedRouter::Standard();
  config.userMayRun = {"dial"};
  SimulatedRouter router(config);
  const std::map<std::string, std::string> user = {{"ZEZAR_USER_PASS", "user"},
                                                   {"ZEZAR_ROOT_PASS", "root"}};
  const std::vector<FailureRow> rows = {
      {"no password", {"status"}, {}, 4, "no password given"},
      {"wrong password", {"status"}, {{"ZEZAR_ADMIN_PASS", "wrong"}}, 4, "wrong password?"},
      {"user may not add links", {"addlink"}, user, 5, "may not run \"addlink\""},
      {"user may not reboot", {"--yes", "reboot"}, user, 5, "may not run \"reboot\""},
      {"user may not halt", {"--yes", "halt"}, user, 5, "may not run \"halt\""},
      {"user may not set the route", {"route", "3"}, user, 5, "may not run \"route\""},
      {"user may not set the dial mode", {"dialmode", "off"}, user, 5, "\"dialmode\""},
      {"user may not set time-outs", {"hup-timeout", "1", "30"}, user, 6, "refused hang-up"},
      {"PPPoE time-out", {"hup-timeout", "2", "30"}, user, 6, "is the PPPoE link"},
      {"wrong root password",
       {"support"},
       {{"ZEZAR_USER_PASS", "user"}, {"ZEZAR_ROOT_PASS", "x"}},
       6,
       "refused the support dump"},
      {"no such file", {"get", "nothing.txt", "-"}, user, 6, "refused nothing.txt"},
  };
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(row.name);
    ExpectFailure(router.Run(row.arguments, row.environment), row);
  }
  EXPECT_EQ(router.Run({"dial"}, user).code, 0);  // what a user may run
  EXPECT_EQ(router.Run({"route"}, user).code, 0);
}

TEST(Zezarctl, SaysWhenThereIsNoRouterToTalkTo) {
  const RefusingPort refusing;
  const SilentPort silent;
  const std::map<std::string, std::string> admin = {{"ZEZAR_ADMIN_PASS", "admin"}};
  const std::vector<FailureRow> rows = {
      {"refused",
       {"--router", "127.0.0.1:" + std::to_string(refusing.Port()), "status"},
       admin,
       3,
       "cannot connect to 127.0.0.1:"},
      {"silent",
       {"--router", "127.0.0.1:" + std::to_string(silent.Port()), "status"},
       admin,
       3,
       "cannot connect to 127.0.0.1:"},
      {"not a host", {"--router", "256.256.256.256", "status"}, admin, 3, "not found"},
  };
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(row.name);
    const auto start = std::chrono::steady_clock::now();
    ExpectFailure(RunCtl(row.arguments, row.environment), row);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
}

TEST(Zezarctl, SurvivesARouterThatStallsAnswersGarbageOrGoesDown) {
  SimulatedRouter router;
  struct Fault {
    std::string fault;
    int code;
    std::string message;
  };
  const std::vector<Fault> faults = {
      {"stall 3", 3, "stopped answering while logging in"},
      {"garbage 100", 4, "refused the login"},
      {"reboot 30", 3, "cannot connect"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.fault);
    router.server.Inject(fault.fault);
    const auto start = std::chrono::steady_clock::now();
    ExpectFailure(router.Run({"status"}), FailureRow{"", {}, {}, fault.code, fault.message});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    router.server.Inject("clear");
  }
}

TEST(Zezarctl, ReportsAnUptimeBeyond64BitsAndStillWritesWhatItCan) {
  struct Case {
    std::string name;
    std::vector<std::string> arguments;
    int code;
    std::string out;  // a piece of standard output
  };
  const std::vector<Case> cases = {
      {"status", {"status"}, 6, ""},
      {"metrics: the router is down", {"metrics"}, 6, "zezar_up{router=\"127.0.0.1:"},
      {"watch: a line that says why", {"watch", "--count", "1"}, 0, "beyond 64 bits"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDaemon daemon(Exchanges({{"version", "OK 10 test"},
                                 {"pass ", "OK 1"},
                                 {"pass adm", "OK 4"},
                                 {"pass ", "OK 4"},
                                 {"uptime", "OK 18446744073709551616"}}));
    std::vector<std::string> arguments = {"--router", "127.0.0.1:" + std::to_string(daemon.Port())};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const CtlResult result = RunCtl(arguments, {{"ZEZAR_ADMIN_PASS", "adm"}});
    EXPECT_EQ(result.code, c.code) << result.err;
    EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
    if (c.code != 0) {
      EXPECT_EQ(result.err, "zezarctl: the router answered a number beyond 64 bits\n");
    }
    EXPECT_EQ(daemon.Finish().error, "");
  }
}

TEST(Zezarctl, WarnsOnceWhenOthersCanReadAPasswordFile) {
  SimulatedRouter router;
  TempDir dir;
  const auto file = dir.Write("pw", "admin\n");
  const std::string strWarning =
      "zezarctl: " + file.string() + ": the group or others may read this password file";
  struct Row {
    const char* name;
    std::filesystem::perms permissions;
    bool warned;
  } rows[] = {
      {"the owner's alone", std::filesystem::perms::owner_read, false},
      {"the group's too", std::filesystem::perms::owner_read | std::filesystem::perms::group_read,
       true},
      {"everybody's", std::filesystem::perms::owner_read | std::filesystem::perms::others_read,
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::permissions(file, row.permissions);
    const CtlResult result = router.Run({"--password-file", file.string(), "cpu"}, {});
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.out, "processor load 3\n");
    EXPECT_EQ(result.err.rfind(strWarning, 0) == 0, row.warned) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), row.warned ? 1 : 0);
  }
}

TEST(Zezarctl, FindsRouterAndPasswordsInThePreferencesEnvironmentOrFiles) {
  SimulatedRouter router;
  TempDir dir;
  const std::string strPreferences =
      dir.Write("preferences.toml",
                "AutoDetectRouter = false\nRouterIPAddress = \"127.0.0.1\"\n"
                "RouterPort = " +
                    std::to_string(router.server.Port()) + "\nRouterUserPass = \"user\"\n")
          .string();
  const std::string strAdminFile = dir.Write("admin", "admin\n").string();
  const std::string strBroken = dir.Write("broken.toml", "RouterPort = \n").string();
  struct Case {
    std::string name;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
    int code;
    std::string login;
  };
  const std::vector<Case> cases = {
      {"preferences alone",
       {"status", "--json"},
       {{"ZEZAR_PREFERENCES", strPreferences}},
       0,
       "user"},
      {"environment over preferences",
       {"status", "--json"},
       {{"ZEZAR_PREFERENCES", strPreferences}, {"ZEZAR_ADMIN_PASS", "admin"}},
       0,
       "admin"},
      {"password file",
       {"--password-file", strAdminFile, "status", "--json"},
       {{"ZEZAR_PREFERENCES", strPreferences}},
       0,
       "admin"},
      {"password file over a wrong environment",
       {"status", "--json", "--password-file", strAdminFile},
       {{"ZEZAR_PREFERENCES", strPreferences}, {"ZEZAR_ADMIN_PASS", "wrong"}},
       0,
       "admin"},
      {"broken preferences", {"status"}, {{"ZEZAR_PREFERENCES", strBroken}}, 2, ""},
      {"--router over the preferences",
       {"--router", "127.0.0.1:1", "status"},
       {{"ZEZAR_PREFERENCES", strPreferences}},
       3,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CtlResult result = RunCtl(c.arguments, c.environment);
    EXPECT_EQ(result.code, c.code) << result.err;
    if (!c.login.empty()) {
      EXPECT_EQ(Parsed(result.out)["login"], c.login) << result.out;
    }
  }
}

}  // namespace
}  // namespace zezar_test
