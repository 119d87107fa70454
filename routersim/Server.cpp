#include "routersim/Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "routersim/Session.h"

namespace routersim {

namespace {

[[noreturn]] void Fail(const std::string& i_strWhat) {
  throw std::system_error(errno, std::generic_category(), i_strWhat);
}

// Waits until the descriptor is readable; false when the stop descriptor is, first.
bool WaitReadable(int i_fd, int i_stopFd) {
  for (;;) {
    pollfd fds[2] = {{i_fd, POLLIN, 0}, {i_stopFd, POLLIN, 0}};
    const int ready = ::poll(fds, i_stopFd >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (i_stopFd >= 0 && fds[1].revents != 0) return false;
    return true;
  }
}

void SendAll(int i_fd, const std::string& i_strBytes) {
  for (std::size_t uDone = 0; uDone < i_strBytes.size();) {
    const ssize_t n =
        ::send(i_fd, i_strBytes.data() + uDone, i_strBytes.size() - uDone, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    uDone += static_cast<std::size_t>(n);
  }
}

}  // namespace

Server::Server(Router i_router, const std::string& i_strAddress, uint16_t i_port)
    : m_router(std::move(i_router)) {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listener < 0) Fail("socket");
  const int one = 1;
  setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(i_port);
  if (inet_pton(AF_INET, i_strAddress.c_str(), &address.sin_addr) != 1) {
    errno = EINVAL;
    Fail("address " + i_strAddress);
  }
  if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Fail("bind " + i_strAddress + ":" + std::to_string(i_port));
  }
  if (::listen(m_listener, 4) != 0) Fail("listen");
  socklen_t length = sizeof address;
  if (::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    Fail("getsockname");
  m_port = ntohs(address.sin_port);
}

Server::~Server() {
  if (m_listener >= 0) ::close(m_listener);
}

void Server::Serve(int i_stopFd) {
  for (unsigned uNumber = 1; WaitReadable(m_listener, i_stopFd); ++uNumber) {
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ServeConnection(fd, i_stopFd, uNumber);
    ::close(fd);
  }
}

void Server::ServeConnection(int i_fd, int i_stopFd, unsigned i_uNumber) {
  Session session(m_router, "salt" + std::to_string(i_uNumber));
  std::string strPending;
  char buffer[4096];
  while (WaitReadable(i_fd, i_stopFd)) {
    const ssize_t n = ::recv(i_fd, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    strPending.append(buffer, static_cast<std::size_t>(n));
    std::size_t uLineEnd;
    while ((uLineEnd = strPending.find('\n')) != std::string::npos) {
      std::string strLine = strPending.substr(0, uLineEnd);
      strPending.erase(0, uLineEnd + 1);
      std::erase(strLine, '\r');
      SendAll(i_fd, session.Answer(strLine));
    }
    if (strPending.size() > 65536) return;  // no line is that long: not a client of ours
  }
}

}  // namespace routersim
