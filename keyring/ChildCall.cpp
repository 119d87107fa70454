#include "ChildCall.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace keyring {

namespace {

[[noreturn]] void RunChild(const std::function<std::string()>& i_work, int i_answer) {
  const auto uAnswer = static_cast<unsigned>(i_answer);
  if (uAnswer > 3) ::close_range(3, uAnswer - 1, 0);
  ::close_range(std::max(uAnswer + 1, 3u), ~0u, 0);
  for (int signal : {SIGALRM, SIGINT, SIGTERM, SIGQUIT, SIGHUP}) ::signal(signal, SIG_DFL);
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  std::string strResult;
  try {
    strResult = i_work();
  } catch (...) {
    _exit(1);  // no answer: the caller says the keyring gave none
  }
  for (std::size_t uDone = 0; uDone < strResult.size();) {
    const ssize_t n = ::write(i_answer, strResult.data() + uDone, strResult.size() - uDone);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) _exit(1);
    uDone += static_cast<std::size_t>(n);
  }
  _exit(0);
}

}  // namespace

ChildCall::ChildCall(const std::function<std::string()>& i_work) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return;
  posix::UniqueFd read(ends[0]);
  posix::UniqueFd write(ends[1]);
  m_pid = ::fork();
  if (m_pid == 0) {
    read.reset();
    RunChild(i_work, write.get());
  }
  if (m_pid < 0) return;
  ::fcntl(read.get(), F_SETFL, O_NONBLOCK);
  m_answer = std::move(read);
}

ChildCall::~ChildCall() {
  m_answer.reset();
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGKILL);  // it may still wait for the keyring
  while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    // A killed child is reaped at once; a signal only repeats the wait.
  }
}

bool ChildCall::ReadAvailable() {
  if (!m_answer) return true;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(m_answer.get(), buffer, sizeof buffer);
    if (n > 0) {
      m_strResult.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return false;
    m_answer.reset();  // the end, or a pipe that failed: what came is all there is
    return true;
  }
}

bool ChildCall::Wait(std::chrono::milliseconds i_within) {
  const auto deadline = std::chrono::steady_clock::now() + i_within;
  while (!ReadAvailable()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd answer{m_answer.get(), POLLIN, 0};
    if (::poll(&answer, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30))) < 0 &&
        errno != EINTR)
      return false;
  }
  return true;
}

}  // namespace keyring
