// The circuit list and the hang-up time-out.

#include "ClientTest.h"

namespace zezar_test {
namespace {

using Circuit = Zastra::Circuit;

using ACircuit = ClientTest;

TEST_F(ACircuit, ListIsNumberedFromOneAndCached) {
  FakeDaemon daemon(
      Exchanges({{"circuits", "OK 3"}, {"circuit 1", "OK office"}, {"device 3", "OK isdn0"}}));
  ConnectTo(daemon);
  const std::vector<Circuit*>& circuits = client.GetCircuits();
  ASSERT_EQ(circuits.size(), 3u);
  EXPECT_EQ(client.GetCircuits().size(), 3u);  // asks nothing
  EXPECT_EQ(circuits[0]->Name(), "office");
  EXPECT_EQ(circuits[2]->Device(), "isdn0");
  client.Disconnect();
  EXPECT_TRUE(circuits.empty());
  Check(daemon);
}

TEST_F(ACircuit, CountsOnlyWhatTheAnswerSays) {
  for (const char* answer : {"OK 0", "OK -1", "ERR", "OK 256", "OK 2000000000", "OK x"}) {
    SCOPED_TRACE(answer);
    FakeDaemon daemon(Exchanges({{"circuits", answer}}));
    ConnectTo(daemon);
    EXPECT_TRUE(client.GetCircuits().empty());
    client.Disconnect();
    Check(daemon);
  }
}

TEST_F(ACircuit, SetsTheHangUpTimeOutOnlyWhereItMay) {
  struct Row {
    const char* name;
    long timeout;
    std::string device;
    std::string line;  // the hup-timeout line sent
    std::string answer;
    long result;
  } rows[] = {
      {"a query", 0, "OK isdn0", "hup-timeout 3", "OK 60", 60},
      {"negative: a query", -5, "OK isdn0", "hup-timeout 3", "OK 60", 60},
      {"a set", 120, "OK isdn0", "hup-timeout 3 120", "OK 120", 120},
      {"an empty device may be set", 120, "OK ", "hup-timeout 3 120", "OK 120", 120},
      {"a refused device may be set", 120, "ERR", "hup-timeout 3 120", "OK 120", 120},
      {"a pppoe device is never set", 120, "OK pppoe", "hup-timeout 3", "OK 30", 30},
      {"empty answer", 0, "OK isdn0", "hup-timeout 3", "OK ", 0},
      {"refused", 0, "OK isdn0", "hup-timeout 3", "ERR", 0},
      {"leading number", 0, "OK isdn0", "hup-timeout 3", "OK  -7s", -7},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(
        Exchanges({{"circuits", "OK 3"}, {"device 3", row.device}, {row.line, row.answer}}));
    ConnectTo(daemon);
    EXPECT_EQ(client.GetCircuits().at(2)->HupTimeOut(row.timeout), row.result);
    client.Disconnect();
    Check(daemon);
  }
}

TEST_F(ACircuit, CanSetTheTimeOutUnlessItsDeviceIsPppoe) {
  FakeDaemon daemon(Exchanges({{"circuits", "OK 1"},
                               {"device 1", "OK pppoe"},
                               {"device 1", "OK pppoe0"},
                               {"device 1", "OK PPPoE"}}));
  ConnectTo(daemon);
  Circuit& circuit = *client.GetCircuits().at(0);
  EXPECT_FALSE(circuit.CanSetHupTimeOut());
  EXPECT_TRUE(circuit.CanSetHupTimeOut());
  EXPECT_TRUE(circuit.CanSetHupTimeOut());
  client.Disconnect();
  Check(daemon);
}

}  // namespace
}  // namespace zezar_test
