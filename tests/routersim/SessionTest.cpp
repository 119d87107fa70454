#include "routersim/Session.h"

#include <gtest/gtest.h>

#include "client/Md5.h"

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

}  // namespace
}  // namespace zezar_test
