// The status icon and the load sample each drawing takes.

#include <map>

#include "ControllerTest.h"

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
    ASSERT_NE(Load(), nullptr);
    EXPECT_EQ(PrintedCount(), row.count > 0 ? std::to_string(row.count) : "");
    EXPECT_EQ(LastImage(), row.image);
    // The same sample, for a host's words: every online channel counts, even a lone one.
    const router::State& sample = controller->lastSample();
    EXPECT_EQ(router::ConditionName(sample.condition()),
              std::string(row.image == "onlineactive" ? "active" : row.image));
    std::vector<std::string> names;
    for (std::size_t i = 0; i < row.channels.size(); ++i)
      if (row.channels[i].online && row.image != "offline") names.push_back(std::to_string(i + 1));
    EXPECT_EQ(router::Connection::Of(sample).channels, names);
    const double capacity = row.maxChannelRate ? 128.0 * static_cast<double>(*row.maxChannelRate)
                                               : 147456.0;  // 1152 kibibits per second
    EXPECT_DOUBLE_EQ(sample.Capacity(), static_cast<double>(names.size()) * capacity);
    if (sample.Capacity() > 0) {
      EXPECT_DOUBLE_EQ(static_cast<double>(sample.TotalRate().in) / sample.Capacity(), row.pin);
      EXPECT_DOUBLE_EQ(static_cast<double>(sample.TotalRate().out) / sample.Capacity(), row.pout);
    }
    host->Unload();
    preferences.Remove("MaxChannelRate");
    Check(daemon);
  }
}

TEST_F(AController, NamesThePppoeLinkAndTheNumberedChannelsAfterIt) {
  FakeDaemon daemon(AdminLogin() + Exchanges({{"channels", "OK 2"}, {"pppoe", "OK 1"}}) +
                    Permissions(false, false, false, false) +
                    Exchanges({{"status pppoe", "OK Online"},
                               {"ip pppoe", "OK 192.0.2.1"},
                               {"status 1", "OK Offline"},
                               {"status 2", "OK Online"},
                               {"ip 2", "OK 10.0.0.2"},
                               {"status pppoe", "OK Online"},
                               {"rate pppoe", "OK 0 0"},
                               {"status 1", "OK Offline"},
                               {"status 2", "OK Online"},
                               {"rate 2", "OK 0 0"}}));
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  const router::State& sample = controller->lastSample();
  EXPECT_EQ(router::Connection::Of(sample).channels, (std::vector<std::string>{"pppoe", "2"}));
  ASSERT_EQ(sample.channels.size(), 3u);
  EXPECT_EQ(sample.channels[0].Label(), "PPPoE");
  EXPECT_EQ(sample.channels[1].name, "1");
  Check(daemon);
}

TEST_F(AController, DrainsTheGraphWhenTheTrafficStops) {
  const std::vector<ChannelState> busy = {{true, "10.0.0.1", "147456 73728"}, {false}};
  const std::vector<ChannelState> offline = {{false}, {false}};
  RefusingPort refusing;
  struct Row {
    const char* name;
    Script after;             // on the same connection, after three busy ticks
    bool refuseReconnection;  // the router is gone for good
  } rows[] = {
      {"the router goes away", Script{Expect("status 1\r\n"), Close()}, true},
      {"every channel goes offline",
       [&] {
         Script script;
         for (int i = 0; i < menubarThingyView::kSamples; ++i) script = script + Tick(offline);
         return script;
       }(),
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(FullLogin(busy) + Tick(busy) + Tick(busy) + Tick(busy) + row.after);
    UseDaemon(daemon);
    ASSERT_NE(Load(), nullptr);
    for (int i = 0; i < 3; ++i) NextTick();
    // Full in, half out: the newest bar reaches 18 units above the baseline, 9 more for out.
    ASSERT_EQ(BarTops().back(), 20.0);
    ASSERT_EQ(BarTops(true).back(), 29.0);
    if (row.refuseReconnection) preferences.Set("RouterPort", static_cast<long>(refusing.Port()));
    for (int i = 0; i < menubarThingyView::kSamples; ++i) NextTick();
    EXPECT_EQ(BarTops(), std::vector<double>(menubarThingyView::kBars, 2.0));
    EXPECT_EQ(BarTops(true), std::vector<double>(menubarThingyView::kBars, 2.0));
    host->Unload();
    Check(daemon);
  }
}

TEST_F(AController, DrawsEveryFrameAfreshInThePanelsTextColour) {
  const RGBA white{1, 1, 1, 1};
  const RGBA black{0, 0, 0, 1};
  const std::vector<ChannelState> busy = {{true, "10.0.0.1", "147456 73728"},
                                          {true, "10.0.0.2", "147456 0"}};
  const std::vector<ChannelState> offline = {{false}, {false}};
  Script script = FullLogin(busy) + Tick(busy) + Tick(busy) + Tick(busy);
  for (int i = 0; i < menubarThingyView::kSamples; ++i) script = script + Tick(offline);
  FakeDaemon daemon(script);
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  for (int i = 0; i < 3; ++i) NextTick();

  // The count "2" over full bars: where the text colour matters, it is the panel's, never the
  // green of the bars drawn last time.
  const drawing::Pixmap onWhite = host->Render(4, white);
  const drawing::Pixmap onBlack = host->Render(4, black);
  int text = 0;
  for (int y = 0; y < onWhite.height; ++y) {
    for (int x = 0; x < onWhite.width; ++x) {
      if (onWhite.At(x, y) == onBlack.At(x, y)) continue;  // not the count
      EXPECT_NE(onWhite.At(x, y), 0xFF00FF00u) << x << "," << y;
      if (onWhite.At(x, y) == 0xFFFFFFFFu) ++text;
    }
  }
  EXPECT_GT(text, 50);

  for (int i = 0; i < menubarThingyView::kSamples; ++i) NextTick();
  const drawing::Pixmap drained = host->Render(2, white);
  host->Unload();
  Check(daemon);

  FakeDaemon fresh(FullLogin(offline));
  UseDaemon(fresh);
  ASSERT_NE(Load(), nullptr);
  EXPECT_EQ(LastImage(), "offline");
  EXPECT_EQ(drained, host->Render(2, white));  // nothing of the busy frames shows through
  Check(fresh);
}

}  // namespace
}  // namespace zezar_test
