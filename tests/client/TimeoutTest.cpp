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

}  // namespace
}  // namespace zezar_test
