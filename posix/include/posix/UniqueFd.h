#pragma once

// The one owner of a file descriptor: closes it when it goes, never twice. No implicit
// conversion to int, so a descriptor cannot leave its owner by accident.

#include <unistd.h>

#include <utility>

namespace posix {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int i_fd) : m_fd(i_fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& io_other) noexcept : m_fd(io_other.release()) {}
  UniqueFd& operator=(UniqueFd&& io_other) noexcept {
    if (this != &io_other) reset(io_other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(m_fd, -1); }
  // Closes what it holds (no retry on EINTR: the descriptor is gone either way) and takes i_fd.
  void reset(int i_fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = i_fd;
  }

 private:
  int m_fd = -1;
};

}  // namespace posix
