#include "HostLookup.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zastra_net {

namespace {

// The child that looks a name up, and the pipe its answer comes back on. Whatever happens to
// the wait, the child is killed and reaped and the pipe closed when this goes.
class LookupChild {
 public:
  explicit LookupChild(const std::string& i_strHost) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::close(ends[0]);
      RunChild(i_strHost, ends[1]);
    }
    ::close(ends[1]);
    if (m_pid < 0) {
      ::close(ends[0]);
      return;
    }
    m_answer = ends[0];
  }

  ~LookupChild() {
    if (m_answer >= 0) ::close(m_answer);
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);  // it may still be waiting for a name server
    while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
      // Reaping a killed child is no wait for the network; a signal only repeats it.
    }
  }

  LookupChild(const LookupChild&) = delete;
  LookupChild& operator=(const LookupChild&) = delete;

  // The address, if it comes within the bound. No retry on EINTR: an interrupted wait is the
  // time-out.
  std::optional<in_addr> Answer(std::chrono::milliseconds i_within) const {
    if (m_answer < 0) return std::nullopt;
    pollfd answer{m_answer, POLLIN, 0};
    const auto ms = std::clamp<long long>(i_within.count(), 0, 1 << 30);
    if (::poll(&answer, 1, static_cast<int>(ms)) != 1) return std::nullopt;
    in_addr address{};
    if (::read(m_answer, &address, sizeof address) != static_cast<ssize_t>(sizeof address)) {
      return std::nullopt;
    }
    return address;
  }

 private:
  [[noreturn]] static void RunChild(const std::string& i_strHost, int i_answer) {
    // Nothing of the parent's but the pipe: a copy of one of its connections would keep that
    // open after the parent closed it. Its handlers are not for this process either, and a
    // parent that goes away takes the child along.
    const auto uAnswer = static_cast<unsigned>(i_answer);
    if (uAnswer > 3) ::close_range(3, uAnswer - 1, 0);
    ::close_range(std::max(uAnswer + 1, 3u), ~0u, 0);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGALRM, SIG_DFL);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const hostent* pHost = gethostbyname(i_strHost.c_str());
    if (pHost != nullptr && pHost->h_addrtype == AF_INET && pHost->h_length == sizeof(in_addr) &&
        pHost->h_addr_list[0] != nullptr) {
      [[maybe_unused]] const ssize_t written =
          ::write(i_answer, pHost->h_addr_list[0], sizeof(in_addr));
    }
    _exit(0);  // nothing of the parent's (buffers, atexit handlers) runs here
  }

  pid_t m_pid = -1;
  int m_answer = -1;  // the pipe's read end
};

}  // namespace

std::optional<in_addr> LookUpIPv4(const std::string& i_strHost,
                                  std::chrono::milliseconds i_within) {
  in_addr address{};
  if (::inet_pton(AF_INET, i_strHost.c_str(), &address) == 1) return address;
  const LookupChild child(i_strHost);
  return child.Answer(i_within);
}

}  // namespace zastra_net
