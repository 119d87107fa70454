// Opening and closing connections: the errors, the time-out around them, the descriptors.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "ClientTest.h"
#include "SignalTimer.h"

namespace zezar_test {
namespace {

using AConnection = ClientTest;
using namespace std::chrono_literals;

std::string ConnectErrorOf(Zastra& io_client, const std::string& i_strHost, uint32_t i_iPort) {
  try {
    io_client.Connect(i_strHost, i_iPort);
  } catch (const Zastra::ConnectError& error) {
    return error.GetMessage();
  }
  return "(no error)";
}

TEST_F(AConnection, ReportsTheHostAndPortBeforeTheFirstConnect) {
  EXPECT_EQ(client.GetHost(), "");
  EXPECT_EQ(client.GetPort(), 0u);
  EXPECT_FALSE(client.IsConnected());
}

TEST_F(AConnection, FailsWithItsReasonAndLeavesNothingBehind) {
  RefusingPort refusing;
  SilentPort silent;
  struct Row {
    const char* name;
    std::string host;
    uint32_t port;
    std::string message;
  } rows[] = {
      // The C library rejects this name itself: no query leaves the machine.
      {"unknown host", "256.256.256.256", 5000, "Host 256.256.256.256 not found."},
      {"refused", "127.0.0.1", refusing.Port(), std::strerror(ECONNREFUSED)},
      {"unanswered, cut short by the time-out", "127.0.0.1", silent.Port(), std::strerror(EINTR)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const int descriptors = OpenDescriptorCount();
    EXPECT_EQ(ConnectErrorOf(client, row.host, row.port), row.message);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(alarm(0), 0u) << "an alarm is still pending";
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(client.GetHost(), row.host);
    EXPECT_EQ(client.GetPort(), row.port);
  }
}

// A host's SIGINT handler must end an attempt the router leaves unanswered, whether it asked
// for restarts or not, long before the time-out would.
TEST_F(AConnection, EndsAnUnansweredAttemptOnASignal) {
  for (const SignalTimer::Restart restart : {SignalTimer::Restart::No, SignalTimer::Restart::Yes}) {
    SCOPED_TRACE(restart == SignalTimer::Restart::Yes ? "with SA_RESTART" : "without SA_RESTART");
    SilentPort silent;
    Zastra::Socket socket;
    socket.SetConnectionLostObj(&client);
    socket.SetTimeout(3);
    const auto start = std::chrono::steady_clock::now();
    const SignalTimer signal(300ms, restart);
    try {
      socket.Connect("127.0.0.1", silent.Port());
      ADD_FAILURE() << "connected to a port that answers nothing";
    } catch (const Zastra::ConnectError& error) {
      EXPECT_EQ(error.GetMessage(), std::strerror(EINTR));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the time-out ended it";
    EXPECT_EQ(SignalTimer::Delivered(), 1);
    EXPECT_FALSE(socket.IsConnected());
  }
  EXPECT_EQ(lost.Calls(), 2);
}

TEST_F(AConnection, UsesOnlyTheLow16BitsOfThePort) {
  FakeDaemon daemon(Exchanges({{"date", "OK today"}}));
  const uint32_t port = daemon.Port() + 65536u;
  ASSERT_TRUE(client.Connect("127.0.0.1", port));
  EXPECT_EQ(client.GetPort(), port);
  EXPECT_EQ(client.Date(), "today");
  client.Disconnect();
  Check(daemon);
}

TEST_F(AConnection, ClosesTheOldConnectionBeforeConnectingAgain) {
  FakeDaemon daemon({{}, Exchanges({{"date", "OK second"}})});
  ConnectTo(daemon);
  ConnectTo(daemon);  // the daemon takes the second only after the first has closed
  EXPECT_EQ(client.Date(), "second");
  client.Disconnect();
  const Transcript transcript = Check(daemon);
  EXPECT_EQ(transcript.received, (std::vector<std::string>{"", "date\r\n"}));
}

TEST_F(AConnection, IsClosedAfterAFailedNewAttempt) {
  FakeDaemon daemon(Script{});
  RefusingPort refusing;
  ConnectTo(daemon);
  const int descriptors = OpenDescriptorCount();
  EXPECT_EQ(ConnectErrorOf(client, "127.0.0.1", refusing.Port()), std::strerror(ECONNREFUSED));
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(OpenDescriptorCount(), descriptors - 1);
  Check(daemon);
}

TEST_F(AConnection, SendsNothingWhileNotConnected) {
  EXPECT_EQ(client.Date(), "");
  EXPECT_EQ(client.Timetable(), "");
  EXPECT_EQ(client.Version().protocol, 0u);
  EXPECT_EQ(lost.Calls(), 0);
}

TEST_F(AConnection, DisconnectsTwiceHarmlessly) {
  FakeDaemon daemon(Script{});
  ConnectTo(daemon);
  client.Disconnect();
  client.Disconnect();
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(lost.Calls(), 0);
  Check(daemon);
}

}  // namespace
}  // namespace zezar_test
