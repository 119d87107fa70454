#pragma once

// The timeline on disk: $XDG_STATE_HOME/zezar/timeline.jsonl, one event per line. Each line
// goes out with one write on a descriptor opened for appending, so a line is whole or absent;
// a line left cut short (a full disk, a crash) stays apart from the next. The file is bounded:
// past its size it becomes timeline.jsonl.1 (replacing the older one) and a new one starts.
// Nothing here throws; problems come back as text.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "timeline/TimelineEvent.h"

namespace timeline {

class TimelineFile {
 public:
  static constexpr std::uintmax_t kMaxBytes = 1 << 20;   // then it rotates
  static constexpr std::size_t kTailBytes = 64 << 10;    // read for the last event
  static constexpr std::size_t kLongestLine = 64 << 10;  // bytes; a longer line is not ours

  // $XDG_STATE_HOME/zezar/timeline.jsonl, else ~/.local/state/zezar/timeline.jsonl; empty
  // without either variable.
  static std::filesystem::path DefaultPath();

  explicit TimelineFile(std::filesystem::path i_path, std::uintmax_t i_maxBytes = kMaxBytes)
      : m_path(std::move(i_path)), m_maxBytes(i_maxBytes) {}

  // Appends the event as one line; the problem when it cannot (a full disk, no permission).
  std::optional<std::string> Append(const TimelineEvent& i_event);
  // The last event on this router in the file's tail; lines that are not ours, and another
  // router's, are passed over.
  std::optional<TimelineEvent> Last(const std::string& i_strRouter) const;

 private:
  std::filesystem::path m_path;
  std::uintmax_t m_maxBytes;
};

// The events in the rotated file and the current one, oldest first, and how many lines were
// not ours (corrupt, cut short, another program's, longer than kLongestLine).
struct TimelineReading {
  std::vector<TimelineEvent> events;  // only from the form without a sink
  std::size_t skipped = 0;
  std::optional<std::string> problem;  // the file could not be read at all
};
// Hands each event to i_take as it is read, and keeps none: what is kept is the caller's
// choice, and reading holds no more than a line, however large the file.
using EventSink = std::function<void(TimelineEvent i_event)>;
TimelineReading ReadTimeline(const std::filesystem::path& i_path, const EventSink& i_take);
// Every event gathered in events: for a file known to be small (the monitor's own, bounded by
// its rotation).
TimelineReading ReadTimeline(const std::filesystem::path& i_path);

}  // namespace timeline
