// zezarctl timeline: the monitor's record read back, filtered, and summed into outages.

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "CtlProcess.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

std::string Line(const char* i_pTime, const char* i_pState, const char* i_pChannels,
                 const char* i_pCause = "") {
  return std::string(R"({"time":")") + i_pTime + R"(","state":")" + i_pState + R"(","channels":)" +
         i_pChannels + R"(,"up":[],"down":[],"traffic":false,"cause":")" + i_pCause +
         R"(","router":"192.0.2.1:5000"})" + "\n";
}

class ATimelineReport : public ::testing::Test {
 protected:
  void SetUp() override {
    file = dir.Write("timeline.jsonl",
                     Line("2026-12-07T23:00:00.000Z", "online", R"(["1"])") +
                         Line("2026-12-07T23:30:00.000Z", "unreachable", "[]") +  // 10 min
                         Line("2026-12-07T23:40:00.000Z", "online", R"(["1","2"])") +
                         "not a line of ours\n" +
                         Line("2026-12-08T08:00:00.000Z", "offline", "[]") +  // 100 s
                         Line("2026-12-08T08:01:40.000Z", "online", R"(["1"])") +
                         Line("2026-12-08T09:00:00.000Z", "offline", "[]", "Hang up") +
                         R"({"time":"2026-12-08T10:00:00.000Z","state":"onl)");  // cut short
  }
  CtlResult Run(std::vector<std::string> i_arguments) {
    i_arguments.insert(i_arguments.begin(), {"timeline", "--file", file.string()});
    return RunCtl(i_arguments, {{"TZ", "UTC"}});
  }

  TempDir dir;
  std::filesystem::path file;
};

TEST_F(ATimelineReport, ListsTheEventsAndSumsTheLinesOwnOutagesPerDay) {
  const CtlResult result = Run({});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out,
            "2026-12-07 23:00:00  online       channel 1\n"
            "2026-12-07 23:30:00  unreachable\n"
            "2026-12-07 23:40:00  online       channels 1, 2\n"
            "2026-12-08 08:00:00  offline\n"
            "2026-12-08 08:01:40  online       channel 1\n"
            "2026-12-08 09:00:00  offline  (Hang up from the menu)\n"
            "\n"
            "outages, the line's own (not a command from the menu):\n"
            "2026-12-07  1 outage, 10 min 0 s in all, the longest 10 min 0 s\n"
            "2026-12-08  1 outage, 1 min 40 s in all, the longest 1 min 40 s\n"
            "2 lines not the monitor's, skipped\n");
}

TEST_F(ATimelineReport, TakesASinceAndSpeaksJson) {
  const CtlResult result = Run({"--since", "2026-12-08", "--json"});
  ASSERT_EQ(result.code, 0) << result.err;
  const nlohmann::json json = nlohmann::json::parse(result.out);
  EXPECT_EQ(json["events"].size(), 3u);
  EXPECT_EQ(json["events"][2]["cause"], "hangup");  // an older line's title, by its name
  EXPECT_EQ(
      json["outages"],
      nlohmann::json::parse(
          R"([{"router":"192.0.2.1:5000","date":"2026-12-08","count":1,"total_seconds":100,"longest_seconds":100}])"));
  EXPECT_EQ(json["skipped"], 2);
  // A span back from now, here longer than the whole record.
  EXPECT_NE(Run({"--since", "99999d"}).out.find("2026-12-07 23:00:00"), std::string::npos);
}

