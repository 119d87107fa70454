// The status icon and the load sample each drawing takes.

#include "tests/menuextra/ControllerTest.h"

namespace zezar_test {
namespace {

constexpr double kCapacity = 147456.0;  // one channel at the default MaxChannelRate

TEST_F(AController, PicksTheIconAndTheSampleFromTheChannels) {
  struct Row {
    const char* name;
    std::vector<ChannelState> channels;
    std::optional<long> maxChannelRate;
    double pin;
    double pout;
    long count;
    std::string image;
  } rows[] = {
      {"no channels", {}, {}, 0, 0, 0, "offline"},
      {"none online", {{false}, {false}}, {}, 0, 0, 0, "offline"},
      {"half the capacity in", {{true, "a", "73728 0"}, {false}}, {}, 0.5, 0, 1, "onlineactive"},
      {"two online, one busy",
       {{true, "a", "147456 0"}, {true, "b", "0 0"}},
       {},
       0.5,
       0,
       2,
       "onlineactive"},
      {"idle", {{true, "a", "0 0"}, {true, "b", "0 0"}}, {}, 0, 0, 2, "online"},
      {"one byte out is traffic",
       {{true, "a", "0 1"}, {false}},
       {},
       0,
       1 / kCapacity,
       1,
       "onlineactive"},
      {"twice the capacity, not clamped",
       {{true, "a", "294912 0"}, {false}},
       {},
       2.0,
       0,
       1,
       "onlineactive"},
      {"a single-channel router prints no count", {{true, "a", "0 0"}}, {}, 0, 0, 0, "online"},
      {"an unreadable rate still counts its capacity",
       {{true, "a", "147456 0"}, {true, "b", "x"}},
       {},
       0.5,
       0,
       2,
       "onlineactive"},
      {"rates beyond 2^63 stay positive",
       {{true, "a", "18446744073709551615 0"}, {false}},
       {},
       18446744073709551615.0 / kCapacity,
       0,
       1,
       "onlineactive"},
      {"sums that wrap are still traffic",
       {{true, "a", "9223372036854775808 0"}, {true, "b", "9223372036854775808 0"}},
       {},
       0,
       0,
       2,
       "onlineactive"},
      {"the configured capacity",
       {{true, "a", "4096 2048"}, {false}},
       64,
       0.5,
       0.25,
       1,
       "onlineactive"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(FullLogin(row.channels));
    UseDaemon(daemon);
    if (row.maxChannelRate) preferences.Set("MaxChannelRate", *row.maxChannelRate);
    canvas.Clear();
    ASSERT_NE(Load(), nullptr);
    const menubarThingyView& view = *controller->graphView();
    EXPECT_DOUBLE_EQ(view.percentIn(20), row.pin);
    EXPECT_DOUBLE_EQ(view.percentOut(20), row.pout);
    EXPECT_EQ(view.onlineChannels(), row.count);
    EXPECT_EQ(LastImage(), row.image);
    host->Unload();
    preferences.Remove("MaxChannelRate");
    Check(daemon);
  }
}

TEST_F(AController, DrainsTheGraphWhileNotConnected) {
  ASSERT_NE(Load(), nullptr);
  const menubarThingyView& view = *controller->graphView();
  EXPECT_EQ(view.percentIn(20), 0.0);
  EXPECT_EQ(view.onlineChannels(), 0);
  EXPECT_EQ(LastImage(), "noconnect");
  controller->image();  // one more sample, no traffic to anybody
  EXPECT_EQ(view.percentIn(19), 0.0);
}

}  // namespace
}  // namespace zezar_test
