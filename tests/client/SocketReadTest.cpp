// The transport's line reader, byte by byte.

#include "tests/client/ClientTest.h"

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
