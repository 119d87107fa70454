// Requests and answers: "OK " results, multi-line answers, the version cache, the callback.

#include <algorithm>

#include "ClientTest.h"

namespace zezar_test {
namespace {

using TheFraming = ClientTest;

TEST_F(TheFraming, TakesTheResultAfterOKBlank) {
  struct Row {
    const char* name;
    std::string answer;
    std::string result;
  } rows[] = {
      {"a number", "OK 42", "42"},
      {"text with blanks", "OK two words ", "two words "},
      {"a second blank is kept", "OK  x", " x"},
      {"carriage return removed", "OK 42\r", "42"},
      {"bare OK", "OK", ""},
      {"OK and a blank only", "OK ", ""},
      {"an error line", "ERR not allowed", ""},
      {"lower case", "ok 42", ""},
      {"a leading blank", " OK 42", ""},
      {"OK without the blank", "OK42", ""},
  };
  AnswerEach("date", rows, [&](const Row& row) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(client.Date(), row.result);
    EXPECT_TRUE(client.IsConnected());
  });
}

TEST_F(TheFraming, CutsAOneLineCommandTo250Characters) {
  const std::string name(300, 'n');
  FakeDaemon daemon(Exchanges({{"send " + name.substr(0, 245), "OK 0"}}));
  ConnectTo(daemon);
  EXPECT_EQ(client.GetFile("pw", name), "");
  client.Disconnect();
  Check(daemon);
}

TEST_F(TheFraming, CollectsMultiLineAnswersUpToTheirClosingLine) {
  struct Row {
    const char* name;
    std::string answer;  // the bytes the daemon sends
    std::string result;
  } rows[] = {
      {"two body lines", " a\n b\nOK\n", " a\n b\n"},
      {"closing line alone", "OK\n", ""},
      {"an error closes it too", " a\nERR\n", " a\n"},
      {"an empty line closes it", " a\n\n", " a\n"},
      {"carriage returns dropped", " a\r\n\r\n", " a\n"},
  };
  Script script;
  for (const Row& row : rows) script = script + Script{Expect("timetable\r\n"), Send(row.answer)};
  FakeDaemon daemon(script);
  ConnectTo(daemon);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(client.Timetable(), row.result);
  }
  client.Disconnect();
  Check(daemon);
}

