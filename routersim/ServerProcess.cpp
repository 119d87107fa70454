#include "routersim/ServerProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "routersim/Server.h"

namespace routersim {

namespace {

using namespace std::chrono_literals;
constexpr auto kReplyDeadline = 5s;
constexpr auto kStopDeadline = 5s;

// Closes every descriptor from 3 up but these. Without exec, a child holds copies of all of
// its parent's: a copy of a connection (or of another simulator's control channel) would keep
// it open after the parent closed it.
void CloseAllBut(std::array<int, 2> i_keep) {
  std::sort(i_keep.begin(), i_keep.end());
  unsigned uFrom = 3;
  for (const int keep : i_keep) {
    const auto uKeep = static_cast<unsigned>(keep);
    if (uKeep < uFrom) continue;
    if (uKeep > uFrom) ::close_range(uFrom, uKeep - 1, 0);
    uFrom = uKeep + 1;
  }
  ::close_range(uFrom, ~0u, 0);
}

}  // namespace

ServerProcess::ServerProcess(Router i_router, uint16_t i_port) {
  Server server(std::move(i_router), "127.0.0.1", i_port);  // listening before the fork
  m_port = server.Port();
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
    throw std::system_error(errno, std::generic_category(), "socketpair");
  posix::UniqueFd parentEnd(ends[0]), childEnd(ends[1]);
  m_child = ::fork();
  if (m_child < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (m_child == 0) {
    parentEnd.reset();
    CloseAllBut({server.ListenerFd(), childEnd.get()});
    // Out of the terminal's process group: the keys that stop the parent (Ctrl-C, a quit key)
    // are the parent's. It stops when the parent closes its end, or dies.
    setpgid(0, 0);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGALRM, SIG_IGN);
    signal(SIGINT, SIG_IGN);  // the parent decides when to stop
    try {
      server.Serve(Server::Control{childEnd.get(), childEnd.get(), true});
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  m_control = std::move(parentEnd);
}

ServerProcess::~ServerProcess() {
  m_control.reset();
  // Bounded: a child that does not stop in time is killed.
  const auto deadline = std::chrono::steady_clock::now() + kStopDeadline;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(m_child, &status, WNOHANG);
    if (done == m_child || (done < 0 && errno != EINTR)) return;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(m_child, SIGKILL);
      while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
      }
      return;
    }
    std::this_thread::sleep_for(5ms);
  }
}

bool ServerProcess::Running() {
  int status = 0;
  return ::waitpid(m_child, &status, WNOHANG) == 0;
}

void ServerProcess::Inject(const std::string& i_strFault) {
  const std::string strReply = Ask(i_strFault);
  if (strReply != "ok") throw std::runtime_error("simulator: " + strReply);
}

ServerProcess::Served ServerProcess::Count(const std::string& i_strKeyword) {
  const std::string strReply = Ask("served " + i_strKeyword);
  Served served{};
  if (std::sscanf(strReply.c_str(), "ok %" SCNu64 " %" SCNu64, &served.requests,
                  &served.connections) != 2) {
    throw std::runtime_error("simulator: " + strReply);
  }
  return served;
}

std::string ServerProcess::Ask(const std::string& i_strLine) {
  const std::string strLine = i_strLine + "\n";
  if (::send(m_control.get(), strLine.data(), strLine.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(strLine.size())) {
    throw std::runtime_error("simulator: cannot send \"" + i_strLine + "\"");
  }
  std::string strReply;
  const auto deadline = std::chrono::steady_clock::now() + kReplyDeadline;
  while (strReply.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{m_control.get(), POLLIN, 0};
    const int ready = left.count() <= 0 ? 0 : ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      throw std::runtime_error("simulator: no reply to \"" + i_strLine + "\"");
    }
    char buffer[256];
    const ssize_t n = ::read(m_control.get(), buffer, sizeof buffer);
    if (n <= 0) throw std::runtime_error("simulator: gone before \"" + i_strLine + "\"");
    strReply.append(buffer, static_cast<std::size_t>(n));
  }
  strReply.resize(strReply.find('\n'));
  return strReply;
}

}  // namespace routersim
