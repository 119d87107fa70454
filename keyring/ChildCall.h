#pragma once

// One request to the keyring helper (zezar-keyring), a program of its own: the Secret
// Service's client library and the GLib under it are loaded there, never in the caller, whose
// memory they would grow by megabytes and whose signals their bus thread could take. The
// request goes in on the helper's standard input (a password never in its arguments or
// environment), the answer comes back on its standard output. The helper holds nothing of
// the caller's but those two pipes, takes the default signal handlers and dies with its parent.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "posix/UniqueFd.h"

namespace keyring {

// Installed beside the programs (libexec/zezar/zezar-keyring), else in the build tree.
std::filesystem::path HelperPath();

class ChildCall {
 public:
  // Starts the helper at once; when it cannot start, the call ends at once with no result.
  explicit ChildCall(const std::string& i_strRequest);
  ~ChildCall();  // kills and reaps a helper still running
  ChildCall(const ChildCall&) = delete;
  ChildCall& operator=(const ChildCall&) = delete;

  int Fd() const { return m_answer.get(); }
  // Takes what has arrived, without blocking; true once the helper closed its output (it
  // ended).
  bool ReadAvailable();
  // Everything the helper wrote, once it has ended.
  const std::string& Result() const { return m_strResult; }
  // Waits for the end; false when it did not come within the bound.
  bool Wait(std::chrono::milliseconds i_within);

 private:
  pid_t m_pid = -1;
  posix::UniqueFd m_answer;  // the read end, non-blocking
  std::string m_strResult;
};

}  // namespace keyring
