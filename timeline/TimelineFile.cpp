#include "timeline/TimelineFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "posix/UniqueFd.h"
#include "preferences/Folders.h"

namespace timeline {

namespace {

constexpr std::size_t kLongestLine = 64 << 10;  // longer ones are not ours

std::string Problem(const std::filesystem::path& i_path, const char* i_pWhat, int i_iErrno) {
  return i_path.string() + ": " + i_pWhat + ": " + std::strerror(i_iErrno);
}

std::filesystem::path Rotated(const std::filesystem::path& i_path) {
  return i_path.string() + ".1";
}

void ReadFile(const std::filesystem::path& i_path, TimelineReading& io_reading) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(i_path, error);
  if (!std::filesystem::exists(status)) return;  // none yet: nothing to read
  if (!std::filesystem::is_regular_file(status)) {
    io_reading.problem = i_path.string() + ": not a file";
    return;
  }
  std::ifstream file(i_path, std::ios::binary);
  if (!file) {
    io_reading.problem = Problem(i_path, "open", errno);
    return;
  }
  std::string strLine;
  while (std::getline(file, strLine)) {
    if (strLine.empty()) continue;
    std::optional<TimelineEvent> event =
        strLine.size() <= kLongestLine ? FromJsonLine(strLine) : std::nullopt;
    if (event) {
      io_reading.events.push_back(std::move(*event));
    } else {
      ++io_reading.skipped;
    }
  }
  if (file.bad()) io_reading.problem = Problem(i_path, "read", EIO);
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

TimelineReading ReadTimeline(const std::filesystem::path& i_path) {
  TimelineReading reading;
  ReadFile(Rotated(i_path), reading);
  ReadFile(i_path, reading);
  return reading;
}

}  // namespace timeline
