#include "routersim/Session.h"

#include <gtest/gtest.h>

#include "client/Md5.h"
#include "routersim/Faults.h"

namespace zezar_test {
namespace {

using routersim::Router;
using routersim::Session;

struct Exchange {
  std::string request;
  std::string answer;
};

void Converse(Session& io_session, const std::vector<Exchange>& i_exchanges) {
  for (const Exchange& exchange : i_exchanges) {
    SCOPED_TRACE(exchange.request);
    EXPECT_EQ(io_session.Answer(exchange.request), exchange.answer);
  }
}

TEST(ASimulatedDaemon, LogsInWithTheSaltedDigest) {
  Router router = Router::WithChannels(2, 1);
  Session session(router, "pepper");
  Converse(session, {{"version", "OK 11 zezar-routersim 1.0\n"},
                     {"md5pass", "OK 1\n"},
                     {"channels", "ERR not allowed\n"},
                     {"pass admin", "ERR unknown command\n"},
                     {"salt", "OK pepper\n"},
                     {"md5pass " + Md5()(std::string("wrongpepper")), "OK 1\n"},
                     {"md5pass " + Md5()(std::string("userpepper")), "OK 2\n"},
                     {"is-allowed dial", "OK 1\n"},
                     {"is-allowed reboot", "OK 0\n"},
                     {"md5pass " + Md5()(std::string("adminpepper")), "OK 4\n"},
                     {"md5pass", "OK 4\n"},
                     {"is-allowed reboot", "OK 1\n"}});
}

TEST(ASimulatedDaemon, LogsInInClearTextBeforeProtocol11) {
  Router router = Router::WithChannels(1, 0);
  router.protocol = 10;
  Session session(router, "unused");
  Converse(session, {{"salt", "ERR unknown command\n"},
                     {"md5pass", "ERR unknown command\n"},
                     {"pass ", "OK 1\n"},
                     {"pass user", "OK 2\n"},
                     {"pass admin", "OK 4\n"}});
}

TEST(ASimulatedDaemon, ReportsAndChangesItsChannels) {
  Router router = Router::WithChannels(2, 1);
  router.channels[0].quantityIn = (uint64_t{1} << 32) + 5;
  router.channels[0].quantityOut = 7;
  Session session(router, "s");
  Converse(session, {{"pass admin", "ERR unknown command\n"},
                     {"md5pass " + Md5()(std::string("admins")), "OK 4\n"},
                     {"channels", "OK 2\n"},
                     {"pppoe", "OK 0\n"},
                     {"status 1", "OK Online\n"},
                     {"status 2", "OK Offline\n"},
                     {"status 3", "ERR unknown command\n"},
                     {"ip 1", "OK 10.0.0.1\n"},
                     {"rate 1", "OK 30000 9000\n"},
                     {"rate 2", "OK 0 0\n"},
                     {"quantity 1", "OK 1 5 0 7\n"},
                     {"dial", "OK\n"},
                     {"status 2", "OK Online\n"},
                     {"dial", "ERR no free channel\n"},
                     {"route", "OK 1\n"},
                     {"removelink 1", "OK\n"},
                     {"links 1", "OK 1\n"},
                     {"hangup", "OK\n"},
                     {"status 1", "OK Offline\n"},
                     {"dialmode manual", "OK\n"},
                     {"dialmode", "OK manual\n"},
                     {"dialmode sideways", "ERR not allowed\n"},
                     {"timetable", " Mo-Fr 08:00-18:00 route 1\n Sa-Su 00:00-24:00 route 2\nOK\n"},
                     {"frobnicate", "ERR unknown command\n"}});
}

std::string LoggedIn(Session& io_session) {
  return io_session.Answer("md5pass " + Md5()(std::string("admins")));
}

// A number the daemon takes is digits only, in range; anything else is refused and changes
// nothing, so "route 7x" does not quietly set route 7.
TEST(ASimulatedDaemon, TakesOnlyWholeNumbersInRange) {
  struct Row {
    std::string request;
    std::string answer;
    std::string after;  // the question asked afterwards
    std::string afterAnswer;
  };
  const std::vector<Row> rows = {
      {"route 7", "OK 7\n", "route", "OK 7\n"},
      {"route 7x", "ERR bad number\n", "route", "OK 1\n"},
      {"route -5", "ERR bad number\n", "route", "OK 1\n"},
      {"route +5", "ERR bad number\n", "route", "OK 1\n"},
      {"route  5", "ERR bad number\n", "route", "OK 1\n"},
      {"route 2147483648", "ERR bad number\n", "route", "OK 1\n"},
      {"route 99999999999999999999999", "ERR bad number\n", "route", "OK 1\n"},
      {"hup-timeout 1 90s", "ERR bad number\n", "hup-timeout 1", "OK 60\n"},
      {"hup-timeout 1 0", "ERR bad number\n", "hup-timeout 1", "OK 60\n"},
      {"hup-timeout 1 90", "OK 90\n", "hup-timeout 1", "OK 90\n"},
      {"hup-timeout 2 90", "ERR not allowed\n", "hup-timeout 2", "OK 0\n"},  // pppoe
      {"hup-timeout 1x", "ERR unknown command\n", "hup-timeout 1", "OK 60\n"},
      {"status 1x", "ERR unknown command\n", "status 1", "OK Online\n"},
      {"status -1", "ERR unknown command\n", "status 0", "ERR unknown command\n"},
      {"addlink 1x", "ERR bad number\n", "status 2", "OK Offline\n"},
      {"addlink 2", "ERR no such route\n", "status 2", "OK Offline\n"},
      {"links -1", "ERR bad number\n", "links 1", "OK 1\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.request);
    Router router = Router::WithChannels(2, 1);
    Session session(router, "s");
    ASSERT_EQ(LoggedIn(session), "OK 4\n");
    EXPECT_EQ(session.Answer(row.request), row.answer);
    EXPECT_EQ(session.Answer(row.after), row.afterAnswer);
  }
}

TEST(ASimulatedDaemon, AnswersEveryChannelAndCircuitQuery) {
  Router router = Router::WithChannels(2, 1);
  router.pppoe = true;
  router.pppoeLink.online = true;
  router.date = "Tue Dec  8 12:00:00 2026";
  Session session(router, "s");
  ASSERT_EQ(LoggedIn(session), "OK 4\n");
  Converse(session, {{"phone 1", "OK 0301000\n"},
                     {"inout 1", "OK out\n"},
                     {"online-time 1", "OK 00:12:34\n"},
                     {"online-time 2", "OK \n"},
                     {"time 1", "OK 00:12:34\n"},
                     {"chargetime 1", "OK 00:10:00\n"},
                     {"charge 1", "OK 0.48\n"},
                     {"ip pppoe", "OK 192.0.2.1\n"},
                     {"circuits", "OK 2\n"},
                     {"circuit 1", "OK office\n"},
                     {"device 2", "OK pppoe\n"},
                     {"circuit 3", "ERR unknown command\n"},
                     {"cpu", "OK 3\n"},
                     {"date", "OK Tue Dec  8 12:00:00 2026\n"},
                     {"support wrong", "ERR not allowed\n"}});
  EXPECT_EQ(session.Answer("support root").substr(0, 9), " version ");
}

TEST(ASimulatedDaemon, ReportsQuantitiesInTheFormOfItsProtocol) {
  for (const uint32_t protocol : {10u, 11u}) {
    SCOPED_TRACE(protocol);
    Router router = Router::WithChannels(1, 1);
    router.protocol = protocol;
    router.channels[0].quantityIn = (uint64_t{3} << 32) + 17;
    router.channels[0].quantityOut = 4294967295u;
    Session session(router, "s");
    session.Answer(protocol > 10 ? "md5pass " + Md5()(std::string("admins")) : "pass admin");
    EXPECT_EQ(session.Answer("quantity 1"),
              protocol > 10 ? "OK 3 17 0 4294967295\n" : "OK 12884901905 4294967295\n");
  }
}

TEST(ASimulatedDaemon, GivesUsersOnlyWhatTheyMayRun) {
  Router router = Router::WithChannels(2, 0);
  router.userMayRun = {"dial"};
  Session session(router, "s");
  session.Answer("md5pass " + Md5()(std::string("users")));
  Converse(session, {{"dial", "OK\n"},
                     {"route 2", "ERR not allowed\n"},
                     {"dialmode off", "ERR not allowed\n"},
                     {"addlink 1", "ERR not allowed\n"},
                     {"reboot", "ERR not allowed\n"},
                     {"halt", "ERR not allowed\n"},
                     {"hup-timeout 1 30", "ERR not allowed\n"}});
  EXPECT_EQ(session.TakeRequest(), routersim::SessionRequest::None);
}

TEST(ASimulatedDaemon, AsksTheServerToRebootOrHalt) {
  Router router = Router::WithChannels(1, 0);
  Session session(router, "s");
  LoggedIn(session);
  EXPECT_EQ(session.Answer("reboot"), "OK\n");
  EXPECT_EQ(session.TakeRequest(), routersim::SessionRequest::Reboot);
  EXPECT_EQ(session.TakeRequest(), routersim::SessionRequest::None);
  EXPECT_EQ(session.Answer("halt"), "OK\n");
  EXPECT_EQ(session.TakeRequest(), routersim::SessionRequest::Halt);
}

TEST(ASimulatedDaemon, AnswersGarbageWhileTheFaultLasts) {
  Router router = Router::WithChannels(1, 0);
  routersim::AnswerFaults faults;
  faults.garbageAnswers = 2;
  Session session(router, "s", &faults);
  EXPECT_NE(session.Answer("version").substr(0, 3), "OK ");
  EXPECT_NE(session.Feed("version\r\n").substr(0, 3), "OK ");
  EXPECT_EQ(session.Feed("version\r\n"), "OK 11 zezar-routersim 1.0\n");
}

TEST(AFaultLine, NamesOneFaultOrSaysWhatIsWrong) {
  using Kind = routersim::FaultCommand::Kind;
  struct Row {
    std::string line;
    std::optional<Kind> kind;
    uint64_t value;
  };
  const std::vector<Row> rows = {
      {"stall 5", Kind::Stall, 5},     {"latency 250", Kind::Latency, 250},
      {"garbage 3", Kind::Garbage, 3}, {"lie 10", Kind::Lie, 10},
      {"cut 1500", Kind::Cut, 1500},   {"close", Kind::Close, 0},
      {"reboot 2\r", Kind::Reboot, 2}, {"clear", Kind::Clear, 0},
      {"stall", std::nullopt, 0},      {"stall -1", std::nullopt, 0},
      {"stall 5s", std::nullopt, 0},   {"close 3", std::nullopt, 0},
      {"explode", std::nullopt, 0},    {"", std::nullopt, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string strError;
    const auto fault = routersim::ParseFault(row.line, strError);
    ASSERT_EQ(fault.has_value(), row.kind.has_value());
    if (fault) {
      EXPECT_EQ(fault->kind, *row.kind);
      EXPECT_EQ(fault->value, row.value);
    } else {
      EXPECT_NE(strError, "");
    }
  }
}

}  // namespace
}  // namespace zezar_test
