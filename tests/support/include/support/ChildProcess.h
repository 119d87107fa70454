#pragma once

// A program run as a user runs it: a child process with arguments, an environment of the
// test's making (never the developer's preferences or passwords), standard input, and its
// output and exit code collected under a deadline.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "posix/UniqueFd.h"

namespace zezar_test {

// Whether a child of this process ends within the bound. It is not reaped: its exit code
// stays for whoever waits for it (its owner, ServerProcess::Running).
bool ExitsWithin(pid_t i_child, std::chrono::milliseconds i_bound);

// Reaps a child: waits up to the bound for its end and kills it past that. Its wait status,
// or nothing when it had to be killed.
std::optional<int> Reap(pid_t i_child, std::chrono::milliseconds i_bound);

struct ChildResult {
  int code = -1;  // the exit code; -1 when it had to be killed
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  static constexpr std::chrono::seconds kDeadline{30};

  // ZEZAR_PREFERENCES always points somewhere the test controls; `environment` adds to it.
  ChildProcess(const std::string& i_strProgram, const std::vector<std::string>& i_arguments,
               const std::map<std::string, std::string>& i_environment,
               const std::string& i_strInput = "");
  ~ChildProcess();  // kills and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return m_child; }
  void Signal(int i_iSignal);
  // The next line of standard output, without its line feed; "" at its end or the deadline.
  std::string ReadLine(std::chrono::milliseconds i_timeout);
  // What it has written to standard error so far.
  std::string Err();
  // Stops reading standard output, as a status bar that went away.
  void CloseOutput() { m_out.reset(); }
  // Waits for the end (killing it past the deadline) and returns everything.
  ChildResult Finish();

 private:
  bool Pump(std::chrono::steady_clock::time_point i_until);

  pid_t m_child = -1;
  posix::UniqueFd m_out, m_err;
  std::string m_strOut, m_strErr;
  std::size_t m_uOutRead = 0;  // what ReadLine has handed out
  std::chrono::steady_clock::time_point m_deadline;
};

}  // namespace zezar_test
