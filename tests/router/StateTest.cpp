// What one look at a router found, and the connection the timeline and notices compare.

#include "router/State.h"

#include <gtest/gtest.h>

namespace zezar_test {
namespace {

using router::Channel;
using router::Connection;
using router::State;

Channel Isdn(bool i_bOnline, router::Traffic i_rate = {}) {
  return {"", Channel::Type::Isdn, i_bOnline, "", i_rate, {}, 100};
}

TEST(AState, TellsItsConditionAndTheConnectionItMakes) {
  struct Row {
    const char* name;
    State state;
    const char* condition;
    Connection connection;
  } rows[] = {
      {"no answer", {}, "unreachable", {Connection::Unreachable, {}, false}},
      {"no channel online",
       {.reachable = true, .channels = {Isdn(false), Isdn(false)}},
       "offline",
       {Connection::Offline, {}, false}},
      {"online, quiet",
       {.reachable = true, .channels = {Isdn(false), Isdn(true)}},
       "online",
       {Connection::Online, {"2"}, false}},
      {"online, busy",
       {.reachable = true, .channels = {Isdn(true, {1, 0}), Isdn(true)}},
       "active",
       {Connection::Online, {"1", "2"}, true}},
      {"rates whose sums wrap to zero are still traffic",
       {.reachable = true, .channels = {Isdn(true, {~uint64_t{0}, 0}), Isdn(true, {1, 0})}},
       "active",
       {Connection::Online, {"1", "2"}, true}},
      {"an offline channel's rate is no traffic",
       {.reachable = true, .channels = {Isdn(false, {5, 5}), Isdn(true)}},
       "online",
       {Connection::Online, {"2"}, false}},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    router::NameChannels(row.state.channels);
    EXPECT_STREQ(router::ConditionName(row.state.condition()), row.condition);
    EXPECT_EQ(Connection::Of(row.state), row.connection);
  }
}

TEST(AState, NamesThePppoeLinkAndNumbersTheChannelsAfterIt) {
  std::vector<Channel> channels = {{.type = Channel::Type::Pppoe}, {}, {}};
  router::NameChannels(channels);
  EXPECT_EQ(channels[0].name, "pppoe");
  EXPECT_EQ(channels[0].Label(), "PPPoE");
  EXPECT_STREQ(channels[0].TypeName(), "pppoe");
  EXPECT_EQ(channels[2].name, "2");
  EXPECT_EQ(channels[2].Label(), "2");
}

TEST(AState, SumsTheOnlineChannelsRatesAndCapacity) {
  const State state{.reachable = true,
                    .channels = {Isdn(true, {10, 1}), Isdn(false, {99, 99}), Isdn(true, {5, 2})}};
  EXPECT_EQ(state.TotalRate(), (router::Traffic{15, 3}));
  EXPECT_DOUBLE_EQ(state.Capacity(), 200);
  EXPECT_EQ(state.Online(), 2);
}

}  // namespace
}  // namespace zezar_test
