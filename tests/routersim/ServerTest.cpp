// The simulated daemon on loopback: the client against it, several clients at once, faults.

#include "routersim/Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <system_error>
#include <vector>

#include "client/Zastra.h"
#include "posix/UniqueFd.h"
#include "routersim/ServerProcess.h"
#include "support/ChildProcess.h"
#include "support/FakeDaemon.h"
#include "support/WaitUntil.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(TheClientAndTheSimulator, SpeakTheSameProtocol) {
  Zastra::InitSignalHandler();
  routersim::Router router = routersim::Router::WithChannels(3, 2);
  router.pppoe = true;
  for (const uint32_t protocol : {10u, 11u}) {
    SCOPED_TRACE(protocol);
    router.protocol = protocol;
    routersim::ServerProcess server(router);
    Zastra client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(client.Version().protocol, protocol);
    EXPECT_FALSE(client.IsUser());
    EXPECT_EQ(client.Pass("user"), 2u);
    EXPECT_TRUE(client.IsUser());
    EXPECT_FALSE(client.IsAdmin());
    EXPECT_EQ(client.Pass("admin"), 4u);
    EXPECT_TRUE(client.IsAdmin());
    const auto& channels = client.GetChannels();
    ASSERT_EQ(channels.size(), 4u);  // the PPPoE link first
    EXPECT_EQ(channels[0]->Type(), Zastra::Channel::PPPoE);
    EXPECT_EQ(channels[0]->Status(), Zastra::Channel::Offline);
    EXPECT_EQ(channels[1]->Status(), Zastra::Channel::Online);
    EXPECT_EQ(channels[1]->IP(), "10.0.0.1");
    EXPECT_EQ(channels[2]->Rate().in, 60000u);
    EXPECT_EQ(client.Timetable(), " Mo-Fr 08:00-18:00 route 1\n Sa-Su 00:00-24:00 route 2\n");
    client.Dial();
    EXPECT_EQ(client.Links(0), 3);
    EXPECT_EQ(client.Dialmode(Zastra::Off), Zastra::Off);
    ASSERT_EQ(client.GetCircuits().size(), 2u);
    EXPECT_EQ(client.GetCircuits()[0]->HupTimeOut(120), 120);
    EXPECT_TRUE(client.UploadFile("root", "f", std::string(3000, 'x')));
    EXPECT_EQ(client.GetFile("root", "f"), std::string(3000, 'x'));
    client.Disconnect();
  }
}

TEST(ASimulatorServer, LeaksNoDescriptorWhenItCannotListen) {
  const int before = OpenDescriptorCount();
  EXPECT_THROW(routersim::Server(routersim::Router{}, "not-an-address", 0), std::system_error);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

// A connection the test closes must end at once for its peer: the simulator's process holds no
// copy of it (nor of another simulator's control channel, which would keep that one running).
TEST(ASimulatorProcess, KeepsNoneOfItsParentsDescriptors) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  posix::UniqueFd mine(ends[0]);
  const posix::UniqueFd peer(ends[1]);
  routersim::ServerProcess server(routersim::Router::WithChannels(1, 1));
  mine.reset();
  pollfd entry{peer.get(), POLLIN, 0};
  ASSERT_EQ(::poll(&entry, 1, 5000), 1) << "the simulator still holds the other end";
  char byte = 0;
  EXPECT_EQ(::recv(peer.get(), &byte, 1, MSG_DONTWAIT), 0);
}

