// The channel list, its cache, and every per-channel query.

#include "ClientTest.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using Channel = Zastra::Channel;

using TheChannelList = ClientTest;

TEST_F(TheChannelList, PutsThePppoeLinkFirst) {
  FakeDaemon daemon(
      Exchanges({{"channels", "OK 2"}, {"pppoe", "OK 1"}, {"status pppoe", "OK Online"}}));
  ConnectTo(daemon);
  const std::vector<Channel*>& channels = client.GetChannels();
  ASSERT_EQ(channels.size(), 3u);
  EXPECT_EQ(channels[0]->Type(), Channel::PPPoE);
  EXPECT_EQ(channels[1]->Type(), Channel::ISDN);
  EXPECT_EQ(channels[2]->Type(), Channel::ISDN);
  EXPECT_EQ(channels[0]->Status(), Channel::Online);
  client.Disconnect();
  EXPECT_TRUE(channels.empty());
  Check(daemon);
}

TEST_F(TheChannelList, CountsOnlyWhatTheAnswersSay) {
  struct Row {
    std::string channels;
    std::string pppoe;
    std::size_t size;
  } rows[] = {
      {"OK 2", "OK 0", 2},           {"OK 4", "OK 2", 4},       {"OK +3", "OK ", 3},
      {"OK  1", "ERR", 1},           {"OK 3 lines", "OK x", 3}, {"OK 255", "OK 0", 255},
      {"OK 0", "OK 1", 1},           {"OK -2", "OK 01", 1},     {"OK x", "OK  1", 1},
      {"ERR", "OK 1 yes", 1},        {"OK 256", "OK 1", 1},     {"OK 2000000000", "OK 1", 1},
      {"OK 99999999999", "OK 1", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.channels + " / " + row.pppoe);
    FakeDaemon daemon(Exchanges({{"channels", row.channels}, {"pppoe", row.pppoe}}));
    ConnectTo(daemon);
    EXPECT_EQ(client.GetChannels().size(), row.size);
    client.Disconnect();
    Check(daemon);
  }
}

TEST_F(TheChannelList, IsBuiltOncePerConnection) {
  FakeDaemon daemon({Exchanges({{"channels", "OK 2"}, {"pppoe", "OK 0"}}),
                     Exchanges({{"channels", "OK 1"}, {"pppoe", "OK 0"}})});
  ConnectTo(daemon);
  const std::vector<Channel*> first = client.GetChannels();
  EXPECT_EQ(client.GetChannels(), first);  // asks nothing, same objects
  client.Disconnect();
  EXPECT_TRUE(client.GetChannels().empty());  // not connected: asks nothing
  ConnectTo(daemon);
  EXPECT_EQ(client.GetChannels().size(), 1u);
  client.Disconnect();
  Check(daemon);
}

TEST_F(TheChannelList, IsAskedForAgainWhileEmpty) {
  FakeDaemon daemon(
      Exchanges({{"channels", "OK 0"}, {"pppoe", "OK 0"}, {"channels", "ERR"}, {"pppoe", "ERR"}}));
  ConnectTo(daemon);
  EXPECT_TRUE(client.GetChannels().empty());
  EXPECT_TRUE(client.GetChannels().empty());
  client.Disconnect();
  Check(daemon);
}

TEST_F(TheChannelList, OutlivesATimeOut) {
  FakeDaemon daemon({Exchanges({{"channels", "OK 2"}, {"pppoe", "OK 0"}}) +
                         Script{Expect("status 1\r\n"), Stall(1500ms)},
                     Exchanges({{"status 2", "OK Online"}})});
  ConnectTo(daemon);
  const std::vector<Channel*> first = client.GetChannels();
  EXPECT_EQ(first[0]->Status(), Channel::Offline);
  EXPECT_FALSE(client.IsConnected());
  ConnectTo(daemon);
  EXPECT_EQ(client.GetChannels(), first);
  EXPECT_EQ(first[1]->Status(), Channel::Online);
  client.Disconnect();
  Check(daemon);
}

// A client connected to a router with channels "1" and "2", for the query tests.
class AChannel : public ClientTest {
 protected:
  Channel& Second(FakeDaemon& io_daemon) {
    ConnectTo(io_daemon);
    return *client.GetChannels().at(1);
  }
  static Script TwoChannels() { return Exchanges({{"channels", "OK 2"}, {"pppoe", "OK 0"}}); }
};

