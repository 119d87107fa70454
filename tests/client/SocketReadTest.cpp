// The transport's line reader.

#include <optional>

#include "ClientTest.h"
#include "SignalTimer.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

// A bare transport whose lost connections are reported through a client's callback.
class ASocket : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    socket.SetConnectionLostObj(&client);
  }
  Zastra::Socket socket;
};

const std::string kLong(9000, 'x');

TEST_F(ASocket, ReadsLinesAsTheRouterFramesThem) {
  struct Row {
    const char* name;
    Script script;
    std::vector<std::string> lines;  // what successive Reads return
  } rows[] = {
      {"carriage return and line feed", {Send("text\r\n")}, {"text"}},
      {"line feed alone", {Send("plain\n")}, {"plain"}},
      {"carriage returns anywhere", {Send("\ra\rb\r\r\n")}, {"ab"}},
      {"empty line", {Send("\n")}, {""}},
      {"a NUL ends the text, the rest of the line is consumed",
       {Send(std::string("ab\0cd\nnext\n", 11))},
       {"ab", "next"}},
      {"a line feed split from its carriage return",
       {Send("ab\r"), Stall(50ms), Send("\ncd\n")},
       {"ab", "cd"}},
      {"8191 characters fit", {Send(std::string(8191, 'y') + "\n")}, {std::string(8191, 'y')}},
      {"a longer line keeps its first 8191 characters",
       {Send(kLong + "\nnext\n")},
       {std::string(8191, 'x'), "next"}},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(row.script);
    socket.Connect("127.0.0.1", daemon.Port());
    for (const std::string& line : row.lines) EXPECT_EQ(socket.Read(), line);
    EXPECT_TRUE(socket.IsConnected());
    socket.Disconnect();
    Check(daemon);
  }
  EXPECT_EQ(lost.Calls(), 0);
}

TEST_F(ASocket, LeavesWhatFollowsTheLineInTheSocket) {
  FakeDaemon daemon({Send("OK 3\nabc")});
  socket.Connect("127.0.0.1", daemon.Port());
  EXPECT_EQ(socket.Read(), "OK 3");
  char buffer[8] = {};
  ASSERT_EQ(socket.ReadRaw(buffer, sizeof buffer), 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  socket.Disconnect();
  Check(daemon);
}

// Read looks at what has arrived before it takes anything: whatever the segments hold, it
// takes exactly its line, and the raw bytes behind the last line are still in the socket.
TEST_F(ASocket, TakesExactlyItsLinesFromWhatHasArrived) {
  const std::string k300(300, 'a');
  const std::string k5000(5000, 'b');
  struct Row {
    const char* name;
    Script script;
    std::vector<std::string> lines;
  } rows[] = {
      {"three lines in one segment", {Send("one\ntwo\nthree\nraw")}, {"one", "two", "three"}},
      {"a line longer than the first look", {Send(k300 + "\n" + k300 + "\nraw")}, {k300, k300}},
      {"a long line with carriage returns", {Send(k5000 + "\r\nx\ry\nraw")}, {k5000, "xy"}},
      {"a long line beyond the buffer", {Send(kLong + "\nraw")}, {std::string(8191, 'x')}},
      {"a line in pieces",
       {Send("OK "), Stall(50ms), Send("1"), Stall(50ms), Send("2\nraw")},
       {"OK 12"}},
      {"a NUL, then the rest of the line", {Send(std::string("ab\0c\nraw", 8))}, {"ab"}},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(row.script);
    socket.Connect("127.0.0.1", daemon.Port());
    for (const std::string& line : row.lines) EXPECT_EQ(socket.Read(), line);
    char buffer[8] = {};
    EXPECT_EQ(socket.ReadRaw(buffer, sizeof buffer), 3u);
    EXPECT_EQ(std::string(buffer, 3), "raw");
    socket.Disconnect();
    Check(daemon);
  }
  EXPECT_EQ(lost.Calls(), 0);
}

// A host's SIGINT handler must end a blocked exchange, whether it asked for restarts or not.
TEST_F(ASocket, EndsTheWaitForALineOnASignal) {
  struct Row {
    const char* name;
    std::optional<SignalTimer::Restart> signal;
    std::string line;  // what Read returns
    int lost;
  } rows[] = {
      {"no signal: the late line arrives", std::nullopt, "OK late", 0},
      {"a handler without SA_RESTART", SignalTimer::Restart::No, "OK ", 1},
      {"a handler with SA_RESTART", SignalTimer::Restart::Yes, "OK ", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CountingCallback calls;
    client.SetConnectionLostCallback(&calls);
    FakeDaemon daemon({Send("OK "), Stall(1500ms), Send("late\n")});
    socket.SetTimeout(3);  // the signal, not the time-out, ends the wait
    socket.Connect("127.0.0.1", daemon.Port());
    std::optional<SignalTimer> signal;
    if (row.signal) signal.emplace(300ms, *row.signal);
    EXPECT_EQ(socket.Read(), row.line);
    EXPECT_EQ(socket.IsConnected(), row.lost == 0);
    EXPECT_EQ(calls.Calls(), row.lost);
    if (row.signal) {
      EXPECT_EQ(SignalTimer::Delivered(), 1);
    }
    socket.Disconnect();
    Check(daemon);
  }
}

TEST_F(ASocket, CountsTheEndOfTheStreamAsALostConnection) {
  FakeDaemon daemon({Send("abc"), Close()});
  socket.Connect("127.0.0.1", daemon.Port());
  EXPECT_EQ(socket.Read(), "abc");
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(lost.Calls(), 1);
  EXPECT_EQ(socket.Read(), "");
  EXPECT_EQ(lost.Calls(), 1);
  Check(daemon);
}

TEST_F(ASocket, ReturnsAtOnceWhenNotConnected) {
  EXPECT_EQ(socket.Read(), "");
  EXPECT_EQ(alarm(0), 0u);
  socket.Write("nothing\r\n");
  char buffer[4];
  EXPECT_EQ(socket.ReadRaw(buffer, sizeof buffer), 0u);
  EXPECT_FALSE(socket.WriteRaw("x", 1));
  EXPECT_EQ(lost.Calls(), 0);
}

}  // namespace
}  // namespace zezar_test
