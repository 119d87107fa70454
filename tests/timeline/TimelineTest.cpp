#include "timeline/Timeline.h"

#include <gtest/gtest.h>

#include "router/Commands.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using router::Connection;
using timeline::Clock;
using timeline::Timeline;

const Clock::time_point kStart = Clock::from_time_t(1'765'000'000);

router::Connection Online(std::vector<std::string> i_channels, bool i_bTraffic = false) {
  return {router::Connection::Online, std::move(i_channels), i_bTraffic};
}
const router::Connection kOffline{router::Connection::Offline, {}, false};
const router::Connection kUnreachable{router::Connection::Unreachable, {}, false};

// One poll, or a command chosen from the menu, at a second of the story.
struct Step {
  int second;
  std::string command;  // the command's name, "" for a poll
  router::Connection state;
};

// The causes of the events the polls make, in order.
std::vector<std::string> Causes(const std::vector<Step>& i_steps) {
  Timeline timeline("192.0.2.1:5000");
  std::vector<std::string> causes;
  for (const Step& step : i_steps) {
    const Clock::time_point at = kStart + std::chrono::seconds(step.second);
    if (!step.command.empty()) {
      timeline.CommandChosen(*router::FindCommand(step.command), at);
    } else if (const auto event = timeline.Observe(step.state, at)) {
      causes.push_back(event->cause.empty() ? "router" : event->cause);
    }
  }
  return causes;
}

TEST(ATimeline, TellsTheUsersChangesFromTheRoutersOwn) {
  struct Row {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> causes;
  } rows[] = {
      {"a hang-up from the menu, then a drop of the line",
       {{0, "", Online({"1"})},
        {1, "hangup", {}},
        {2, "", kOffline},
        {10, "", Online({"1"})},
        {20, "", kOffline}},
       {"router", "hangup", "router", "router"}},
      {"a dial brings channels up; a drop meanwhile is the router's",
       {{0, "", kOffline},
        {1, "dial", {}},
        {2, "", kUnreachable},
        {4, "", kOffline},
        {6, "", Online({"1"})}},
       {"router", "router", "router", "dial"}},
      {"a reboot owns the drop and the return",
       {{0, "", Online({"1", "2"})},
        {5, "reboot", {}},
        {6, "", kUnreachable},
        {90, "", Online({"1"})},
        {200, "", kUnreachable}},
       {"router", "reboot", "reboot", "router"}},
      {"a claim lasts a minute",
       {{0, "", Online({"1"})}, {1, "hangup", {}}, {70, "", kOffline}},
       {"router", "router"}},
      {"links come and go on their own channels",
       {{0, "", Online({"1"})},
        {1, "addlink", {}},
        {2, "", Online({"1", "2"})},
        {3, "removelink", {}},
        {4, "", Online({"1"})}},
       {"router", "addlink", "removelink"}},
      {"traffic alone is no change",
       {{0, "", Online({"1"})}, {2, "", Online({"1"}, true)}},
       {"router"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Causes(row.steps), row.causes);
  }
}

TEST(ATimeline, RecordsWhichChannelsCameAndWent) {
  Timeline timeline("r");
  ASSERT_TRUE(timeline.Observe(Online({"1"}), kStart));
  const auto event = timeline.Observe(Online({"PPPoE", "2"}), kStart + 2s);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->up, (std::vector<std::string>{"PPPoE", "2"}));
  EXPECT_EQ(event->down, (std::vector<std::string>{"1"}));
  EXPECT_EQ(event->router, "r");
  EXPECT_EQ(timeline.Current(), event);
}

TEST(ATimeline, MarksTheStartAndTheStopOfTheMonitor) {
  Timeline timeline("r");
  EXPECT_EQ(timeline.Stop(kStart), std::nullopt);  // nothing seen, nothing to close
  const auto first = timeline.Observe(Online({"1"}), kStart);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->monitor, "start");
  EXPECT_EQ(timeline.Observe(kOffline, kStart + 2s)->monitor, "");
  const auto stop = timeline.Stop(kStart + 5s);
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->monitor, "stop");
  EXPECT_EQ(stop->state, kOffline);
  EXPECT_EQ(stop->time, kStart + 5s);

  // After a stop the file's last word is not taken for the state now: nobody watched since.
  Timeline again("r");
  again.Restore(*stop);
  const auto restart = again.Observe(kOffline, kStart + 3600s);
  ASSERT_TRUE(restart);
  EXPECT_EQ(restart->monitor, "start");
  EXPECT_EQ(again.Since(), std::nullopt);
}

TEST(ATimeline, KnowsSinceWhenTheStateHolds) {
  timeline::TimelineEvent last;
  last.time = kStart - 3600s;
  last.state = Online({"1"});
  last.router = "r";
  struct Row {
    const char* name;
    std::optional<std::string> restoredRouter;
    router::Connection first;
    std::optional<Clock::time_point> since;
    bool event;
  } rows[] = {
      {"nothing to go by", std::nullopt, Online({"1"}), std::nullopt, true},
      {"the file's last state still holds", "r", Online({"1"}), kStart - 3600s, false},
      {"it changed while the monitor was away", "r", kOffline, std::nullopt, true},
      {"the file speaks of another router", "other", Online({"1"}), std::nullopt, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Timeline timeline("r");
    if (row.restoredRouter) {
      last.router = *row.restoredRouter;
      timeline.Restore(last);
    }
    EXPECT_EQ(timeline.Observe(row.first, kStart).has_value(), row.event);
    EXPECT_EQ(timeline.Since(), row.since);
    timeline.Observe(kUnreachable, kStart + 4s);
    EXPECT_EQ(timeline.Since(), kStart + 4s);
    EXPECT_EQ(timeline.Current()->state, kUnreachable);
  }
}

}  // namespace
}  // namespace zezar_test
