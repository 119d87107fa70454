#include "timeline/TimelineFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

#include "posix/UniqueFd.h"
#include "preferences/Folders.h"

namespace timeline {

namespace {

constexpr std::size_t kReadBytes = 64 << 10;  // asked of one read

std::string Problem(const std::filesystem::path& i_path, const char* i_pWhat, int i_iErrno) {
  return i_path.string() + ": " + i_pWhat + ": " + std::strerror(i_iErrno);
}

std::filesystem::path Rotated(const std::filesystem::path& i_path) {
  return i_path.string() + ".1";
}

// Line by line: a line longer than kLongestLine is passed over as it goes by, never held.
void ReadFile(const std::filesystem::path& i_path, const EventSink& i_take,
              TimelineReading& io_reading) {
  // Not blocking: a pipe at the path would otherwise wait for a writer.
  const posix::UniqueFd fd(::open(i_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) {
    if (errno != ENOENT) io_reading.problem = Problem(i_path, "open", errno);
    return;  // none yet: nothing to read
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) {
    io_reading.problem = Problem(i_path, "stat", errno);
    return;
  }
  if (!S_ISREG(status.st_mode)) {
    io_reading.problem = i_path.string() + ": not a file";
    return;
  }
  std::string strLine;
  bool bTooLong = false;
  const auto lineEnds = [&] {
    if (bTooLong) {
      ++io_reading.skipped;
    } else if (!strLine.empty()) {
      if (std::optional<TimelineEvent> event = FromJsonLine(strLine)) {
        i_take(std::move(*event));
      } else {
        ++io_reading.skipped;
      }
    }
    strLine.clear();
    bTooLong = false;
  };
  std::string strBuffer(kReadBytes, '\0');
  for (;;) {
    const ssize_t got = ::read(fd.get(), strBuffer.data(), strBuffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      io_reading.problem = Problem(i_path, "read", errno);
      return;
    }
    if (got == 0) break;
    std::string_view chunk(strBuffer.data(), static_cast<std::size_t>(got));
    for (;;) {
      const std::size_t uEnd = chunk.find('\n');
      const std::string_view piece = chunk.substr(0, uEnd);
      if (!bTooLong && strLine.size() + piece.size() > TimelineFile::kLongestLine) {
        bTooLong = true;
        strLine.clear();
      }
      if (!bTooLong) strLine.append(piece);
      if (uEnd == std::string_view::npos) break;
      lineEnds();
      chunk.remove_prefix(uEnd + 1);
    }
  }
  lineEnds();  // the last line, cut short
}

}  // namespace

std::filesystem::path TimelineFile::DefaultPath() {
  const std::filesystem::path folder = preferences::StateFolder();
  return folder.empty() ? folder : folder / "timeline.jsonl";
}

std::optional<std::string> TimelineFile::Append(const TimelineEvent& i_event) {
  std::error_code error;
  std::filesystem::create_directories(m_path.parent_path(), error);
  if (error) return Problem(m_path.parent_path(), "create", error.value());

  const std::string strLine = ToJsonLine(i_event) + "\n";
  // Monitors of several routers share the file: one at a time looks at its size, rotates it and
  // appends, so none moves away a file another has just begun.
  const std::filesystem::path lockPath = m_path.string() + ".lock";
  const posix::UniqueFd lock(
      ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!lock) return Problem(lockPath, "open", errno);
  if (::flock(lock.get(), LOCK_EX) != 0) return Problem(lockPath, "lock", errno);
  posix::UniqueFd fd(
      ::open(m_path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) return Problem(m_path, "open", errno);
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return Problem(m_path, "stat", errno);
  if (!S_ISREG(status.st_mode)) return Problem(m_path, "open", EINVAL);
  if (status.st_size > 0 &&
      static_cast<std::uintmax_t>(status.st_size) + strLine.size() > m_maxBytes) {
    if (::rename(m_path.c_str(), Rotated(m_path).c_str()) != 0)
      return Problem(m_path, "rotate", errno);
    fd.reset(::open(m_path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) return Problem(m_path, "open", errno);
    status.st_size = 0;
  }
  // A line cut short before this one keeps to itself: readers pass it over.
  char last = '\n';
  if (status.st_size > 0 && ::pread(fd.get(), &last, 1, status.st_size - 1) != 1) last = '\n';
  const std::string strOut = (last == '\n' ? "" : "\n") + strLine;
  const ssize_t written = ::write(fd.get(), strOut.data(), strOut.size());
  if (written == static_cast<ssize_t>(strOut.size())) return std::nullopt;
  const int iErrno = written < 0 ? errno : ENOSPC;
  if (written > 0) {
    // Take back the partial line, so the file holds whole lines only.
    [[maybe_unused]] const int iTruncated = ::ftruncate(fd.get(), status.st_size);
  }
  return Problem(m_path, "write", iErrno);
}

std::optional<TimelineEvent> TimelineFile::Last(const std::string& i_strRouter) const {
  // Not blocking: a pipe at the path would otherwise hold the monitor's start for a writer.
  const posix::UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return std::nullopt;
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  const off_t start = status.st_size > static_cast<off_t>(kTailBytes)
                          ? status.st_size - static_cast<off_t>(kTailBytes)
                          : 0;
  std::string strTail(static_cast<std::size_t>(status.st_size - start), '\0');
  const ssize_t got = ::pread(fd.get(), strTail.data(), strTail.size(), start);
  if (got < 0) return std::nullopt;
  strTail.resize(static_cast<std::size_t>(got));
  // From the end backwards, the first line of ours.
  std::size_t uEnd = strTail.size();
  while (uEnd > 0) {
    const std::size_t uStart = strTail.rfind('\n', uEnd - 1);
    const std::size_t uFrom = uStart == std::string::npos ? 0 : uStart + 1;
    if (uFrom < uEnd) {
      auto event = FromJsonLine(std::string_view(strTail).substr(uFrom, uEnd - uFrom));
      if (event && event->router == i_strRouter) return event;
    }
    if (uStart == std::string::npos) break;
    uEnd = uStart;
  }
  return std::nullopt;
}

TimelineReading ReadTimeline(const std::filesystem::path& i_path, const EventSink& i_take) {
  TimelineReading reading;
  ReadFile(Rotated(i_path), i_take, reading);
  if (!reading.problem) ReadFile(i_path, i_take, reading);
  return reading;
}

TimelineReading ReadTimeline(const std::filesystem::path& i_path) {
  std::vector<TimelineEvent> events;
  TimelineReading reading =
      ReadTimeline(i_path, [&](TimelineEvent i_event) { events.push_back(std::move(i_event)); });
  reading.events = std::move(events);
  return reading;
}

}  // namespace timeline