TEST_F(AChannel, AsksEachQueryByItsOwnLine) {
  FakeDaemon daemon(TwoChannels() + Exchanges({{"ip 2", "OK 10.0.0.2"},
                                               {"phone 2", "OK 0301234"},
                                               {"inout 2", "OK out"},
                                               {"online-time 2", "OK 00:10:00"},
                                               {"time 2", "OK 12:00"},
                                               {"chargetime 2", "OK 60"},
                                               {"charge 2", "OK 1,20"},
                                               {"ip 2", "ERR"}}));
  Channel& channel = Second(daemon);
  EXPECT_EQ(channel.IP(), "10.0.0.2");
  EXPECT_EQ(channel.Phone(), "0301234");
  EXPECT_EQ(channel.InOut(), "out");
  EXPECT_EQ(channel.OnlineTime(), "00:10:00");
  EXPECT_EQ(channel.Time(), "12:00");
  EXPECT_EQ(channel.ChargeTime(), "60");
  EXPECT_EQ(channel.Charge(), "1,20");
  EXPECT_EQ(channel.IP(), "");
  client.Disconnect();
  Check(daemon);
}

TEST_F(AChannel, IsOnlineOnlyForTheExactWord) {
  struct Row {
    std::string answer;
    Channel::Status_t status;
  } rows[] = {{"OK Online", Channel::Online},   {"OK online", Channel::Offline},
              {"OK  Online", Channel::Offline}, {"OK Online ", Channel::Offline},
              {"OK Offline", Channel::Offline}, {"OK ", Channel::Offline},
              {"ERR Online", Channel::Offline}};
  AnswerEach(
      "status 2", rows,
      [&](const Row& row) { EXPECT_EQ(client.GetChannels().at(1)->Status(), row.status); },
      TwoChannels());
}

TEST_F(AChannel, ReadsTheRateFigureByFigure) {
  struct Row {
    std::string answer;
    uint64_t in;
    uint64_t out;
  } rows[] = {
      {"OK 1200 340", 1200, 340},
      {"OK 1200", 1200, 0},
      {"OK  7\t8", 7, 8},
      {"OK 5x 6", 5, 0},
      {"OK x 6", 0, 0},
      {"OK -5 3", 0, 0},
      {"OK 18446744073709551615 1", 18446744073709551615u, 1},
      {"OK 18446744073709551616 1", 0, 0},
      {"OK ", 0, 0},
      {"ERR 1 2", 0, 0},
  };
  AnswerEach(
      "rate 2", rows,
      [&](const Row& row) {
        const Channel::Traffic_t rate = client.GetChannels().at(1)->Rate();
        EXPECT_EQ(rate.in, row.in);
        EXPECT_EQ(rate.out, row.out);
      },
      TwoChannels());
}

TEST_F(AChannel, ReadsTheQuantityByProtocol) {
  constexpr uint64_t k2To32 = uint64_t{1} << 32;
  struct Row {
    const char* name;
    std::string version;
    std::string answer;
    uint64_t in;
    uint64_t out;
  } rows[] = {
      {"newer: counters and wraps", "OK 11 2.0", "OK 1 5 0 7", k2To32 + 5, 7},
      {"newer: two figures only", "OK 11 2.0", "OK 1 5", k2To32 + 5, 0},
      {"newer: wraps modulo 2^64", "OK 12 2.0", "OK 4294967296 3 4294967297 0", 3, k2To32},
      {"older: two figures", "OK 10 1.0", "OK 5 7", 5, 7},
      {"older: four figures, two used", "OK 10 1.0", "OK 1 5 0 7", 1, 5},
      {"refused", "OK 11 2.0", "ERR", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Zastra fresh;
    // A fresh client asks for the version after the quantity.
    FakeDaemon daemon(TwoChannels() +
                      Exchanges({{"quantity 2", row.answer}, {"version", row.version}}));
    fresh.Connect("127.0.0.1", daemon.Port());
    const Channel::Traffic_t quantity = fresh.GetChannels().at(1)->Quantity();
    EXPECT_EQ(quantity.in, row.in);
    EXPECT_EQ(quantity.out, row.out);
    fresh.Disconnect();
    Check(daemon);
  }
}

TEST_F(AChannel, AnswersNothingOnceTheClientIsDisconnected) {
  FakeDaemon daemon(TwoChannels() + Script{Expect("status 1\r\n"), Close()});
  ConnectTo(daemon);
  Channel& first = *client.GetChannels().at(0);
  EXPECT_EQ(first.Status(), Channel::Offline);  // the router closed: a lost connection
  EXPECT_EQ(first.IP(), "");
  EXPECT_EQ(first.Rate().in, 0u);
  EXPECT_EQ(first.Type(), Channel::ISDN);
  Check(daemon);
}

}  // namespace
}  // namespace zezar_test
