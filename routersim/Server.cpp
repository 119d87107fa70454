#include "routersim/Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

namespace routersim {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kMaxConnections = 900;  // below the usual limit of 1024 descriptors

[[noreturn]] void Fail(const std::string& i_strWhat) {
  throw std::system_error(errno, std::generic_category(), i_strWhat);
}

bool WouldBlock(int i_error) { return i_error == EAGAIN || i_error == EWOULDBLOCK; }

}  // namespace

Server::Server(Router i_router, const std::string& i_strAddress, uint16_t i_port)
    : m_router(std::move(i_router)), m_strAddress(i_strAddress), m_port(i_port) {
  Listen();
}

void Server::Listen() {
  posix::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener) Fail("socket");
  const int one = 1;
  setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(m_port);
  if (inet_pton(AF_INET, m_strAddress.c_str(), &address.sin_addr) != 1) {
    errno = EINVAL;
    Fail("address " + m_strAddress);
  }
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Fail("bind " + m_strAddress + ":" + std::to_string(m_port));
  }
  if (::listen(listener.get(), SOMAXCONN) != 0) Fail("listen");
  socklen_t length = sizeof address;
  if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    Fail("getsockname");
  m_port = ntohs(address.sin_port);  // a reboot listens on the same port again
  m_listener = std::move(listener);
}

void Server::ListenAgain(Clock::time_point i_now) {
  try {
    Listen();
    Say("up again");
  } catch (const std::system_error& error) {
    Say(std::string(error.what()) + ", trying again");
    m_refuseUntil = i_now + 100ms;
  }
}

void Server::Say(const std::string& i_strMessage) const {
  if (m_log) m_log(i_strMessage);
}

void Server::Serve(Control i_control) {
  std::vector<pollfd> fds;
  while (!m_bHalted) {
    const Clock::time_point now = Clock::now();
    if (!m_listener && now >= m_refuseUntil) ListenAgain(now);
    const bool bStalled = now < m_stallUntil;

    // Who is polled, and the earliest moment something timed happens.
    Clock::time_point wake = Clock::time_point::max();
    const auto wakeAt = [&](Clock::time_point i_when) {
      if (i_when > now) wake = std::min(wake, i_when);
    };
    fds.clear();
    fds.push_back({i_control.in, POLLIN, 0});
    const bool bAccepting =
        m_listener && now >= m_acceptPausedUntil && m_connections.size() < kMaxConnections;
    fds.push_back({bAccepting ? m_listener.get() : -1, POLLIN, 0});
    if (!m_listener) wakeAt(m_refuseUntil);
    if (m_listener && !bAccepting) wakeAt(m_acceptPausedUntil);
    if (bStalled) wakeAt(m_stallUntil);
    for (Connection& connection : m_connections) {
      short events = 0;
      if (!bStalled) {
        // Nothing more is read from a client until it has taken its answer.
        if (connection.out.empty()) {
          events = POLLIN;
        } else if (now >= connection.sendAt) {
          events = POLLOUT;
        } else {
          wakeAt(connection.sendAt);
        }
      }
      fds.push_back({connection.fd.get(), events, 0});
    }
    int timeoutMs = -1;
    if (wake != Clock::time_point::max()) {
      // A stall or a reboot may last longer than an int of milliseconds holds.
      timeoutMs = static_cast<int>(std::min<long long>(
          std::chrono::ceil<std::chrono::milliseconds>(wake - now).count(), 1 << 30));
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
    }

    const Clock::time_point after = Clock::now();
    // Faults first, so that one injected before a request applies to it. A fault that closed
    // the connections leaves none for this round's events to match: new ones come only below.
    if (fds[0].revents != 0) {
      if (!ReadControl(i_control, after)) {
        if (i_control.bStopAtEnd) return;
        i_control.in = -1;
      }
    }
    auto connection = m_connections.begin();
    for (std::size_t i = 2; i < fds.size() && connection != m_connections.end(); ++i) {
      bool bKeep = true;
      if (fds[i].revents != 0) {
        if (fds[i].revents & POLLOUT)
          bKeep = ServeOutput(*connection);
        else
          bKeep = ServeInput(*connection, after);
      }
      connection = bKeep ? std::next(connection) : m_connections.erase(connection);
    }
    if (m_rebootPending) Reboot(after, *std::exchange(m_rebootPending, std::nullopt));
    if (fds[1].fd >= 0 && fds[1].revents != 0 && m_listener) AcceptAll(after);
  }
}

void Server::AcceptAll(Clock::time_point i_now) {
  while (m_connections.size() < kMaxConnections) {
    posix::UniqueFd fd(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        m_acceptPausedUntil = i_now + 100ms;
      }
      return;  // EAGAIN: no one else waits; anything else: that connection is gone
    }
    const int one = 1;
    setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ++m_uAccepted;
    m_connections.push_back(
        Connection{std::move(fd),
                   Session(m_router, "salt" + std::to_string(m_uAccepted), &m_faults, &m_requests),
                   {},
                   i_now,
                   false});
  }
}

