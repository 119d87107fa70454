#include "hosts/TimelineRecorder.h"

#include <gtest/gtest.h>

#include "hosts/Log.h"
#include "support/TempDir.h"
#include "timeline/TimelineFile.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using router::Connection;
using zezar::TimelineRecorder;

TEST(TheRecorder, SaysSinceWhenInTheStatusLine) {
  const auto now = TimelineRecorder::Clock::now();
  TimelineRecorder recorder("r", std::nullopt);
  EXPECT_EQ(recorder.StatusLine(now), "No connection to the router");
  recorder.Observe({router::Connection::Online, {"1", "2"}, false}, now - 2h);
  EXPECT_EQ(recorder.StatusLine(now), "Online on 2 channels");  // since before the monitor
  recorder.Observe({router::Connection::Offline, {}, false}, now - 1h);
  EXPECT_EQ(recorder.StatusLine(now).rfind("Offline since ", 0), 0u);
  recorder.Observe({router::Connection::Online, {"1"}, true}, now);
  const std::string line = recorder.StatusLine(now);
  EXPECT_EQ(line.rfind("Online since ", 0), 0u) << line;
  EXPECT_EQ(line.substr(line.size() - 13), " on 1 channel") << line;
  EXPECT_EQ(line.size(), std::string("Online since 09:41 on 1 channel").size()) << line;  // today
}

TEST(TheRecorder, PicksUpTheStoryFromTheFileAndLogsItsProblemsOnce) {
  TempDir dir;
  const auto path = dir.path() / "timeline.jsonl";
  const auto start = TimelineRecorder::Clock::now();
  {
    TimelineRecorder recorder("r", path);
    recorder.Observe({router::Connection::Online, {"1"}, false}, start - 3h);
  }
  TimelineRecorder again("r", path);
  EXPECT_FALSE(again.Observe({router::Connection::Online, {"1"}, false}, start));  // nothing new
  EXPECT_EQ(again.timeline().Since(),
            std::chrono::time_point_cast<std::chrono::milliseconds>(start - 3h));

  std::vector<std::string> logged;
  zezar::SetLogSink([&](const std::string& i_strLine) { logged.push_back(i_strLine); });
  TimelineRecorder stuck("r", dir.Write("a-file", "x") / "timeline.jsonl");
  for (int i = 0; i < 4; ++i)
    stuck.Observe(
        {i % 2 == 0 ? router::Connection::Offline : router::Connection::Unreachable, {}, false},
        start);
  zezar::SetLogSink(nullptr);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].rfind("timeline: ", 0), 0u) << logged[0];
  // The story goes on without its file.
  ASSERT_TRUE(stuck.timeline().Current());
  EXPECT_EQ(stuck.timeline().Current()->state.kind, router::Connection::Unreachable);
}

}  // namespace
}  // namespace zezar_test
