#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace zezar_test {

bool ExitsWithin(pid_t i_child, std::chrono::milliseconds i_bound) {
  // A process descriptor becomes readable when the process ends, reaped or not.
  const posix::UniqueFd process(static_cast<int>(::syscall(SYS_pidfd_open, i_child, 0)));
  if (!process) {
    if (errno == ESRCH) return true;  // reaped already
    throw std::system_error(errno, std::generic_category(), "pidfd_open");
  }
  const auto until = std::chrono::steady_clock::now() + i_bound;
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    pollfd entry{process.get(), POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
    if (ready >= 0) return ready > 0;
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll pidfd");
  }
}

std::optional<int> Reap(pid_t i_child, std::chrono::milliseconds i_bound) {
  const bool bEnded = ExitsWithin(i_child, i_bound);
  if (!bEnded) ::kill(i_child, SIGKILL);
  int status = 0;
  while (::waitpid(i_child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!bEnded) return std::nullopt;
  return status;
}

namespace {

void Pipe(posix::UniqueFd& o_read, posix::UniqueFd& o_write) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
  o_read.reset(ends[0]);
  o_write.reset(ends[1]);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& i_strProgram,
                           const std::vector<std::string>& i_arguments,
                           const std::map<std::string, std::string>& i_environment,
                           const std::string& i_strInput)
    : m_deadline(std::chrono::steady_clock::now() + kDeadline) {
  std::map<std::string, std::string> environment = {
      {"PATH", "/usr/bin:/bin"}, {"ZEZAR_PREFERENCES", "/nonexistent/zezar-test.toml"}};
  for (const char* pName : {"LSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* pValue = std::getenv(pName)) environment[pName] = pValue;
  }
  for (const auto& [name, value] : i_environment) environment[name] = value;
  std::vector<std::string> strings;
  for (const auto& [name, value] : environment) strings.push_back(name + "=" + value);
  std::vector<char*> envp, argv;
  for (std::string& entry : strings) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = {i_strProgram};
  arguments.insert(arguments.end(), i_arguments.begin(), i_arguments.end());
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix::UniqueFd inRead, inWrite, outWrite, errWrite;
  Pipe(inRead, inWrite);
  Pipe(m_out, outWrite);
  Pipe(m_err, errWrite);
  m_child = ::fork();
  if (m_child < 0) throw std::runtime_error("fork");
  if (m_child == 0) {
    ::dup2(inRead.get(), STDIN_FILENO);
    ::dup2(outWrite.get(), STDOUT_FILENO);
    ::dup2(errWrite.get(), STDERR_FILENO);
    signal(SIGPIPE, SIG_DFL);
    ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  inRead.reset();
  outWrite.reset();
  errWrite.reset();
  // Small inputs fit the pipe; the child reads the rest while the test waits. A child that
  // leaves without reading must not take the test with it.
  signal(SIGPIPE, SIG_IGN);
  std::size_t uDone = 0;
  while (uDone < i_strInput.size()) {
    const ssize_t n = ::write(inWrite.get(), i_strInput.data() + uDone, i_strInput.size() - uDone);
    if (n <= 0) break;
    uDone += static_cast<std::size_t>(n);
  }
}

ChildProcess::~ChildProcess() {
  if (m_child <= 0) return;
  ::kill(m_child, SIGKILL);
  Reap(m_child, kDeadline);
}

// Gathers output until some arrives, both streams end, or the moment passes (false).
bool ChildProcess::Pump(std::chrono::steady_clock::time_point i_until) {
  while (m_out || m_err) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        i_until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{m_out.get(), POLLIN, 0}, {m_err.get(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const std::size_t uBefore = m_strOut.size();
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      posix::UniqueFd& fd = i == 0 ? m_out : m_err;
      char buffer[65536];
      const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
      if (n <= 0) {
        fd.reset();
      } else {
        (i == 0 ? m_strOut : m_strErr).append(buffer, static_cast<std::size_t>(n));
      }
    }
    if (m_strOut.size() != uBefore || !m_out) return true;
  }
  return true;
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds i_timeout) {
  const auto until = std::min(m_deadline, std::chrono::steady_clock::now() + i_timeout);
  for (;;) {
    const std::size_t uEnd = m_strOut.find('\n', m_uOutRead);
    if (uEnd != std::string::npos) {
      std::string strLine = m_strOut.substr(m_uOutRead, uEnd - m_uOutRead);
      m_uOutRead = uEnd + 1;
      return strLine;
    }
    if (!m_out || !Pump(until)) return {};
  }
}

ChildResult ChildProcess::Finish() {
  ChildResult result;
  bool bInTime = true;
  while ((m_out || m_err) && bInTime) bInTime = Pump(m_deadline);
  // Its output ends before it does: a child that closed both and goes on is bounded too.
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(m_deadline - std::chrono::steady_clock::now());
  const std::optional<int> status = Reap(m_child, std::max(left, std::chrono::milliseconds(0)));
  m_child = -1;
  if (status && WIFEXITED(*status)) result.code = WEXITSTATUS(*status);
  result.out = m_strOut;
  result.err = m_strErr;
  return result;
}

void ChildProcess::Signal(int i_iSignal) {
  if (m_child > 0) ::kill(m_child, i_iSignal);
}

std::string ChildProcess::Err() {
  while (m_err) {  // what has arrived, without waiting
    pollfd entry{m_err.get(), POLLIN, 0};
    if (::poll(&entry, 1, 0) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(m_err.get(), buffer, sizeof buffer);
    if (n <= 0) {
      m_err.reset();
    } else {
      m_strErr.append(buffer, static_cast<std::size_t>(n));
    }
  }
  return m_strErr;
}

}  // namespace zezar_test
