#include "hosts/tray/NotificationPolicy.h"

#include <gtest/gtest.h>

#include "timeline/Timeline.h"

namespace zezar_test {
namespace {

using router::Connection;

router::Connection Online(std::vector<std::string> i_channels) {
  return {router::Connection::Online, std::move(i_channels), false};
}
const router::Connection kOffline{router::Connection::Offline, {}, false};
const router::Connection kUnreachable{router::Connection::Unreachable, {}, false};

// One poll a second; a command chosen from the menu just before a poll.
struct Poll {
  router::Connection state;
  std::string command = "";
};

// The summaries told over a run of polls, the timeline deciding the causes as the monitor's does.
std::vector<std::string> Told(const std::vector<Poll>& i_polls) {
  timeline::Timeline story("r");
  zezar::NotificationPolicy policy;
  std::vector<std::string> told;
  timeline::Clock::time_point now = timeline::Clock::from_time_t(1'765'000'000);
  for (const Poll& poll : i_polls) {
    now += std::chrono::seconds(1);
    if (!poll.command.empty()) story.CommandChosen(*router::FindCommand(poll.command), now);
    const auto event = story.Observe(poll.state, now);
    if (const auto notice = policy.Observe(poll.state, event))
      told.push_back(notice->summary + " / " + notice->body);
  }
  return told;
}

TEST(TheNotifications, TellWhatHeldForTwoPollsAndWasNotTheUsersDoing) {
  struct Row {
    const char* name;
    std::vector<Poll> polls;
    std::vector<std::string> told;
  } rows[] = {
      {"the state at start is no news", {{Online({"1"})}, {Online({"1"})}}, {}},
      {"the line drops and comes back",
       {{Online({"1"})},
        {kUnreachable},
        {kUnreachable},
        {kUnreachable},
        {Online({"1"})},
        {Online({"1"})}},
       {"Router unreachable / No answer from the router", "Back online / Online on 1 channel"}},
      {"a flap of one poll is not told",
       {{Online({"1"})}, {kUnreachable}, {Online({"1"})}, {Online({"1"})}},
       {}},
      {"a hang-up from the menu is not told, a drop afterwards is",
       {{Online({"1"})},
        {kOffline, "hangup"},
        {kOffline},
        {kOffline},
        {kUnreachable},
        {kUnreachable}},
       {"Router unreachable / No answer from the router"}},
      {"a reboot from the menu is not told, neither its drop nor its return",
       {{Online({"1", "2"})},
        {kUnreachable, "reboot"},
        {kUnreachable},
        {Online({"1"})},
        {Online({"1"})}},
       {}},
      {"channels come and go",
       {{Online({"1"})},
        {Online({"1", "2"})},
        {Online({"1", "2"})},
        {Online({"2", "PPPoE"})},
        {Online({"2", "PPPoE"})},
        {kOffline},
        {kOffline}},
       {"Channel 2 online / Online on 2 channels",
        "Channel PPPoE online, channel 1 offline / Online on 2 channels",
        "Channels 2, PPPoE offline / No channel online"}},
      {"back, but offline",
       {{kOffline}, {kUnreachable}, {kUnreachable}, {kOffline}, {kOffline}},
       {"Router unreachable / No answer from the router",
        "Router reachable again / No channel online"}},
      {"a change that does not hold is judged anew",
       {{Online({"1"})}, {kOffline}, {kUnreachable}, {kUnreachable}},
       {"Router unreachable / No answer from the router"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Told(row.polls), row.told);
  }
}

}  // namespace
}  // namespace zezar_test