// A router that keeps streaming body lines must not keep the client reading for ever, nor make
// it hold without limit: past a bound the client gives up on the connection.
TEST_F(TheFraming, BoundsAMultiLineAnswerInBytes) {
  const std::string line = " " + std::string(98, 'l') + "\n";  // 100 bytes in the result too
  std::string exactly;
  while (exactly.size() + line.size() <= Zastra::kMaxMultilineAnswerSize) exactly += line;
  exactly += " " + std::string(Zastra::kMaxMultilineAnswerSize - exactly.size() - 2, 'e') + "\n";
  std::string beyond;
  while (beyond.size() < Zastra::kMaxMultilineAnswerSize * 3 / 2) beyond += line;
  struct Row {
    const char* name;
    std::string body;
    bool whole;
  } rows[] = {
      {"exactly the bound", exactly, true},
      {"half as much again", beyond, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CountingCallback calls;
    client.SetConnectionLostCallback(&calls);
    FakeDaemon daemon(Script{Expect("support pw\r\n"), Send(row.body + "OK\n")} +
                      Exchanges({{"date", "OK after"}}));
    ConnectTo(daemon);
    const std::string answer = client.Support("pw");
    if (row.whole) {
      EXPECT_EQ(answer.size(), row.body.size());
      EXPECT_EQ(answer, row.body);
      EXPECT_EQ(client.Date(), "after");
      EXPECT_EQ(calls.Calls(), 0);
    } else {
      EXPECT_LE(answer.size(), Zastra::kMaxMultilineAnswerSize);
      EXPECT_EQ(answer, row.body.substr(0, answer.size()));
      EXPECT_FALSE(client.IsConnected());
      EXPECT_EQ(calls.Calls(), 1);
    }
    client.Disconnect();
    Transcript transcript = daemon.Finish();
    if (row.whole) {
      EXPECT_EQ(transcript.error, "");  // else "date" never comes
    }
  }
}

TEST_F(TheFraming, BoundsAMultiLineAnswerInTime) {
  using namespace std::chrono_literals;
  // Every line arrives well within the one-second time-out; the answer as a whole does not.
  const auto lines = [](int i_iCount) {
    Script script{Expect("timetable\r\n")};
    for (int i = 0; i < i_iCount; ++i) script = script + Script{Send(" t\n"), Stall(400ms)};
    return script + Script{Send("OK\n")};
  };
  const int kWithin = Zastra::kMaxMultilineAnswerSeconds * 1000 / 400 / 2;
  const int kBeyond = Zastra::kMaxMultilineAnswerSeconds * 1000 / 400 + 3;
  struct Row {
    const char* name;
    int lines;
    bool whole;
  } rows[] = {
      {"well within the bound", kWithin, true},
      {"beyond it", kBeyond, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CountingCallback calls;
    client.SetConnectionLostCallback(&calls);
    FakeDaemon daemon(lines(row.lines));
    ConnectTo(daemon);
    const std::string answer = client.Timetable();
    const auto count = std::count(answer.begin(), answer.end(), '\n');
    if (row.whole) {
      EXPECT_EQ(count, row.lines);
      EXPECT_TRUE(client.IsConnected());
    } else {
      EXPECT_LT(count, row.lines);
      EXPECT_GT(count, 0);
      EXPECT_FALSE(client.IsConnected());
    }
    EXPECT_EQ(calls.Calls(), row.whole ? 0 : 1);
    client.Disconnect();
    Check(daemon);
  }
}

TEST_F(TheFraming, DoesNotCutAMultiLineCommand) {
  const std::string password(300, 'p');
  FakeDaemon daemon({Expect("support " + password + "\r\n"), Send(" dump\nOK\n")});
  ConnectTo(daemon);
  EXPECT_EQ(client.Support(password), " dump\n");
  client.Disconnect();
  Check(daemon);
}

TEST_F(TheFraming, AsksForTheVersionUntilItNamesAProtocol) {
  struct Row {
    const char* name;
    std::string answer;
    uint32_t protocol;
    std::string version;
    bool asksAgain;
  } rows[] = {
      {"protocol and text", "OK 11 1.2.3", 11, "1.2.3", false},
      {"text with blanks", "OK 10 a b", 10, "a b", false},
      {"no blank: nothing learnt", "OK 11", 0, "", true},
      {"protocol 0: text kept, asked again", "OK 0 beta", 0, "beta", true},
      {"protocol not a number", "OK x 1.0", 0, "1.0", true},
      {"refused", "ERR", 0, "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Zastra fresh;
    Script script = Exchanges({{"version", row.answer}});
    if (row.asksAgain) script = script + Exchanges({{"version", "ERR"}});
    FakeDaemon daemon(script);
    fresh.Connect("127.0.0.1", daemon.Port());
    const Zastra::Version_t first = fresh.Version();
    EXPECT_EQ(first.protocol, row.protocol);
    EXPECT_EQ(first.version, row.version);
    EXPECT_EQ(fresh.Version().version, row.version);  // either cached or, refused, unchanged
    fresh.Disconnect();
    Check(daemon);
  }
}

TEST_F(TheFraming, KeepsTheVersionAcrossConnections) {
  FakeDaemon daemon({Exchanges({{"version", "OK 12 2.0"}}), Exchanges({{"date", "OK now"}})});
  ConnectTo(daemon);
  EXPECT_EQ(client.Version().protocol, 12u);
  client.Disconnect();
  ConnectTo(daemon);
  EXPECT_EQ(client.Version().version, "2.0");
  EXPECT_EQ(client.Date(), "now");
  client.Disconnect();
  Check(daemon);
}

TEST_F(TheFraming, RunsOnlyTheLatestCallback) {
  CountingCallback replacement;
  client.SetConnectionLostCallback(&replacement);
  client.ConnectionLost();
  EXPECT_EQ(lost.Calls(), 0);
  EXPECT_EQ(replacement.Calls(), 1);

  Zastra bare;
  bare.ConnectionLost();  // no callback installed: nothing happens
}

}  // namespace
}  // namespace zezar_test
