// Router control commands and information queries.

#include "ClientTest.h"

namespace zezar_test {
namespace {

using ACommand = ClientTest;

TEST_F(ACommand, SendsItsLineAndDiscardsTheAnswer) {
  FakeDaemon daemon(Exchanges({{"dial", "OK"},
                               {"hangup", "ERR not allowed"},
                               {"reboot", "OK rebooting"},
                               {"halt", "OK"},
                               {"date", "OK Tue Dec  8 07:42:31 2026"}}));
  ConnectTo(daemon);
  client.Dial();
  client.Hangup();
  client.Reboot();
  client.Halt();
  EXPECT_EQ(client.Date(), "Tue Dec  8 07:42:31 2026");
  client.Disconnect();
  Check(daemon);
}

TEST_F(ACommand, ReadsTheProcessorLoadIn16Bits) {
  struct Row {
    std::string answer;
    uint16_t load;
  } rows[] = {{"OK 37", 37}, {"OK  12%", 12}, {"OK 65535", 65535}, {"OK 65536", 0},
              {"OK -1", 0},  {"OK ", 0},      {"OK x", 0},         {"ERR 5", 0}};
  AnswerEach("cpu", rows, [&](const Row& row) { EXPECT_EQ(client.CPU(), row.load); });
}

TEST_F(ACommand, SetsTheDialModeThenReadsItBack) {
  struct Row {
    const char* name;
    Zastra::Dialmode_t set;
    Script script;
    Zastra::Dialmode_t result;
  } rows[] = {
      {"auto, refused", Zastra::Auto,
       Exchanges({{"dialmode auto", "ERR"}, {"dialmode", "OK manual"}}), Zastra::Manual},
      {"off", Zastra::Off, Exchanges({{"dialmode off", "OK"}, {"dialmode", "OK off"}}),
       Zastra::Off},
      {"manual", Zastra::Manual, Exchanges({{"dialmode manual", "OK"}, {"dialmode", "OK manual"}}),
       Zastra::Manual},
      {"a query", Zastra::_Default, Exchanges({{"dialmode", "OK auto"}}), Zastra::Auto},
      {"capital letter", Zastra::_Default, Exchanges({{"dialmode", "OK Auto"}}), Zastra::_Default},
      {"trailing blank", Zastra::_Default, Exchanges({{"dialmode", "OK auto "}}), Zastra::_Default},
      {"refused", Zastra::_Default, Exchanges({{"dialmode", "ERR"}}), Zastra::_Default},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(row.script);
    ConnectTo(daemon);
    EXPECT_EQ(client.Dialmode(row.set), row.result);
    client.Disconnect();
    Check(daemon);
  }
}

TEST_F(ACommand, SetsOrAsksTheRoute) {
  struct Row {
    int route;
    std::string line;
    std::string answer;
    int result;
  } rows[] = {
      {-1, "route", "OK 3", 3},    {0, "route 0", "OK 0", 0},
      {3, "route 3", "OK 3", 3},   {-7, "route", "ERR", 0},
      {2, "route 2", "OK -2", -2}, {-1, "route", "OK 99999999999", 0},
      {-1, "route", "OK x", 0},    {-1, "route", "OK  4 (isdn)", 4},
  };
  Script script;
  for (const Row& row : rows) script = script + Exchanges({{row.line, row.answer}});
  FakeDaemon daemon(script);
  ConnectTo(daemon);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line + " -> " + row.answer);
    EXPECT_EQ(client.Route(row.route), row.result);
  }
  client.Disconnect();
  Check(daemon);
}

TEST_F(ACommand, WorksOnTheLinksOfTheCurrentRoute) {
  FakeDaemon daemon(Exchanges({{"route", "OK 2"},
                               {"links 2", "OK 3 links"},
                               {"route", "OK 1"},
                               {"addlink 1", "OK"},
                               {"route", "OK 1"},
                               {"removelink 1", "ERR"},
                               {"route", "ERR"},
                               {"addlink 0", "OK"},
                               {"route", "OK 1"},
                               {"links 1", "ERR"}}));
  ConnectTo(daemon);
  EXPECT_EQ(client.Links(7), 3);  // its argument is not consulted
  client.AddLink();
  client.RemoveLink();
  client.AddLink();  // a refused route names route 0
  EXPECT_EQ(client.Links(0), 0);
  client.Disconnect();
  Check(daemon);
}

TEST_F(ACommand, ReadsTheTimetable) {
  FakeDaemon daemon({Expect("timetable\r\n"), Send(" Mo 08:00 dial\n Mo 18:00 hangup\nOK\n")});
  ConnectTo(daemon);
  EXPECT_EQ(client.Timetable(), " Mo 08:00 dial\n Mo 18:00 hangup\n");
  client.Disconnect();
  Check(daemon);
}

TEST_F(ACommand, GivesTheFixedResultsWhileNotConnected) {
  client.Dial();
  client.AddLink();
  client.RemoveLink();
  EXPECT_EQ(client.Dialmode(Zastra::Auto), Zastra::_Default);
  EXPECT_EQ(client.Route(2), 0);
  EXPECT_EQ(client.Links(1), 0);
  EXPECT_EQ(client.CPU(), 0u);
  EXPECT_EQ(client.Date(), "");
  EXPECT_EQ(client.Support("pw"), "");
  EXPECT_TRUE(client.GetChannels().empty());
  EXPECT_TRUE(client.GetCircuits().empty());
  EXPECT_EQ(client.GetFile("pw", "f"), "");
  EXPECT_FALSE(client.UploadFile("pw", "f", std::string("data")));
  EXPECT_EQ(lost.Calls(), 0);
}

}  // namespace
}  // namespace zezar_test
