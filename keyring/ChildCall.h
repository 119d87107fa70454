#pragma once

// One piece of work in a child process, its result back on a pipe: the way this library keeps
// the Secret Service's bus thread out of the caller. The child closes every descriptor but the
// pipe, takes the default signal handlers (the caller's are for the caller), dies with its
// parent, and ends with _exit: nothing of the caller's (buffers, atexit handlers) runs twice.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "posix/UniqueFd.h"

namespace keyring {

class ChildCall {
 public:
  // Starts the child at once; when it cannot start, the call ends at once with no result.
  explicit ChildCall(const std::function<std::string()>& i_work);
  ~ChildCall();  // kills and reaps a child still running
  ChildCall(const ChildCall&) = delete;
  ChildCall& operator=(const ChildCall&) = delete;

  int Fd() const { return m_answer.get(); }
  // Takes what has arrived, without blocking; true once the child closed the pipe (it ended).
  bool ReadAvailable();
  // Everything the child wrote, once it has ended.
  const std::string& Result() const { return m_strResult; }
  // Waits for the end; false when it did not come within the bound.
  bool Wait(std::chrono::milliseconds i_within);

 private:
  pid_t m_pid = -1;
  posix::UniqueFd m_answer;  // the read end, non-blocking
  std::string m_strResult;
};

}  // namespace keyring
