// File transfer in acknowledged blocks of at most 1024 bytes.

#include <optional>
#include <random>
#include <sstream>

#include "ClientTest.h"
#include "SignalTimer.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

const std::string kAck(1, '\x06');
constexpr auto kPastTheTransferTimeOut =
    std::chrono::milliseconds(Zastra::Socket::kTransferTimeoutMs) + 1s;

// Random bytes, NUL bytes among them.
std::string Content(std::size_t i_uSize) {
  std::mt19937 random(static_cast<unsigned>(i_uSize));
  std::uniform_int_distribution<int> byte(0, 255);
  std::string strBytes(i_uSize, '\0');
  for (char& c : strBytes) c = static_cast<char>(byte(random));
  if (i_uSize > 0) strBytes[i_uSize / 2] = '\0';
  return strBytes;
}

// The router's side of a download that sends one block per acknowledgement.
Script Download(const std::string& i_strContent) {
  Script script = Exchanges({{"send f pw", "OK " + std::to_string(i_strContent.size())}});
  for (std::size_t uAt = 0; uAt < i_strContent.size(); uAt += 1024) {
    script.push_back(Send(i_strContent.substr(uAt, 1024)));
    script.push_back(Expect(kAck));
  }
  script.push_back(Send("OK done\n"));
  return script;
}

// The router's side of a successful upload.
Script Upload(const std::string& i_strContent) {
  Script script = {Expect("receive f " + std::to_string(i_strContent.size()) + " pw\r\n"),
                   Send(kAck)};
  for (std::size_t uAt = 0; uAt < i_strContent.size(); uAt += 1024) {
    script.push_back(Expect(i_strContent.substr(uAt, 1024)));
    script.push_back(Send(kAck));
  }
  script.push_back(Send("OK stored\n"));
  return script;
}

using ATransfer = ClientTest;

const std::size_t kSizes[] = {1, 1023, 1024, 1025, 2048, 2500};

TEST_F(ATransfer, DownloadsEveryByteInBlocks) {
  for (const std::size_t size : kSizes) {
    SCOPED_TRACE(size);
    const std::string content = Content(size);
    FakeDaemon daemon(Download(content) + Exchanges({{"date", "OK after"}}));
    ConnectTo(daemon);
    EXPECT_EQ(client.GetFile("pw", "f"), content);
    EXPECT_EQ(client.Date(), "after");  // the closing line was consumed, and only it
    client.Disconnect();
    Check(daemon);
  }
}

TEST_F(ATransfer, NeverTakesTheClosingLineIntoTheFile) {
  FakeDaemon daemon(Script{Expect("send f pw\r\n"), Send("OK 5\nabcdeOK done\n"), Expect(kAck)} +
                    Exchanges({{"date", "OK after"}}));
  ConnectTo(daemon);
  EXPECT_EQ(client.GetFile("pw", "f"), "abcde");
  EXPECT_EQ(client.Date(), "after");
  client.Disconnect();
  Check(daemon);
}

TEST_F(ATransfer, DownloadsNothingWithoutAPositiveSize) {
  struct Row {
    const char* name;
    Script script;
  } rows[] = {
      {"size 0", Exchanges({{"send f pw", "OK 0"}, {"date", "OK after"}})},
      {"refused", Exchanges({{"send f pw", "ERR no such file"}, {"date", "OK after"}})},
      {"not a number", Exchanges({{"send f pw", "OK big"}, {"date", "OK after"}})},
      {"negative: the closing line is read", Exchanges({{"send f pw", "OK -5"}}) +
                                                 Script{Send("OK done\n")} +
                                                 Exchanges({{"date", "OK after"}})},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(row.script);
    ConnectTo(daemon);
    EXPECT_EQ(client.GetFile("pw", "f"), "");
    EXPECT_EQ(client.Date(), "after");
    client.Disconnect();
    Check(daemon);
  }
}

TEST_F(ATransfer, EndsADownloadCutShort) {
  struct Row {
    const char* name;
    Script script;
  } rows[] = {
      {"stall",
       Exchanges({{"send f pw", "OK 2000"}}) +
           Script{Send(std::string(1024, 'a')), Expect(kAck), Stall(kPastTheTransferTimeOut)}},
      {"end of stream", Exchanges({{"send f pw", "OK 2000"}}) + Script{Send("abc"), Close()}},
      {"the largest size allowed, then silence",
       Exchanges({{"send f pw", "OK " + std::to_string(Zastra::kMaxDownloadSize)}}) +
           Script{Send("abc"), Expect(kAck), Close()}},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    CountingCallback calls;
    client.SetConnectionLostCallback(&calls);
    FakeDaemon daemon(row.script);
    ConnectTo(daemon);
    EXPECT_EQ(client.GetFile("pw", "f"), "");
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(calls.Calls(), 1);
    Check(daemon);
  }
}

