#include "timeline/TimelineFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <future>

#include "posix/UniqueFd.h"
#include "support/TempDir.h"
#include "timeline/Outages.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using router::Connection;
using timeline::Clock;
using timeline::TimelineEvent;
using timeline::TimelineFile;

TimelineEvent Event(int i_iSecond, router::Connection::Kind i_kind, std::string i_strCause = "") {
  TimelineEvent event;
  event.time = Clock::from_time_t(1'765'000'000) + std::chrono::seconds(i_iSecond);
  event.state = {i_kind,
                 i_kind == router::Connection::Online ? std::vector<std::string>{"1"}
                                                      : std::vector<std::string>{},
                 false};
  event.cause = std::move(i_strCause);
  event.router = "192.0.2.1:5000";
  return event;
}

TEST(AnEventLine, ReadsBackAsItWasWrittenAndRefusesWhatIsNotOurs) {
  TimelineEvent event = Event(61, router::Connection::Online, "dial");
  event.up = {"1"};
  event.state.traffic = true;
  const std::string strLine = timeline::ToJsonLine(event);
  EXPECT_EQ(strLine.find('\n'), std::string::npos);
  EXPECT_EQ(timeline::FromJsonLine(strLine), event);
  EXPECT_EQ(timeline::IsoTime(event.time), "2025-12-06T05:47:41.000Z");

  const std::string valid = strLine;
  const auto replaced = [&](const std::string& i_strFrom, const std::string& i_strTo) {
    std::string strText = valid;
    strText.replace(strText.find(i_strFrom), i_strFrom.size(), i_strTo);
    return strText;
  };
  struct Row {
    const char* name;
    std::string line;
  } rows[] = {
      {"not JSON", "hello"},
      {"cut short", valid.substr(0, valid.size() / 2)},
      {"an array", "[1,2]"},
      {"another program's object", R"({"time":"now","level":"info"})"},
      {"an unknown state", replaced("\"online\"", "\"sleepy\"")},
      {"a time of another form", replaced("2025-12-06T05:47:41.000Z", "2025-12-06 05:47")},
      {"a month past December", replaced("2025-12-06", "2025-13-06")},
      {"channels of numbers", replaced("\"channels\":[\"1\"]", "\"channels\":[1]")},
      {"traffic as text", replaced("\"traffic\":true", "\"traffic\":\"yes\"")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(timeline::FromJsonLine(row.line), std::nullopt);
  }
  // A router name that is not UTF-8 does not stop the line.
  event.router = "r\xE4ume";
  EXPECT_TRUE(timeline::FromJsonLine(timeline::ToJsonLine(event)));

  // Older lines named a cause by its menu title and the PPPoE link "PPPoE".
  const auto older = timeline::FromJsonLine(
      R"({"time":"2026-12-08T09:00:00.000Z","state":"online","channels":["PPPoE","1"],)"
      R"("up":["PPPoE"],"down":[],"traffic":false,"cause":"Add Link","router":"r:5000"})");
  ASSERT_TRUE(older);
  EXPECT_EQ(older->cause, "addlink");
  EXPECT_EQ(older->state.channels, (std::vector<std::string>{"pppoe", "1"}));
  EXPECT_EQ(older->up, (std::vector<std::string>{"pppoe"}));
}

TEST(ATimelineFile, AppendsWholeLinesAndRotatesPastItsBound) {
  TempDir dir;
  const auto path = dir.path() / "state" / "zezar" / "timeline.jsonl";
  const std::size_t line = timeline::ToJsonLine(Event(0, router::Connection::Online)).size() + 1;
  TimelineFile file(path, 3 * line);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(file.Append(Event(i, router::Connection::Online)), std::nullopt);
  EXPECT_TRUE(std::filesystem::exists(path.string() + ".1"));
  EXPECT_LE(std::filesystem::file_size(path), 3 * line);
  EXPECT_EQ(file.Last("192.0.2.1:5000"), Event(4, router::Connection::Online));
  const timeline::TimelineReading reading = timeline::ReadTimeline(path);
  ASSERT_EQ(reading.events.size(), 5u);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(reading.events[static_cast<std::size_t>(i)], Event(i, router::Connection::Online));
  EXPECT_EQ(reading.skipped, 0u);
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST(ATimelineFile, PassesOverWhatIsNotOursAndNeverLosesTheRest) {
  TempDir dir;
  const auto path = dir.path() / "timeline.jsonl";
  // Someone else's lines, a huge one, and a line cut short at the end.
  {
    std::ofstream out(path, std::ios::binary);
    out << timeline::ToJsonLine(Event(0, router::Connection::Online)) << "\n"
        << "not ours\n"
        << std::string(200'000, 'x') << "\n"
        << timeline::ToJsonLine(Event(1, router::Connection::Offline)).substr(0, 30);
  }
  TimelineFile file(path);
  EXPECT_EQ(file.Last("192.0.2.1:5000"), std::nullopt);  // the tail holds only what is not ours
  EXPECT_EQ(file.Append(Event(2, router::Connection::Unreachable)), std::nullopt);
  EXPECT_EQ(file.Last("192.0.2.1:5000"), Event(2, router::Connection::Unreachable));
  const timeline::TimelineReading reading = timeline::ReadTimeline(path);
  EXPECT_EQ(reading.events,
            (std::vector<TimelineEvent>{Event(0, router::Connection::Online),
                                        Event(2, router::Connection::Unreachable)}));
  EXPECT_EQ(reading.skipped, 3u);
}

TEST(ATimelineFile, IsReadLineByLineWhereverItsReadsEndAndUpToItsLongestLine) {
  TempDir dir;
  const auto path = dir.path() / "timeline.jsonl";
  const auto padded = [](int i_iSecond, std::size_t i_uLength) {
    const std::string strLine = timeline::ToJsonLine(Event(i_iSecond, Connection::Online));
    return strLine + std::string(i_uLength - strLine.size(), ' ') + "\n";
  };
  std::vector<TimelineEvent> written;
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 3000; ++i) {  // some 600 kB: lines across every read's end
      written.push_back(Event(i, i % 2 == 0 ? Connection::Online : Connection::Offline));
      out << timeline::ToJsonLine(written.back()) << "\n";
    }
    out << padded(3000, TimelineFile::kLongestLine);  // as long as a line may be
    written.push_back(Event(3000, Connection::Online));
    out << padded(3001, TimelineFile::kLongestLine + 1);  // not ours, however valid
  }
  std::vector<TimelineEvent> read;
  const timeline::TimelineReading reading =
      timeline::ReadTimeline(path, [&](TimelineEvent i_event) { read.push_back(i_event); });
  EXPECT_EQ(reading.problem, std::nullopt);
  EXPECT_EQ(reading.skipped, 1u);
  EXPECT_TRUE(read == written);
}

TEST(ATimelineFile, SaysWhyItCannotWrite) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "locked");
  ::chmod((dir.path() / "locked").c_str(), 0500);
  std::filesystem::create_directories(dir.path() / "a-directory.jsonl");
  struct Row {
    const char* name;
    std::filesystem::path path;
  } rows[] = {
      {"a folder it may not write in", dir.path() / "locked" / "timeline.jsonl"},
      {"a folder where the file should be", dir.path() / "a-directory.jsonl"},
      {"a file where a folder should be", dir.Write("plain", "x") / "timeline.jsonl"},
      {"a device, not a file", "/dev/full"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (geteuid() == 0 && std::string(row.name).find("may not") != std::string::npos) continue;
    const std::optional<std::string> problem =
        TimelineFile(row.path).Append(Event(0, router::Connection::Online));
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find(row.path.parent_path().string()), std::string::npos) << *problem;
  }
}

