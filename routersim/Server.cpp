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

#include "ShownText.h"

namespace routersim {

namespace {

using namespace std::chrono_literals;

// A control line longer than this is no fault's: it is answered as one, cut, and the rest of
// it up to its line feed is dropped.
constexpr std::size_t kMaxControlLine = 4096;

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
    CloseIdle(now);
    fds.clear();
    fds.push_back({i_control.in, POLLIN, 0});
    const bool bAccepting = m_listener && now >= m_acceptPausedUntil &&
                            (m_connections.size() < m_router.limits.connections ||
                             LongestIdle() != m_connections.end());
    fds.push_back({bAccepting ? m_listener.get() : -1, POLLIN, 0});
    if (!m_listener) wakeAt(m_refuseUntil);
    if (m_listener && now < m_acceptPausedUntil) wakeAt(m_acceptPausedUntil);
    if (bStalled) wakeAt(m_stallUntil);
    for (Connection& connection : m_connections) {
      wakeAt(IdleUntil(connection));
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
        connection->lastActive = after;
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

Server::Clock::time_point Server::IdleUntil(const Connection& i_connection) const {
  // Nothing moves while an answer is held back or the router stalls: that is no client's doing.
  return std::max({i_connection.lastActive, i_connection.sendAt, m_stallUntil}) +
         m_router.limits.idleTimeout;
}

void Server::CloseIdle(Clock::time_point i_now) {
  std::size_t uClosed = 0;
  for (auto connection = m_connections.begin(); connection != m_connections.end();) {
    const bool bIdle = i_now >= IdleUntil(*connection);
    uClosed += bIdle ? 1 : 0;
    connection = bIdle ? m_connections.erase(connection) : std::next(connection);
  }
  if (uClosed > 0) Say("closed " + std::to_string(uClosed) + " idle connection(s)");
}

std::list<Server::Connection>::iterator Server::LongestIdle() {
  // Only one that waits for its next request: nothing owed to it, no transfer, no line begun.
  auto longest = m_connections.end();
  for (auto connection = m_connections.begin(); connection != m_connections.end(); ++connection) {
    if (!connection->out.empty() || !connection->session.WaitsForRequest()) continue;
    if (longest == m_connections.end() || connection->lastActive < longest->lastActive)
      longest = connection;
  }
  return longest;
}

void Server::AcceptAll(Clock::time_point i_now) {
  for (;;) {
    // All taken: the one idle longest makes room, once a newcomer is there; without one idle,
    // newcomers wait in the backlog.
    const bool bFull = m_connections.size() >= m_router.limits.connections;
    if (bFull && LongestIdle() == m_connections.end()) return;
    posix::UniqueFd fd(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        m_acceptPausedUntil = i_now + 100ms;
      }
      return;  // EAGAIN: no one else waits; anything else: that connection is gone
    }
    if (bFull) {
      m_connections.erase(LongestIdle());
      if (!m_bToldFull) Say("every connection taken: closing the one idle longest for a new one");
      m_bToldFull = true;
    }
    const int one = 1;
    setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ++m_uAccepted;
    m_connections.push_back(
        Connection{std::move(fd),
                   Session(m_router, "salt" + std::to_string(m_uAccepted), &m_faults, &m_requests),
                   {},
                   i_now,
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
  if (io_connection.out.size() > m_router.limits.outputBytes) {
    Say("a client asked for more than " + std::to_string(m_router.limits.outputBytes) +
        " bytes it has not taken; closing it");
    return false;
  }
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
  for (;;) {
    const std::size_t uLineEnd = m_strControlPending.find('\n');
    if (m_bSkippingControlLine) {  // the rest of a line too long, up to its end
      m_strControlPending.erase(0, uLineEnd == std::string::npos ? uLineEnd : uLineEnd + 1);
      if (uLineEnd == std::string::npos) break;
      m_bSkippingControlLine = false;
      continue;
    }
    const bool bTooLong =
        uLineEnd == std::string::npos && m_strControlPending.size() > kMaxControlLine;
    if (uLineEnd == std::string::npos && !bTooLong) break;
    const std::string strLine = m_strControlPending.substr(0, std::min(uLineEnd, kMaxControlLine));
    m_strControlPending.erase(0, bTooLong ? kMaxControlLine : uLineEnd + 1);
    m_bSkippingControlLine = bTooLong;
    std::string strReply;
    if (const auto [word, keyword] = Split(strLine); word == "served") {
      strReply = "ok " + Served(keyword);
      Say("served " + ShownText(keyword) + ": " + strReply.substr(3));
    } else {
      std::string strError;
      const std::optional<FaultCommand> fault = ParseFault(strLine, strError);
      if (fault) {
        ApplyFault(*fault, i_now);
        Say("fault: " + ShownText(strLine));
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
