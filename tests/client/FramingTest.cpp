// Requests and answers: "OK " results, multi-line answers, the version cache, the callback.

#include "tests/client/ClientTest.h"

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
