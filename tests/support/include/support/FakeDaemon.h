#pragma once

// A scripted stand-in for the router's monitor daemon. It listens on 127.0.0.1 at a port the
// kernel picks, serves one connection per script in order, and records every byte each
// connection delivered. It runs in a child process, so it neither takes the test process's
// SIGALRM and SIGPIPE nor shares its descriptors' fate with the client's alarm handler.
//
//   FakeDaemon daemon({Expect("version\r\n"), Send("OK 11 1.2\n"), Stall(1500ms), Close()});
//   client.Connect("127.0.0.1", daemon.Port());
//   ...
//   const Transcript transcript = daemon.Finish();
//   EXPECT_EQ(transcript.error, "");
//
// Every wait has a deadline: a broken client makes a test fail, never hang.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "posix/UniqueFd.h"

namespace zezar_test {

struct Step {
  enum class Kind { Expect, Send, Stall, Close };
  Kind kind;
  std::string bytes;                   // Expect, Send
  std::chrono::milliseconds duration;  // Stall
};

// Waits until exactly these bytes have arrived next (lines, raw blocks, acknowledgements).
Step Expect(std::string i_strBytes);
// Sends these bytes as they are: NUL, CR, partial lines, raw blocks.
Step Send(std::string i_strBytes);
// Sends nothing for a while, such as longer than the client's one-second alarm.
Step Stall(std::chrono::milliseconds i_duration);
// Closes the connection; the next script then waits for the next connection.
Step Close();

using Script = std::vector<Step>;

struct Transcript {
  std::vector<std::string> received;  // per accepted connection, every byte, in order
  std::string error;                  // the first departure from the scripts, or ""
};

class FakeDaemon {
 public:
  static constexpr std::chrono::milliseconds kDeadline{5000};  // for each expectation

  explicit FakeDaemon(Script i_script);
  explicit FakeDaemon(std::vector<Script> i_scripts);
  ~FakeDaemon();
  FakeDaemon(const FakeDaemon&) = delete;
  FakeDaemon& operator=(const FakeDaemon&) = delete;

  uint16_t Port() const { return m_port; }

  // Tells the daemon the test is done, waits for it, and returns what it saw. A connection
  // still open is drained of what has already arrived. Call it once.
  Transcript Finish();

 private:
  uint16_t m_port = 0;
  pid_t m_child = -1;
  posix::UniqueFd m_control;  // closing it tells the child to finish
  posix::UniqueFd m_report;   // the child's transcript arrives here
};

// A port on 127.0.0.1 that refuses connections: bound, never listening. Closes on destruction.
class RefusingPort {
 public:
  RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  uint16_t Port() const { return m_port; }

 private:
  uint16_t m_port = 0;  // before m_fd, which is made with it
  posix::UniqueFd m_fd;
};

// A port on 127.0.0.1 whose accept queue is already full, so that a new connection attempt
// waits unanswered (the kernel drops its handshake) until the client gives up.
class SilentPort {
 public:
  SilentPort();
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;
  uint16_t Port() const { return m_port; }

 private:
  uint16_t m_port = 0;  // before m_listener, which is made with it
  posix::UniqueFd m_listener;
  posix::UniqueFd m_filler;  // the connection that fills the queue
};

// The number of descriptors this process has open.
int OpenDescriptorCount();

}  // namespace zezar_test

namespace zezar_test {

// A run of one-line exchanges: each command is expected with "\r\n" appended, each answer is
// sent with "\n" appended.
struct Exchange {
  std::string command;
  std::string answer;
};
Script Exchanges(const std::vector<Exchange>& i_exchanges);

// Joins scripts into one connection's script.
Script operator+(Script i_first, const Script& i_second);

}  // namespace zezar_test
