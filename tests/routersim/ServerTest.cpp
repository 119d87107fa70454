// The simulated daemon on loopback: the client against it, several clients at once, faults.

#include "routersim/Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <system_error>

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

}  // namespace
}  // namespace zezar_test