TEST(ATimelineFile, FindsNoLastWordWhereNoFileIs) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "a-directory.jsonl");
  struct Row {
    const char* name;
    std::filesystem::path path;
  } rows[] = {
      {"no file yet", dir.path() / "absent.jsonl"},
      {"a folder where the file should be", dir.path() / "a-directory.jsonl"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(TimelineFile(row.path).Last("192.0.2.1:5000"), std::nullopt);
  }

  // A pipe nobody writes to: the monitor's start must not wait for a writer.
  const auto fifo = dir.path() / "fifo.jsonl";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto last =
      std::async(std::launch::async, [&] { return TimelineFile(fifo).Last("192.0.2.1:5000"); });
  if (last.wait_for(5s) != std::future_status::ready) {
    ADD_FAILURE() << "Last waits for a writer";
    // The reader is waiting, so this opens at once and lets it go.
    const posix::UniqueFd writer(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  }
  EXPECT_EQ(last.get(), std::nullopt);
}

TEST(ATimelineFile, TellsEachRoutersLastWordApart) {
  TempDir dir;
  TimelineFile file(dir.path() / "timeline.jsonl");
  TimelineEvent other = Event(9, router::Connection::Unreachable);
  other.router = "192.0.2.2:5000";
  file.Append(Event(1, router::Connection::Online));
  file.Append(other);
  EXPECT_EQ(file.Last("192.0.2.1:5000"), Event(1, router::Connection::Online));
  EXPECT_EQ(file.Last("192.0.2.2:5000"), other);
  EXPECT_EQ(file.Last("192.0.2.3:5000"), std::nullopt);
}

TEST(TheOutages, AreTheLinesOwnDropsWhileWatchedSummedPerRouterAndDay) {
  const auto at = [](int i_iSecond, router::Connection::Kind i_kind, std::string i_strCause = "",
                     std::string i_strMonitor = "", std::string i_strRouter = "192.0.2.1:5000") {
    TimelineEvent event = Event(i_iSecond, i_kind, std::move(i_strCause));
    event.monitor = std::move(i_strMonitor);
    event.router = std::move(i_strRouter);
    return event;
  };
  const std::vector<TimelineEvent> events = {
      at(0, router::Connection::Online, "", "start"),
      at(100, router::Connection::Unreachable),                                 // 60 s down
      at(150, router::Connection::Unreachable, "", "start", "192.0.2.2:5000"),  // the other router
      at(160, router::Connection::Online),
      at(200, router::Connection::Offline),  // 300 s down
      at(500, router::Connection::Online),
      at(600, router::Connection::Offline, "hangup"),  // the user's: no outage
      at(700, router::Connection::Online, "dial"),
      at(800, router::Connection::Unreachable),  // 50 s, then the user reboots it
      at(850, router::Connection::Unreachable, "reboot"),
      at(900, router::Connection::Online, "reboot"),
      at(1000, router::Connection::Offline),  // 20 s, then nobody watches
      at(1020, router::Connection::Offline, "", "stop"),
      at(5000, router::Connection::Offline, "", "start"),   // down at the start: 100 s
      at(5100, router::Connection::Offline, "", "asleep"),  // the machine's sleep is no outage
      at(9000, router::Connection::Offline, "", "awake"),   // down on waking: 100 s from there
  };
  const auto days = timeline::SummariseOutages(events, events.back().time + 100s);
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[0].router, "192.0.2.1:5000");
  EXPECT_EQ(days[0].count, 6);
  EXPECT_EQ(days[0].total, 60s + 300s + 50s + 20s + 100s + 100s);
  EXPECT_EQ(days[0].longest, 300s);
  EXPECT_EQ(days[1].router, "192.0.2.2:5000");  // still down at the end
  EXPECT_EQ(days[1].count, 1);
  EXPECT_EQ(days[1].total, 8950s);
}

}  // namespace
}  // namespace zezar_test