bool Server::ServeInput(Connection& io_connection, Clock::time_point i_now) {
  char buffer[16384];
  const ssize_t n = ::recv(io_connection.fd.get(), buffer, sizeof buffer, 0);
  if (n < 0 && (errno == EINTR || WouldBlock(errno))) return true;
  if (n <= 0) return false;
  io_connection.out += io_connection.session.Feed(std::string_view(buffer, std::size_t(n)));
  io_connection.sendAt = i_now + m_latency;
  switch (io_connection.session.TakeRequest()) {
    case SessionRequest::None:
      break;
    case SessionRequest::Close:
      io_connection.bCloseWhenSent = true;
      break;
    case SessionRequest::Reboot:
      // The answer goes out first; the reboot follows at once.
      ServeOutput(io_connection);
      m_rebootPending = std::chrono::seconds(m_router.rebootSeconds);
      return true;
    case SessionRequest::Halt:
      ServeOutput(io_connection);
      Say("halted by a client");
      m_bHalted = true;
      return false;
  }
  if (io_connection.out.empty() && io_connection.bCloseWhenSent) return false;
  return true;
}

bool Server::ServeOutput(Connection& io_connection) {
  while (!io_connection.out.empty()) {
    const ssize_t n = ::send(io_connection.fd.get(), io_connection.out.data(),
                             io_connection.out.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && WouldBlock(errno)) return true;  // a slow reader: the rest waits for it
    if (n <= 0) return false;
    io_connection.out.erase(0, static_cast<std::size_t>(n));
  }
  return !io_connection.bCloseWhenSent;
}

bool Server::ReadControl(const Control& i_control, Clock::time_point i_now) {
  char buffer[512];
  const ssize_t n = ::read(i_control.in, buffer, sizeof buffer);
  if (n < 0 && errno == EINTR) return true;
  if (n <= 0) return false;
  m_strControlPending.append(buffer, static_cast<std::size_t>(n));
  std::size_t uLineEnd;
  while ((uLineEnd = m_strControlPending.find('\n')) != std::string::npos) {
    const std::string strLine = m_strControlPending.substr(0, uLineEnd);
    m_strControlPending.erase(0, uLineEnd + 1);
    std::string strReply;
    if (const auto [word, keyword] = Split(strLine); word == "served") {
      strReply = "ok " + Served(keyword);
      Say("served " + std::string(keyword) + ": " + strReply.substr(3));
    } else {
      std::string strError;
      const std::optional<FaultCommand> fault = ParseFault(strLine, strError);
      if (fault) {
        ApplyFault(*fault, i_now);
        Say("fault: " + strLine);
      } else {
        Say(strError);
      }
      strReply = fault ? "ok" : "error: " + strError;
    }
    if (i_control.out >= 0) {
      strReply += '\n';
      [[maybe_unused]] const ssize_t sent =
          ::send(i_control.out, strReply.data(), strReply.size(), MSG_NOSIGNAL);
    }
  }
  return true;
}

std::string Server::Served(std::string_view i_strKeyword) const {
  uint64_t uRequests = 0;
  for (const auto& [keyword, count] : m_requests)
    if (i_strKeyword.empty() || keyword == i_strKeyword) uRequests += count;
  return std::to_string(uRequests) + " " + std::to_string(m_uAccepted);
}

void Server::ApplyFault(const FaultCommand& i_fault, Clock::time_point i_now) {
  using Kind = FaultCommand::Kind;
  switch (i_fault.kind) {
    case Kind::Stall:
      m_stallUntil = i_now + std::chrono::seconds(i_fault.value);
      break;
    case Kind::Latency:
      m_latency = std::chrono::milliseconds(i_fault.value);
      break;
    case Kind::Garbage:
      m_faults.garbageAnswers = i_fault.value;
      break;
    case Kind::Lie:
      m_faults.lieBytes = i_fault.value;
      break;
    case Kind::Cut:
      m_faults.cutAfterBytes = i_fault.value;
      break;
    case Kind::Close:
      m_connections.clear();
      break;
    case Kind::Reboot:
      Reboot(i_now, std::chrono::seconds(i_fault.value));
      break;
    case Kind::Clear:
      m_stallUntil = m_refuseUntil = i_now;
      m_latency = {};
      m_faults = {};
      // Listening before the reply says "ok": a client told so may connect straight away.
      if (!m_listener) ListenAgain(i_now);
      break;
  }
}

void Server::Reboot(Clock::time_point i_now, std::chrono::seconds i_down) {
  // The listener goes first: a client that sees its connection end and at once connects again
  // must be refused, not let into the old listener's queue in the moment before it closes.
  if (i_down.count() > 0) {
    m_listener.reset();  // connection attempts are refused until the router is back
    m_refuseUntil = i_now + i_down;
  }
  m_connections.clear();
  m_router.bootTime = i_now + i_down;
  m_router.uptime = 1;  // a router that answers has been up for a moment
  Say("rebooting for " + std::to_string(i_down.count()) + " s");
}

}  // namespace routersim
