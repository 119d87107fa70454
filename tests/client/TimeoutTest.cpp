// The one-second alarm around each answer line.

#include "ClientTest.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

constexpr auto kPastTheAlarm = 1500ms;

using ATimeOut = ClientTest;

TEST_F(ATimeOut, ClosesTheConnectionAndReportsItOnce) {
  FakeDaemon daemon({Expect("version\r\n"), Stall(kPastTheAlarm)});
  ConnectTo(daemon);
  EXPECT_EQ(client.Version().protocol, 0u);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(lost.Calls(), 1);
  EXPECT_EQ(client.Date(), "");  // returns at once, sending nothing
  EXPECT_EQ(lost.Calls(), 1);
  Check(daemon);
}

TEST_F(ATimeOut, KeepsTheBodyLinesReadBeforeIt) {
  FakeDaemon daemon({Expect("timetable\r\n"), Send(" a\n"), Stall(kPastTheAlarm)});
  ConnectTo(daemon);
  EXPECT_EQ(client.Timetable(), " a\n");
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(lost.Calls(), 1);
  Check(daemon);
}

TEST_F(ATimeOut, BoundsTheWholeLineNotEachByte) {
  Zastra::Socket socket;
  socket.SetConnectionLostObj(&client);
  FakeDaemon daemon({Send("O"), Stall(700ms), Send("K"), Stall(700ms), Send("\n")});
  socket.Connect("127.0.0.1", daemon.Port());
  EXPECT_EQ(socket.Read(), "OK");
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(lost.Calls(), 1);
  Check(daemon);
}

TEST_F(ATimeOut, TakesAPartialResultLineAsTheAnswer) {
  FakeDaemon daemon({Expect("date\r\n"), Send("OK 12"), Stall(kPastTheAlarm)});
  ConnectTo(daemon);
  EXPECT_EQ(client.Date(), "12");
  EXPECT_FALSE(client.IsConnected());
  Check(daemon);
}

TEST_F(ATimeOut, IsFollowedByAWorkingReconnection) {
  FakeDaemon daemon(
      {{Expect("date\r\n"), Stall(kPastTheAlarm)}, Exchanges({{"date", "OK again"}})});
  ConnectTo(daemon);
  EXPECT_EQ(client.Date(), "");
  ConnectTo(daemon);
  EXPECT_EQ(client.Date(), "again");
  EXPECT_EQ(lost.Calls(), 1);
  client.Disconnect();
  Check(daemon);
}

// A caller's deadline bounds the whole run of exchanges, though each answer comes within the
// time-out, and a connection attempt too.
TEST_F(ATimeOut, EndsEveryWaitAtTheCallersDeadline) {
  FakeDaemon daemon({Expect("date\r\n"), Stall(600ms), Send("OK first\n"), Expect("date\r\n"),
                     Stall(600ms), Send("OK second\n")});
  ConnectTo(daemon);
  client.SetDeadline(std::chrono::steady_clock::now() + 900ms);
  EXPECT_EQ(client.Date(), "first");
  EXPECT_EQ(client.Date(), "");
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(lost.Calls(), 1);
  Check(daemon);

  SilentPort silent;
  const auto start = std::chrono::steady_clock::now();
  client.SetDeadline(start + 300ms);
  EXPECT_THROW(client.Connect("127.0.0.1", silent.Port()), Zastra::ConnectError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms) << "the one-second bound ended it";
  client.SetDeadline(std::nullopt);
}

}  // namespace
}  // namespace zezar_test
