// Name lookup inside the one-second bound of a connection attempt. The resolver asks a name
// server that never answers; to keep every query on this machine, the test runs in a child
// process with user, mount and network namespaces of its own: its own loopback, its own
// /etc/hosts, /etc/nsswitch.conf and /etc/resolv.conf, and its own silent server on 127.0.0.1.

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ClientTest.h"
#include "HostLookup.h"
#include "posix/UniqueFd.h"

namespace zezar_test {
namespace {

using posix::UniqueFd;
using Clock = std::chrono::steady_clock;

constexpr int kNoNamespaces = 77;  // the child's exit code when it cannot isolate itself

bool WriteFile(const std::string& i_strPath, const std::string& i_strText) {
  std::ofstream file(i_strPath);
  file << i_strText;
  return static_cast<bool>(file.flush());
}

// Root of fresh user, mount and network namespaces, with the loopback up.
bool Isolate() {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) != 0) return false;
  WriteFile("/proc/self/setgroups", "deny");
  if (!WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
      !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n") ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return false;
  }
  UniqueFd control(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ifreq request{};
  std::strcpy(request.ifr_name, "lo");
  if (ioctl(control.get(), SIOCGIFFLAGS, &request) != 0) return false;
  request.ifr_flags |= IFF_UP;
  return ioctl(control.get(), SIOCSIFFLAGS, &request) == 0;
}

// Puts a file of this text over an existing one, for this mount namespace only.
bool Cover(const std::string& i_strTarget, const std::string& i_strText, const std::string& i_dir) {
  const std::string strSource = i_dir + "/" + std::to_string(std::hash<std::string>()(i_strTarget));
  return WriteFile(strSource, i_strText) &&
         mount(strSource.c_str(), i_strTarget.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

UniqueFd Bound(int i_type, uint16_t i_port, uint16_t* o_pPort = nullptr) {
  UniqueFd fd(socket(AF_INET, i_type | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(i_port);
  socklen_t length = sizeof address;
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (i_type == SOCK_STREAM && listen(fd.get(), 4) != 0) ||
      getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return UniqueFd();
  }
  if (o_pPort != nullptr) *o_pPort = ntohs(address.sin_port);
  return fd;
}

// What the child saw, one "key=value" line each.
std::string RunIsolated(const std::string& i_dir) {
  if (!Isolate()) _exit(kNoNamespaces);
  std::ostringstream report;
  const bool bCovered =
      Cover("/etc/hosts", "127.0.0.1 localhost\n127.0.0.1 router.zezar-test\n", i_dir) &&
      Cover("/etc/nsswitch.conf", "hosts: files dns\n", i_dir) &&
      Cover("/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:5 attempts:2\n", i_dir);
  report << "covered=" << bCovered << "\n";
  if (access("/var/run/nscd/socket", F_OK) == 0) {  // a cache would ask the real servers
    report << "nscd covered="
           << (mount("/dev/null", "/var/run/nscd/socket", nullptr, MS_BIND, nullptr) == 0) << "\n";
  }
  const UniqueFd silentServer = Bound(SOCK_DGRAM, 53);
  uint16_t port = 0;
  const UniqueFd router = Bound(SOCK_STREAM, 0, &port);
  report << "servers=" << (silentServer && router) << "\n";

  Zastra::InitSignalHandler();
  Zastra client;
  const int descriptors = OpenDescriptorCount();
  try {
    client.Connect("router.zezar-test", port);
    report << "named router connected=" << client.IsConnected() << "\n";
  } catch (const Zastra::ConnectError& error) {
    report << "named router connected=" << error.GetMessage() << "\n";
  }
  client.Disconnect();

  const Clock::time_point start = Clock::now();
  try {
    client.Connect("silent.zezar-test", 5000);
    report << "silent=connected\n";
  } catch (const Zastra::ConnectError& error) {
    report << "silent=" << error.GetMessage() << "\n";
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  report << "within two seconds=" << (elapsed < std::chrono::seconds(2)) << "\n";
  // The same lookup with no alarm at all: its own bound ends it, so an alarm that fires just
  // before the wait begins cannot leave it to the resolver's ten seconds.
  const Clock::time_point lookupStart = Clock::now();
  const bool bFound =
      zastra_net::LookUpIPv4("silent.zezar-test", std::chrono::seconds(1)).has_value();
  report << "unalarmed lookup found=" << bFound << "\n";
  report << "unalarmed lookup within two seconds="
         << (Clock::now() - lookupStart < std::chrono::seconds(2)) << "\n";
  char query[512];
  report << "queried=" << (recv(silentServer.get(), query, sizeof query, MSG_DONTWAIT) > 0) << "\n";
  report << "alarm pending=" << alarm(0) << "\n";
  report << "children left=" << (waitpid(-1, nullptr, WNOHANG) >= 0) << "\n";
  report << "descriptors kept=" << (OpenDescriptorCount() - descriptors) << "\n";
  return report.str();
}

std::map<std::string, std::string> Parse(const std::string& i_strReport) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(i_strReport);
  for (std::string strLine; std::getline(lines, strLine);) {
    const std::size_t uEquals = strLine.find('=');
    fields[strLine.substr(0, uEquals)] = strLine.substr(uEquals + 1);
  }
  return fields;
}

TEST(ANameLookup, EndsWithinTheConnectionAttemptsBound) {
  char dir[] = "/tmp/zezar-lookup-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  UniqueFd reportRead(ends[0]);
  UniqueFd reportWrite(ends[1]);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    reportRead.reset();
    const std::string strReport = RunIsolated(dir);
    [[maybe_unused]] const ssize_t written =
        write(reportWrite.get(), strReport.data(), strReport.size());
    _exit(0);
  }
  reportWrite.reset();

  // The child's whole run takes about a second; before the bound it took ten.
  std::string strReport;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  for (char buffer[512];;) {
    pollfd entry{reportRead.get(), POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) break;
    const ssize_t n = read(reportRead.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    strReport.append(buffer, static_cast<std::size_t>(n));
  }
  kill(child, SIGKILL);  // if it is still there, it has failed already
  int status = 0;
  waitpid(child, &status, 0);
  std::filesystem::remove_all(dir);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoNamespaces) {
    GTEST_SKIP() << "no user, mount and network namespaces here";
  }

  std::map<std::string, std::string> fields = Parse(strReport);
  EXPECT_EQ(fields["covered"], "1");
  if (fields.count("nscd covered") != 0) {
    EXPECT_EQ(fields["nscd covered"], "1");
  }
  EXPECT_EQ(fields["servers"], "1");
  EXPECT_EQ(fields["named router connected"], "1");
  EXPECT_EQ(fields["silent"], "Host silent.zezar-test not found.");
  EXPECT_EQ(fields["within two seconds"], "1");
  EXPECT_EQ(fields["unalarmed lookup found"], "0");
  EXPECT_EQ(fields["unalarmed lookup within two seconds"], "1");
  EXPECT_EQ(fields["queried"], "1") << "the lookup never reached the silent server";
  EXPECT_EQ(fields["alarm pending"], "0");
  EXPECT_EQ(fields["children left"], "0");
  EXPECT_EQ(fields["descriptors kept"], "0");
}

}  // namespace
}  // namespace zezar_test