// A raw connection for tests that must not wait on one client while serving another.
posix::UniqueFd Dial(uint16_t i_port) {
  posix::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(i_port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  return fd;
}

// Reads until a line feed arrives or the deadline passes.
std::string LineBefore(int i_fd, Clock::time_point i_deadline) {
  std::string strLine;
  while (strLine.find('\n') == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(i_deadline - Clock::now());
    pollfd entry{i_fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[256];
    const ssize_t n = ::recv(i_fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    strLine.append(buffer, static_cast<std::size_t>(n));
  }
  return strLine;
}

void Send(int i_fd, const std::string& i_strBytes) {
  ASSERT_EQ(::send(i_fd, i_strBytes.data(), i_strBytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(i_strBytes.size()));
}

TEST(ASimulatorServer, AnswersOthersWhileOneClientIdlesOrNeverReads) {
  routersim::Router router = routersim::Router::WithChannels(1, 1);
  router.files["big"] = std::string(200000, 'b');
  routersim::ServerProcess server(router);
  const posix::UniqueFd idle = Dial(server.Port());  // connected, says nothing
  const posix::UniqueFd half = Dial(server.Port());  // half a line, then silence
  Send(half.get(), "vers");
  const posix::UniqueFd hog = Dial(server.Port());  // asks for a lot, never reads
  Send(hog.get(), "pass admin\r\nversion\r\n");
  for (int i = 0; i < 3; ++i) {
    const posix::UniqueFd other = Dial(server.Port());
    ASSERT_TRUE(other);
    Send(other.get(), "version\r\n");
    EXPECT_EQ(LineBefore(other.get(), Clock::now() + 3s), "OK 11 zezar-routersim 1.0\n");
  }
}

TEST(ASimulatorServer, Answers200ClientsAtOnce) {
  constexpr int kClients = 200;
  routersim::ServerProcess server(routersim::Router::WithChannels(1, 1));
  std::vector<posix::UniqueFd> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(Dial(server.Port()));
    ASSERT_TRUE(clients.back()) << i;
  }
  for (const posix::UniqueFd& client : clients) Send(client.get(), "version\r\n");
  const auto deadline = Clock::now() + 20s;
  int answered = 0;
  for (const posix::UniqueFd& client : clients) {
    answered += LineBefore(client.get(), deadline) == "OK 11 zezar-routersim 1.0\n" ? 1 : 0;
  }
  EXPECT_EQ(answered, kClients);
}

const std::string kVersion = "OK 11 zezar-routersim 1.0\n";

// Reads until the peer closes or the deadline passes; true when it closed. o_pBytes: how many
// bytes came before.
bool ClosedBefore(int i_fd, Clock::time_point i_deadline, std::size_t* o_pBytes = nullptr) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(i_deadline - Clock::now());
    pollfd entry{i_fd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) return false;
    char buffer[65536];
    const ssize_t n = ::recv(i_fd, buffer, sizeof buffer, 0);
    if (n <= 0) return true;  // the end, or a reset
    if (o_pBytes != nullptr) *o_pBytes += static_cast<std::size_t>(n);
  }
}

TEST(ASimulatorServer, ClosesAConnectionIdleForItsTimeOut) {
  routersim::Router router = routersim::Router::WithChannels(1, 1);
  router.limits.idleTimeout = 300ms;
  routersim::ServerProcess server(router);
  const posix::UniqueFd idle = Dial(server.Port());
  EXPECT_TRUE(ClosedBefore(idle.get(), Clock::now() + 5s));
}

TEST(ASimulatorServer, ClosesTheConnectionIdleLongestToTakeANewOne) {
  struct Row {
    const char* name;
    bool bFirstBeginsALine;  // and is then the one idle longest, but not between requests
    std::size_t closed;
  };
  const Row rows[] = {{"all wait for a request", false, 0}, {"the first began a line", true, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    routersim::Router router = routersim::Router::WithChannels(1, 1);
    router.limits.connections = 3;
    routersim::ServerProcess server(router);
    std::vector<posix::UniqueFd> clients;
    for (std::size_t i = 0; i < 3; ++i) {
      clients.push_back(Dial(server.Port()));
      if (i == 0 && row.bFirstBeginsALine) {
        Send(clients[i].get(), "vers");
      } else {
        Send(clients[i].get(), "version\r\n");
        ASSERT_EQ(LineBefore(clients[i].get(), Clock::now() + 5s), kVersion);
      }
    }
    const posix::UniqueFd newcomer = Dial(server.Port());
    Send(newcomer.get(), "version\r\n");
    EXPECT_EQ(LineBefore(newcomer.get(), Clock::now() + 5s), kVersion);
    for (std::size_t i = 0; i < clients.size(); ++i) {
      SCOPED_TRACE(i);
      const auto deadline = Clock::now() + (i == row.closed ? 5s : 0s);
      EXPECT_EQ(ClosedBefore(clients[i].get(), deadline), i == row.closed);
    }
  }
}

// What a client asks for and never reads stays within the limit: past it, it is closed.
TEST(ASimulatorServer, ClosesAClientThatLeavesMoreThanItsShareUnread) {
  struct Row {
    const char* name;
    std::string bytes;
  };
  std::string strRequests;
  for (int i = 0; i < 1800; ++i) strRequests += "version\r\n";  // 16 200 bytes, one read
  const Row rows[] = {
      {"answers to requests", strRequests},
      {"blocks of a download, acknowledged",
       "pass admin\r\nsend big root\r\n" + std::string(100, '\x06')},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    routersim::Router router = routersim::Router::WithChannels(1, 1);
    router.protocol = 10;  // the plain login, in one line
    router.files["big"] = std::string(200'000, 'b');
    router.limits.outputBytes = 4096;
    routersim::ServerProcess server(router);
    const posix::UniqueFd hog = Dial(server.Port());
    Send(hog.get(), row.bytes);
    std::size_t uBytes = 0;
    EXPECT_TRUE(ClosedBefore(hog.get(), Clock::now() + 5s, &uBytes));
    EXPECT_LE(uBytes, 4096u + 1024u);
    const posix::UniqueFd other = Dial(server.Port());
    Send(other.get(), "version\r\n");
    EXPECT_EQ(LineBefore(other.get(), Clock::now() + 5s), "OK 10 zezar-routersim 1.0\n");
  }
}

// Every byte of a logged line is printable: no C0 control, no DEL, no C1 (U+0080 to U+009F).
bool IsPrintable(const std::string& i_strLine) {
  for (std::size_t i = 0; i < i_strLine.size(); ++i) {
    const auto c = static_cast<unsigned char>(i_strLine[i]);
    if (c < 0x20 || c == 0x7F) return false;
    if (c == 0xC2 && i + 1 < i_strLine.size() &&
        static_cast<unsigned char>(i_strLine[i + 1]) <= 0x9F)
      return false;
  }
  return true;
}

TEST(ASimulatorServer, LogsControlLinesPrintableAndCut) {
  struct Row {
    const char* name;
    std::string line;
  };
  const Row rows[] = {
      {"an escape sequence for no fault", "\x1b]0;title\x07\x1b[2Jclear"},
      {"an escape sequence as a keyword", "served \x1b[2J\xc2\x9b"},
      {"a line of 10 000 bytes", std::string(10'000, 'x')},
      {"a line longer than any fault's", "stall " + std::string(20'000, '9')},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    routersim::Server server(routersim::Router::WithChannels(1, 1), "127.0.0.1", 0);
    std::vector<std::string> logged;
    server.SetLog([&](const std::string& i_strLine) { logged.push_back(i_strLine); });
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const posix::UniqueFd mine(ends[0]), its(ends[1]);
    Send(mine.get(), row.line + "\nclear\n");  // the fault after it is taken as ever
    ::shutdown(mine.get(), SHUT_WR);
    server.Serve({its.get(), its.get(), true});
    ASSERT_EQ(logged.size(), 2u);
    for (const std::string& strLine : logged) {
      EXPECT_TRUE(IsPrintable(strLine)) << strLine;
      EXPECT_LE(strLine.size(), 250u);
    }
    EXPECT_EQ(logged.back(), "fault: clear");
    const std::string strReplies = LineBefore(mine.get(), Clock::now() + 1s);
    EXPECT_TRUE(IsPrintable(strReplies.substr(0, strReplies.find('\n')))) << strReplies;
  }
}

// The simulator with one client of ours connected to it.
class ASimulatorAndItsClient : public ::testing::Test {
 protected:
  ASimulatorAndItsClient() {
    Zastra::InitSignalHandler();
    client.Connect("127.0.0.1", server.Port());
  }

  routersim::ServerProcess server{routersim::Router::WithChannels(1, 1)};
  Zastra client;
};

TEST_F(ASimulatorAndItsClient, CountsTheRequestsItAnswersAndTheConnectionsItTakes) {
  client.Version();
  client.Pass("admin");  // "salt", then "md5pass"
  EXPECT_EQ(server.Count("md5pass").requests, 1u);
  EXPECT_EQ(server.Count().requests, 3u);
  EXPECT_EQ(server.Count("halt").requests, 0u);
  Zastra other;
  other.Connect("127.0.0.1", server.Port());
  other.Version();
  EXPECT_EQ(server.Count("version").requests, 2u);
  EXPECT_EQ(server.Count().connections, 2u);
}

TEST_F(ASimulatorAndItsClient, StallsClosesAndRefusesWhenTold) {
  EXPECT_EQ(client.Version().protocol, 11u);

  server.Inject("stall 2");
  EXPECT_EQ(client.Pass(""), 0u);  // the one-second alarm gives up
  EXPECT_FALSE(client.IsConnected());
  server.Inject("clear");
  client.Connect("127.0.0.1", server.Port());
  EXPECT_EQ(client.Pass(""), 1u);

  server.Inject("close");
  EXPECT_EQ(client.Pass(""), 0u);
  EXPECT_FALSE(client.IsConnected());

  server.Inject("reboot 30");
  EXPECT_THROW(client.Connect("127.0.0.1", server.Port()), Zastra::ConnectError);
  server.Inject("clear");  // back before the answer comes
  EXPECT_NO_THROW(client.Connect("127.0.0.1", server.Port()));
  EXPECT_EQ(client.Pass(""), 1u);
  EXPECT_THROW(server.Inject("explode"), std::runtime_error);
}

TEST_F(ASimulatorAndItsClient, HoldsAnswersBackWhileLatencyLasts) {
  server.Inject("latency 200");
  EXPECT_EQ(client.Version().protocol, 11u);  // late, within the client's second
  server.Inject("latency 1500");
  EXPECT_EQ(client.Pass(""), 0u);
  EXPECT_FALSE(client.IsConnected());
}

TEST_F(ASimulatorAndItsClient, StopsWhenAClientHaltsIt) {
  client.Pass("admin");
  client.Halt();
  EXPECT_TRUE(ExitsWithin(server.Pid(), 5s));
  EXPECT_FALSE(server.Running());
}

TEST(ASimulatorServer, RebootsWhenAClientSaysSo) {
  Zastra::InitSignalHandler();
  routersim::Router router = routersim::Router::WithChannels(1, 1);
  router.rebootSeconds = 1;
  routersim::ServerProcess server(router);
  Zastra client, other;
  client.Connect("127.0.0.1", server.Port());
  other.Connect("127.0.0.1", server.Port());
  EXPECT_EQ(other.Pass("admin"), 4u);
  client.Pass("admin");
  client.Reboot();
  EXPECT_EQ(other.Pass(""), 0u);  // every connection went down with it
  EXPECT_THROW(other.Connect("127.0.0.1", server.Port()), Zastra::ConnectError);
  // Nothing tells the test when it listens again: it tries until it may connect.
  EXPECT_TRUE(WaitUntil(
      [&] {
        try {
          return other.Connect("127.0.0.1", server.Port());
        } catch (const Zastra::ConnectError&) {
          return false;
        }
      },
      5s));
  EXPECT_EQ(other.Pass("admin"), 4u);
  EXPECT_LT(other.Uptime(), 100u);  // counting from the reboot
}

TEST(TheSimulatorProgram, ServesManyRoutersAndFaultsTheOneNamed) {
  ChildProcess program(ZEZAR_ROUTERSIM, {"--routers", "3", "--port", "0"}, {}, "2: stall 30\n");
  std::vector<uint16_t> ports;
  for (int i = 0; i < 3; ++i)
    ports.push_back(
        static_cast<uint16_t>(std::stoi("0" + program.ReadLine(std::chrono::seconds(10)))));
  ASSERT_TRUE(WaitUntil(
      [&] { return program.Err().find("router 2: fault: stall 30") != std::string::npos; }, 10s))
      << program.Err();
  for (std::size_t i = 0; i < ports.size(); ++i) {
    SCOPED_TRACE("router " + std::to_string(i + 1));
    const posix::UniqueFd client = Dial(ports[i]);
    ASSERT_TRUE(client);
    Send(client.get(), "version\r\n");
    // The stalled one is bounded by the wait; the others answer at once.
    EXPECT_EQ(LineBefore(client.get(), Clock::now() + (i == 1 ? 1s : 5s)),
              i == 1 ? "" : "OK 11 zezar-routersim 1.0\n");
  }
}

}  // namespace
}  // namespace zezar_test
