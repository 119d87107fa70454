// Writing, and the signal handling that keeps a closed peer from ending the process.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <csignal>
#include <stdexcept>

#include "ClientTest.h"
#include "SignalTimer.h"
#include "posix/UniqueFd.h"
#include "support/Loopback.h"

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

// A port on 127.0.0.1 whose connections the kernel completes but nobody ever reads: a router
// that has stopped reading its commands.
class DeafPort {
 public:
  DeafPort() : m_listener(ListenOnLoopback(1, m_port)) {}
  uint16_t Port() const { return m_port; }

 private:
  uint16_t m_port = 0;  // before m_listener, which is made with it
  posix::UniqueFd m_listener;
};

using AWrite = ClientTest;

// Far more than the socket buffers on both ends hold, so the write must wait for the router.
const std::string kMoreThanTheBuffersHold(32u << 20, 'c');

TEST_F(AWrite, LosesTheConnectionWhenTheRouterStopsReading) {
  using namespace std::chrono_literals;
  struct Row {
    const char* name;
    int timeout;  // seconds
    std::chrono::milliseconds signalAfter;
    bool signalEndsIt;
  } rows[] = {
      // A watchdog signal well after the time-out: it must not be what ends the write.
      {"the time-out ends it", 1, 4000ms, false},
      {"a signal ends it", 10, 300ms, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CountingCallback calls;
    client.SetConnectionLostCallback(&calls);
    DeafPort deaf;
    Zastra::Socket socket;
    socket.SetConnectionLostObj(&client);
    socket.SetTimeout(row.timeout);
    socket.Connect("127.0.0.1", deaf.Port());
    {
      SignalTimer signal(row.signalAfter, SignalTimer::Restart::No);
      socket.Write(kMoreThanTheBuffersHold);
      EXPECT_EQ(SignalTimer::Delivered(), row.signalEndsIt ? 1 : 0);
    }
    EXPECT_FALSE(socket.IsConnected());
    EXPECT_EQ(calls.Calls(), 1);
    socket.Write("dial\r\n");  // sends nothing, reports nothing
    EXPECT_EQ(calls.Calls(), 1);
  }
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
