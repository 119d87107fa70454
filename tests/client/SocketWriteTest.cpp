// Writing, and the signal handling that keeps a closed peer from ending the process.

#include <poll.h>

#include <csignal>

#include "tests/client/ClientTest.h"

namespace zezar_test {
namespace {

using TheSignalHandling = ClientTest;

TEST_F(TheSignalHandling, LetsTheAlarmInterruptBlockedCalls) {
  struct sigaction alarmAction {};
  struct sigaction pipeAction {};
  ASSERT_EQ(sigaction(SIGALRM, nullptr, &alarmAction), 0);
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &pipeAction), 0);
  EXPECT_EQ(alarmAction.sa_flags & SA_RESTART, 0);
  EXPECT_NE(alarmAction.sa_handler, SIG_DFL);
  EXPECT_NE(alarmAction.sa_handler, SIG_IGN);
  EXPECT_EQ(pipeAction.sa_handler, alarmAction.sa_handler);
}

TEST_F(TheSignalHandling, SurvivesABrokenPipe) {
  ASSERT_EQ(raise(SIGPIPE), 0);
  EXPECT_EQ(lost.Calls(), 0);  // no timed operation was in progress
}

TEST_F(TheSignalHandling, SurvivesWritesToAConnectionThePeerClosed) {
  FakeDaemon daemon({Close()});
  Zastra::Socket socket;
  socket.SetConnectionLostObj(&client);
  socket.Connect("127.0.0.1", daemon.Port());
  Check(daemon);  // the daemon has exited: its end is closed
  // The first write draws a reset, the later ones would raise SIGPIPE.
  for (int i = 0; i < 3; ++i) {
    socket.Write("dial\r\n");
    poll(nullptr, 0, 20);
  }
  EXPECT_TRUE(socket.IsConnected());  // a write notices nothing; only reads do
}

using AClosedPeer = ClientTest;

TEST_F(AClosedPeer, CountsAsALostConnectionAtTheNextAnswer) {
  FakeDaemon daemon({Expect("date\r\n"), Close()});
  ConnectTo(daemon);
  EXPECT_EQ(client.Date(), "");
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(lost.Calls(), 1);
  Check(daemon);
}

}  // namespace
}  // namespace zezar_test