// The router would send the whole of what it announced; the client takes none of it, sends no
// acknowledgement, and drops the connection that is now out of step.
TEST_F(ATransfer, RefusesADownloadAnnouncedBeyondItsBound) {
  for (const std::string& size : {std::to_string(Zastra::kMaxDownloadSize + 1),
                                  std::string("2147483647"), std::string("99999999999999999999")}) {
    SCOPED_TRACE(size);
    CountingCallback calls;
    client.SetConnectionLostCallback(&calls);
    FakeDaemon daemon(
        {Expect("send f pw\r\n"), Send("OK " + size + "\n" + std::string(1024, 'z'))});
    ConnectTo(daemon);
    EXPECT_EQ(client.GetFile("pw", "f"), "");
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(calls.Calls(), 1);
    const Transcript transcript = Check(daemon);  // no acknowledgement among what it received
    EXPECT_EQ(transcript.received, (std::vector<std::string>{"send f pw\r\n"}));
  }
}

TEST_F(ATransfer, EndsAWaitForABlockOnASignal) {
  using Restart = SignalTimer::Restart;
  const std::string content = Content(2000);
  struct Row {
    const char* name;
    std::optional<Restart> signal;
    std::string result;
  } rows[] = {
      {"no signal: the late block arrives", std::nullopt, content},
      {"a handler without SA_RESTART", Restart::No, ""},
      {"a handler with SA_RESTART", Restart::Yes, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(Exchanges({{"send f pw", "OK 2000"}}) +
                      Script{Send(content.substr(0, 1024)), Expect(kAck), Stall(1500ms),
                             Send(content.substr(1024)), Expect(kAck), Send("OK done\n")});
    ConnectTo(daemon);
    std::optional<SignalTimer> signal;
    if (row.signal) signal.emplace(300ms, *row.signal);
    const std::string file = client.GetFile("pw", "f");
    EXPECT_EQ(file.size(), row.result.size());
    EXPECT_TRUE(file == row.result);
    EXPECT_EQ(client.IsConnected(), !row.signal.has_value());
    client.Disconnect();
    Transcript transcript = daemon.Finish();
    if (!row.signal) {
      EXPECT_EQ(transcript.error, "");  // else the second ack never comes
    }
  }
}

TEST_F(ATransfer, UploadsAStringOrAStreamInBlocks) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{1024},
                                 std::size_t{1025}, std::size_t{2048}, std::size_t{2500}}) {
    const std::string content = Content(size);
    for (const bool fromStream : {false, true}) {
      SCOPED_TRACE(std::to_string(size) + (fromStream ? " from a stream" : " from a string"));
      FakeDaemon daemon(Upload(content) + Exchanges({{"date", "OK after"}}));
      ConnectTo(daemon);
      std::istringstream stream(content);
      EXPECT_TRUE(fromStream ? client.UploadFile("pw", "f", stream)
                             : client.UploadFile("pw", "f", content));
      EXPECT_EQ(client.Date(), "after");
      client.Disconnect();
      Check(daemon);
    }
  }
}

TEST_F(ATransfer, SendsTheUploadCommandWhole) {
  const std::string name(300, 'n');
  FakeDaemon daemon(
      {Expect("receive " + name + " 1 pw\r\n"), Send(kAck), Expect("x"), Send(kAck), Send("OK\n")});
  ConnectTo(daemon);
  EXPECT_TRUE(client.UploadFile("pw", name, std::string("x")));
  client.Disconnect();
  Check(daemon);
}

TEST_F(ATransfer, StopsAnUploadTheRouterRefuses) {
  const std::string content = Content(2500);
  struct Row {
    const char* name;
    Script script;
    bool connected;
  } rows[] = {
      {"first acknowledgement refused",
       Script{Expect("receive f 2500 pw\r\n"), Send("ERR no space\n")} +
           Exchanges({{"date", "OK after"}}),
       true},
      {"a later acknowledgement refused",
       Script{Expect("receive f 2500 pw\r\n"), Send(kAck), Expect(content.substr(0, 1024)),
              Send("X failed\n")} +
           Exchanges({{"date", "OK after"}}),
       true},
      {"silence instead of an acknowledgement",
       Script{Expect("receive f 2500 pw\r\n"), Send(kAck), Expect(content.substr(0, 1024)),
              Stall(kPastTheTransferTimeOut)},
       false},
      {"end of stream", Script{Expect("receive f 2500 pw\r\n"), Close()}, false},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(row.script);
    ConnectTo(daemon);
    EXPECT_FALSE(client.UploadFile("pw", "f", content));
    EXPECT_EQ(client.IsConnected(), row.connected);
    if (row.connected) {
      EXPECT_EQ(client.Date(), "after");
    }
    client.Disconnect();
    Check(daemon);
  }
}

// A stream that cannot seek, so its size is unknown.
class Unseekable : public std::streambuf {};

TEST_F(ATransfer, RefusesAStreamOfUnknownSize) {
  FakeDaemon daemon(Exchanges({{"date", "OK untouched"}}));
  ConnectTo(daemon);
  Unseekable buffer;
  std::istream stream(&buffer);
  EXPECT_FALSE(client.UploadFile("pw", "f", stream));
  EXPECT_EQ(client.Date(), "untouched");
  client.Disconnect();
  Check(daemon);
}

}  // namespace
}  // namespace zezar_test
