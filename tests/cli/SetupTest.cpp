// zezarctl setup: on a pseudo-terminal with scripted answers, interrupted at each question,
// and without questions; against the simulator and a real Secret Service on the test's bus.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "SimulatedRouter.h"
#include "support/FakeDaemon.h"
#include "support/SecretService.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

// zezarctl on the terminal side of a pseudo-terminal; the test types on the other.
class Terminal {
 public:
  Terminal(const std::vector<std::string>& i_arguments,
           const std::map<std::string, std::string>& i_environment) {
    std::vector<std::string> strings;
    for (const auto& [name, value] : i_environment) strings.push_back(name + "=" + value);
    strings.push_back("PATH=/usr/bin:/bin");
    std::vector<char*> envp, argv;
    for (std::string& entry : strings) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments = {ZEZARCTL};
    arguments.insert(arguments.end(), i_arguments.begin(), i_arguments.end());
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int master = -1;
    m_child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (m_child == 0) {
      // Ctrl-C ends a program on a terminal, whatever the test runner ignores.
      ::signal(SIGINT, SIG_DFL);
      ::execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    m_master.reset(master);
  }
  ~Terminal() {
    if (m_child <= 0) return;
    ::kill(m_child, SIGKILL);
    Reap(m_child, 5s);
  }

  // Reads what zezarctl shows until the text appears; false at the deadline or its end.
  bool Expect(const std::string& i_strText) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (m_strSeen.find(i_strText, m_uFrom) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd entry{m_master.get(), POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[1024];
      const ssize_t n = ::read(m_master.get(), buffer, sizeof buffer);
      if (n <= 0) return false;
      m_strSeen.append(buffer, static_cast<std::size_t>(n));
    }
    m_uFrom = m_strSeen.find(i_strText, m_uFrom) + i_strText.size();
    return true;
  }
  void Type(const std::string& i_strKeys) {
    [[maybe_unused]] const ssize_t n = ::write(m_master.get(), i_strKeys.data(), i_strKeys.size());
  }
  // The wait status, or nothing when it did not end in time.
  std::optional<int> End() {
    Expect("\x01never");  // drains the output until the end
    const std::optional<int> status = Reap(m_child, 10s);
    m_child = -1;
    return status;
  }
  const std::string& Seen() const { return m_strSeen; }

 private:
  pid_t m_child = -1;
  posix::UniqueFd m_master;
  std::string m_strSeen;
  std::size_t m_uFrom = 0;
};

class ZezarctlSetup : public ::testing::Test {
 protected:
  std::map<std::string, std::string> Environment() const {
    std::map<std::string, std::string> environment = keyring.Environment();
    environment["ZEZAR_PREFERENCES"] = preferences.string();
    environment["LANGUAGE"] = "en";
    return environment;
  }
  std::string Stored(const std::string& i_strRole) {
    const ChildResult lookup = keyring.SecretTool(
        {"lookup", "application", "zezar", "router", router.Address(), "role", i_strRole});
    return lookup.code == 0 ? lookup.out : "(none)";
  }
  std::string File() const {
    std::ifstream in(preferences, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  SessionBus bus;
  SecretService keyring{bus.Address()};
  SimulatedRouter router;
  TempDir dir;
  // The user's own file: a comment, a key setup does not know, a table, an old password.
  const std::string strOld =
      "# mine\nUpdateInterval = 5\nColour = \"blue\"\nRouterUserPass = \"old\"\n\n[extra]\nx = 1\n";
  std::filesystem::path preferences = dir.Write("preferences.toml", strOld);
};

TEST_F(ZezarctlSetup, AsksInTurnTriesEachAnswerAndKeepsTheUsersLines) {
  Terminal terminal({"setup"}, Environment());
  ASSERT_TRUE(terminal.Expect("Router (HOST[:PORT])")) << terminal.Seen();
  terminal.Type(router.Address() + "\n");
  ASSERT_TRUE(terminal.Expect("a router monitor at " + router.Address() + ": protocol 11"));
  ASSERT_TRUE(terminal.Expect("user password for"));
  terminal.Type("wrong\r");
  ASSERT_TRUE(terminal.Expect("refused the login"));
  ASSERT_TRUE(terminal.Expect("user password for"));
  terminal.Type("user\r");
  ASSERT_TRUE(terminal.Expect("level 2 (user); permits: dial, hangup"));
  ASSERT_TRUE(terminal.Expect("administrator password for"));
  terminal.Type("admin\r");
  ASSERT_TRUE(terminal.Expect("level 4 (admin); permits: dial, hangup, addlink"));
  ASSERT_TRUE(terminal.Expect("Offer Reboot and Halt in the menu? [y/N]"));
  terminal.Type("y\n");
  ASSERT_TRUE(terminal.Expect("the passwords are in the keyring")) << terminal.Seen();
  const std::optional<int> status = terminal.End();
  ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << terminal.Seen();
  EXPECT_EQ(terminal.Seen().find("admin\r"), std::string::npos) << "echoed";

  EXPECT_EQ(Stored("user"), "user");
  EXPECT_EQ(Stored("admin"), "admin");
  const std::string strFile = File();
  for (const char* pKept : {"# mine\n", "UpdateInterval = 5\n", "Colour = \"blue\"\n",
                            "[extra]\nx = 1\n", "RouterIPAddress = \"127.0.0.1\"\n",
                            "AutoDetectRouter = false\n", "RebootHaltEnabled = true\n"})
    EXPECT_NE(strFile.find(pKept), std::string::npos) << pKept << " in\n" << strFile;
  EXPECT_EQ(strFile.find("Pass"), std::string::npos) << strFile;  // the keyring's count now
  struct stat status_ {};
  ASSERT_EQ(::stat(preferences.c_str(), &status_), 0);
  EXPECT_EQ(status_.st_mode & 0777, 0600u);
}

TEST_F(ZezarctlSetup, InterruptedAtAnyQuestionLeavesEverythingAsItWas) {
  const std::vector<std::pair<std::string, std::string>> script = {
      {"Router (HOST[:PORT])", router.Address() + "\n"},
      {"user password for", "user\r"},
      {"administrator password for", "admin\r"},
      {"Offer Reboot and Halt", "y\n"},
  };
  for (std::size_t uStop = 0; uStop < script.size(); ++uStop) {
    SCOPED_TRACE(script[uStop].first);
    Terminal terminal({"setup"}, Environment());
    for (std::size_t i = 0; i < uStop; ++i) {
      ASSERT_TRUE(terminal.Expect(script[i].first)) << terminal.Seen();
      terminal.Type(script[i].second);
    }
    ASSERT_TRUE(terminal.Expect(script[uStop].first)) << terminal.Seen();
    terminal.Type("\x03");  // Ctrl-C
    const std::optional<int> status = terminal.End();
    ASSERT_TRUE(status) << terminal.Seen();
    EXPECT_FALSE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_EQ(File(), strOld);
    EXPECT_EQ(Stored("user"), "(none)");
  }
}

TEST_F(ZezarctlSetup, WithoutQuestionsTakesItsOptionsOrRefusesAndWritesNothing) {
  const std::string strUser = dir.Write("user", "user\n").string();
  const std::string strAdmin = dir.Write("admin", "admin\n").string();
  const std::string strWrong = dir.Write("refused", "wrong\n").string();
  FakeDaemon garbage({Expect("version\r\n"), Send("HTTP/1.0 400 Bad Request\r\n"), Close()});
  const std::string strGarbage = "127.0.0.1:" + std::to_string(garbage.Port());
  std::filesystem::create_directories(dir.path() / "others");
  const auto others = dir.Write("others/preferences.toml", "# theirs\n");
  ASSERT_EQ(::chown(others.c_str(), 65534, 65534), 0);
  std::filesystem::create_symlink(others, dir.path() / "link.toml");

  struct Row {
    const char* name;
    std::vector<std::string> arguments;
    int code;
    std::string message;  // on standard error
  };
  const Row refused[] = {
      {"a wrong password",
       {"--router", router.Address(), "--password-file", strWrong},
       4,
       "refused the login"},
      {"garbage for an answer",
       {"--router", strGarbage, "--password-file", strUser},
       6,
       "not as a router monitor"},
      {"no password", {"--router", router.Address()}, 2, "needs --router"},
      {"a link to another's file",
       {"--router", router.Address(), "--password-file", strUser},
       2,
       "not yours"},
  };
  for (const Row& row : refused) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> arguments = row.arguments;
    arguments.insert(arguments.end(), {"setup", "--yes"});
    auto environment = Environment();
    if (std::string(row.name) == "a link to another's file")
      environment["ZEZAR_PREFERENCES"] = (dir.path() / "link.toml").string();
    const CtlResult result = RunCtl(arguments, environment);
    EXPECT_EQ(result.code, row.code) << result.err;
    EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("wrong"), std::string::npos) << "a password in a message";
    EXPECT_EQ(File(), strOld);
    EXPECT_EQ(Stored("user"), "(none)");
  }

