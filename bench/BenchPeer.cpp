#include "BenchPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "support/Loopback.h"

namespace zezar_bench {

namespace {

[[noreturn]] void Fail(const char* i_pWhat) {
  throw std::system_error(errno, std::generic_category(), i_pWhat);
}

bool SendAll(int i_fd, const char* i_pData, std::size_t i_uLength) {
  while (i_uLength > 0) {
    const ssize_t n = ::send(i_fd, i_pData, i_uLength, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    i_pData += n;
    i_uLength -= static_cast<std::size_t>(n);
  }
  return true;
}

// Waits for bytes from the client and appends them; false when the connection ended or the
// parent asked the child to stop.
bool Receive(int i_fd, int i_stop, std::string& io_pending) {
  char buffer[4096];
  for (;;) {
    pollfd fds[2] = {{i_fd, POLLIN, 0}, {i_stop, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    const ssize_t n = ::recv(i_fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    io_pending.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
}

// One connection, until the client closes it.
void Serve(int i_fd, int i_stop) {
  static const std::string kFile(BenchPeer::kFileSize, 'z');
  static const std::string kSizeLine = "OK " + std::to_string(BenchPeer::kFileSize) + "\n";
  std::string pending;
  for (;;) {
    const std::size_t uEnd = pending.find('\n');
    if (uEnd == std::string::npos) {
      if (!Receive(i_fd, i_stop, pending)) return;
      continue;
    }
    const bool bSend = pending.compare(0, 5, "send ") == 0;
    pending.erase(0, uEnd + 1);
    if (!bSend) {
      if (!SendAll(i_fd, "OK 37\n", 6)) return;
      continue;
    }
    if (!SendAll(i_fd, kSizeLine.data(), kSizeLine.size())) return;
    for (std::size_t uAt = 0; uAt < kFile.size(); uAt += 1024) {
      if (!SendAll(i_fd, kFile.data() + uAt, 1024)) return;
      // One acknowledgement per block; the client sends it only after it has the block.
      while (pending.empty()) {
        if (!Receive(i_fd, i_stop, pending)) return;
      }
      pending.erase(0, 1);
    }
    if (!SendAll(i_fd, "OK done\n", 8)) return;
  }
}

}  // namespace

BenchPeer::BenchPeer() {
  posix::UniqueFd listener = zezar_test::ListenOnLoopback(4, m_port);
  int stop[2];
  if (::pipe2(stop, O_CLOEXEC) != 0) Fail("pipe2");
  posix::UniqueFd stopRead(stop[0]);
  m_stop.reset(stop[1]);
  m_child = ::fork();
  if (m_child < 0) Fail("fork");
  if (m_child == 0) {
    m_stop.reset();
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, SIG_IGN);  // the parent decides when to stop
    for (;;) {
      pollfd fds[2] = {{listener.get(), POLLIN, 0}, {stopRead.get(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) _exit(1);
      if (fds[1].revents != 0) _exit(0);
      if (fds[0].revents == 0) continue;
      posix::UniqueFd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!connection) continue;
      const int one = 1;
      setsockopt(connection.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      Serve(connection.get(), stopRead.get());
    }
  }
}

BenchPeer::~BenchPeer() {
  m_stop.reset();
  int status = 0;
  while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace zezar_bench
