#include "ChildCall.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <vector>

namespace keyring {

std::filesystem::path HelperPath() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed =
        exe.parent_path().parent_path() / ZEZAR_KEYRING_HELPER_INSTALLED;
    if (std::filesystem::is_regular_file(installed, error)) return installed;
  }
  return ZEZAR_KEYRING_HELPER_BUILD;
}

namespace {

// The caller's environment but its passwords ($ZEZAR_ADMIN_PASS and the like): a child is
// given none.
std::vector<std::string> HelperEnvironment() {
  std::vector<std::string> environment;
  for (char** ppEntry = environ; *ppEntry != nullptr; ++ppEntry) {
    const std::string_view entry = *ppEntry;
    if (entry.starts_with("ZEZAR_") && entry.substr(0, entry.find('=')).ends_with("_PASS"))
      continue;
    environment.emplace_back(entry);
  }
  return environment;
}

[[noreturn]] void RunHelper(const std::string& i_strHelper, char* const* i_ppEnvironment,
                            int i_request, int i_answer) {
  if (::dup2(i_request, STDIN_FILENO) < 0 || ::dup2(i_answer, STDOUT_FILENO) < 0) _exit(127);
  ::close_range(3, ~0u, 0);  // nothing of the caller's: its connections stay its own
  for (int signal : {SIGALRM, SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE}) ::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  const char* argv[] = {"zezar-keyring", nullptr};
  ::execve(i_strHelper.c_str(), const_cast<char**>(argv), i_ppEnvironment);
  _exit(127);
}

}  // namespace

ChildCall::ChildCall(const std::string& i_strRequest) {
  // Made before the fork: the child does nothing but exec.
  const std::string strHelper = HelperPath().string();
  std::vector<std::string> environment = HelperEnvironment();
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  int request[2], answer[2];
  if (::pipe2(request, O_CLOEXEC) != 0) return;
  posix::UniqueFd requestRead(request[0]), requestWrite(request[1]);
  if (::pipe2(answer, O_CLOEXEC) != 0) return;
  posix::UniqueFd answerRead(answer[0]), answerWrite(answer[1]);
  m_pid = ::fork();
  if (m_pid == 0) RunHelper(strHelper, envp.data(), requestRead.get(), answerWrite.get());
  if (m_pid < 0) return;
  requestRead.reset();
  answerWrite.reset();
  // A request is a few KiB at most: the pipe takes it whole, whatever the helper does. A
  // helper already gone must not raise SIGPIPE, which the caller's router client handles.
  sigset_t pipeSignal, previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  for (std::size_t uDone = 0; uDone < i_strRequest.size();) {
    const ssize_t n =
        ::write(requestWrite.get(), i_strRequest.data() + uDone, i_strRequest.size() - uDone);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EPIPE) {
      const timespec now{};
      ::sigtimedwait(&pipeSignal, nullptr, &now);  // the signal this write raised
    }
    if (n <= 0) break;  // the helper is gone: its answer says so
    uDone += static_cast<std::size_t>(n);
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  requestWrite.reset();
  ::fcntl(answerRead.get(), F_SETFL, O_NONBLOCK);
  m_answer = std::move(answerRead);
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