  const CtlResult intoFile =
      RunCtl({"--router", router.Address(), "--password-file", strUser, "setup",
              "--admin-password-file", strAdmin, "--no-keyring", "--yes"},
             Environment());
  ASSERT_EQ(intoFile.code, 0) << intoFile.err;
  EXPECT_NE(File().find("RouterUserPass = \"user\"\n"), std::string::npos) << File();
  EXPECT_NE(File().find("RouterAdminPass = \"admin\"\n"), std::string::npos) << File();
  EXPECT_EQ(Stored("user"), "(none)");

  // A file that is not TOML cannot be edited line by line: it is kept beside the new one.
  std::ofstream(preferences, std::ios::trunc) << "this is [not TOML\n";
  const CtlResult intoKeyring = RunCtl(
      {"--router", router.Address(), "--password-file", strUser, "setup", "--reboot-halt", "--yes"},
      Environment());
  ASSERT_EQ(intoKeyring.code, 0) << intoKeyring.err;
  EXPECT_EQ(Stored("user"), "user");
  EXPECT_NE(File().find("RebootHaltEnabled = true\n"), std::string::npos) << File();
  EXPECT_EQ(File().find("Pass"), std::string::npos) << File();
  std::ifstream backup(preferences.string() + ".bak");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(backup), {}), "this is [not TOML\n");
}

}  // namespace
}  // namespace zezar_test