TEST(ATimelineReportOfTwoRouters, NamesEachLinesRouterAndMarksTheMonitorsComingAndGoing) {
  TempDir dir;
  std::string other = Line("2026-12-08T10:00:00.000Z", "unreachable", "[]");
  other.replace(other.find("192.0.2.1"), 9, "192.0.2.2");
  std::string stop = Line("2026-12-08T11:00:00.000Z", "online", R"(["1"])");
  stop.replace(stop.find('}'), 1, R"(,"monitor":"stop"})");
  const auto file = dir.Write(
      "timeline.jsonl", Line("2026-12-08T09:00:00.000Z", "online", R"(["1"])") + other + stop);
  const CtlResult result = RunCtl({"timeline", "--file", file.string()}, {{"TZ", "UTC"}});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_NE(result.out.find("2026-12-08 10:00:00  192.0.2.2:5000  unreachable"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("2026-12-08 11:00:00  192.0.2.1:5000  the monitor stopped"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("2026-12-08  192.0.2.2:5000  1 outage"), std::string::npos)
      << result.out;
}

TEST(ATimelineReportOfAnyonesFile, ShowsItsTextOnlyAsPrintableCharacters) {
  TempDir dir;
  const auto file = dir.Write(
      "timeline.jsonl", Line("2026-12-08T09:00:00.000Z", "offline", "[]", R"(\u001b]0;T\u0007)"));
  const CtlResult result = RunCtl({"timeline", "--file", file.string()}, {{"TZ", "UTC"}});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_NE(result.out.find("offline  (\xEF\xBF\xBD]0;T\xEF\xBF\xBD from the menu)\n"),
            std::string::npos)
      << result.out;
}

TEST_F(ATimelineReport, SaysWhatItCannotTake) {
  struct Row {
    const char* name;
    std::vector<std::string> arguments;
    int code;
    std::string said;
  } rows[] = {
      {"a since of no known form", {"--since", "yesterday"}, 2, "not a day, time or span"},
      {"a thirteenth month", {"--since", "2026-13-01"}, 2, "not a day, time or span"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CtlResult result = Run(row.arguments);
    EXPECT_EQ(result.code, row.code);
    EXPECT_NE((result.out + result.err).find(row.said), std::string::npos)
        << result.out << result.err;
  }
  const CtlResult none = RunCtl({"timeline", "--file", (dir.path() / "absent").string()});
  EXPECT_EQ(none.code, 0) << none.err;
  EXPECT_NE(none.out.find("no events"), std::string::npos);
  const CtlResult folder = RunCtl({"timeline", "--file", dir.path().string()});
  EXPECT_EQ(folder.code, 1);
  EXPECT_NE(folder.err.find("not a file"), std::string::npos) << folder.err;
}

// The largest resident size of any child this process has waited for, in KiB.
long LargestChildKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss;
}

TEST(ATimelineReportOfAHugeFile, KeepsOnlyTheEventsItReportsAndNoLongLine) {
  // Under AddressSanitizer freed memory waits in a quarantine, which would count as held.
  const char* pAsan = std::getenv("ASAN_OPTIONS");
  const std::map<std::string, std::string> environment = {
      {"TZ", "UTC"},
      {"ASAN_OPTIONS", std::string(pAsan != nullptr ? pAsan : "") + ":quarantine_size_mb=0"}};
  TempDir dir;
  const auto small = dir.Write("small.jsonl", Line("2026-12-08T09:00:00.000Z", "offline", "[]"));
  ASSERT_EQ(RunCtl({"timeline", "--file", small.string()}, environment).code, 0);
  const long baselineKiB = LargestChildKiB();

  // 16 MB of events before --since (a long router name makes them quick to read), then
  // 256 MiB without a line feed (a hole: no disk, no time), then the one event reported.
  const auto huge = dir.path() / "huge.jsonl";
  {
    std::ofstream out(huge, std::ios::binary);
    std::string strOld = Line("2026-12-07T09:00:00.000Z", "online", R"(["1"])");
    strOld.insert(strOld.find(":5000"), 4000, 'x');
    for (int i = 0; i < 4000; ++i) out << strOld;
  }
  std::filesystem::resize_file(huge, std::filesystem::file_size(huge) + (256 << 20));
  std::ofstream(huge, std::ios::binary | std::ios::app)
      << "\n"
      << Line("2026-12-08T09:00:00.000Z", "online", R"(["2"])");

  const CtlResult result =
      RunCtl({"timeline", "--file", huge.string(), "--since", "2026-12-08"}, environment);
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out,
            "2026-12-08 09:00:00  online       channel 2\n"
            "1 line not the monitor's, skipped\n");
  EXPECT_LT(LargestChildKiB() - baselineKiB, 8 << 10) << "KiB more than for a small file";
}

}  // namespace
}  // namespace zezar_test
