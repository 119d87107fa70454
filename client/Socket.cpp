#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "HostLookup.h"
#include "client/BetweenExchanges.h"
#include "client/Zastra.h"

namespace {

// The line buffer of Read: 8191 characters and the terminating NUL. One per thread, because
// only one Read runs at a time on a thread and a line needs no allocation until it is returned.
constexpr std::size_t kLineBufferSize = 8192;
thread_local char g_lineBuffer[kLineBufferSize];

// What the host runs before each command (BetweenExchanges.h). Set by the host around the life
// of its client, read by Write; one thread, so no lock.
zastra::BetweenExchanges g_betweenExchanges = nullptr;
void* g_pBetweenExchangesContext = nullptr;

// The TCP handshake, bounded by the socket's send time-out, which the kernel applies to a
// blocking connect (socket(7)): 0, or the errno that says why not. Running out of time
// (EINPROGRESS) reads as EINTR, the error of an attempt a signal cut short, so that both say
// the same to people as the alarm that bounded it once did. No retry on EINTR, which a stop and
// continue (a debugger attaching) also gives, as it does to the exchanges' waits.
int Handshake(int i_iFD, const sockaddr_in& i_address) {
  if (::connect(i_iFD, reinterpret_cast<const sockaddr*>(&i_address), sizeof i_address) == 0) {
    return 0;
  }
  return errno == EINPROGRESS ? EINTR : errno;
}

}  // namespace

void zastra::SetBetweenExchanges(BetweenExchanges i_call, void* i_pContext) {
  g_betweenExchanges = i_call;
  g_pBetweenExchangesContext = i_pContext;
}

Zastra::Socket::Socket() : m_iFD(-1), m_iTimeout(1), m_iPort(0), m_pZastra(nullptr) {}

Zastra::Socket::~Socket() { Disconnect(); }

bool Zastra::Socket::Connect(std::string i_strHostname, uint32_t i_iPort) {
  Disconnect();

  const Clock::time_point deadline = Bounded(Clock::now() + Timeout());
  m_strHostname = std::move(i_strHostname);
  m_iPort = i_iPort;

  const std::optional<in_addr> host = zastra_net::LookUpIPv4(
      m_strHostname, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
  if (!host) FailConnect("Host " + m_strHostname + " not found.");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(m_iPort & 0xFFFFu));
  address.sin_addr = *host;

  m_iFD = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_iFD < 0) {
    m_iFD = -1;
    FailConnect("Error opening socket");
  }
  const int one = 1;
  setsockopt(m_iFD, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // each command leaves at once

  // The time-outs are set once for the handshake and the exchanges alike, unless the deadline
  // leaves the handshake less than a whole time-out.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  int error = EINTR;  // no time left: as if the time-out had run out
  if (left.count() > 0) {
    if (!UseTimeout(std::min<std::chrono::milliseconds>(left, Timeout())))
      FailConnect(std::strerror(errno));
    error = Handshake(m_iFD, address);
  }
  if (error == EINTR) ConnectionLost();  // out of time, or a signal: as a lost connection
  if (error != 0) FailConnect(std::strerror(error));
  if (!UseTimeout(Timeout())) FailConnect(std::strerror(errno));  // no connection without it
  return true;
}

void Zastra::Socket::FailConnect(std::string i_strMessage) {
  Disconnect();
  throw ConnectError(std::move(i_strMessage));
}

Zastra::Socket::Clock::time_point Zastra::Socket::Bounded(Clock::time_point i_time) const {
  return m_deadline ? std::min(i_time, *m_deadline) : i_time;
}

void Zastra::Socket::Disconnect() {
  if (m_iFD != -1) ::close(m_iFD);  // no retry on EINTR: the descriptor is gone either way
  m_iFD = -1;
  m_uTaken = m_uArrived = 0;  // what the last connection sent is no answer to the next
  m_appliedTimeout = std::chrono::milliseconds(0);  // a new socket has none set
}

std::chrono::seconds Zastra::Socket::Timeout() const {
  return std::chrono::seconds(std::max(m_iTimeout, 1));
}

// The socket's own time-outs bound every blocking receive and send on it. The kernel never
// restarts such a call after a signal handler has run, SA_RESTART or not: any signal ends the
// wait with EINTR, which the callers take as the time-out.
bool Zastra::Socket::UseTimeout(std::chrono::milliseconds i_timeout) {
  if (i_timeout == m_appliedTimeout) return true;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(i_timeout);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(i_timeout - seconds);
  const timeval limit{static_cast<time_t>(seconds.count()),
                      static_cast<suseconds_t>(micros.count())};
  if (setsockopt(m_iFD, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
      setsockopt(m_iFD, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
    m_appliedTimeout = std::chrono::milliseconds(0);
    return false;
  }
  m_appliedTimeout = i_timeout;
  return true;
}

void Zastra::Socket::Write(std::string i_strCommand) {
  if (!IsConnected()) return;
  if (g_betweenExchanges != nullptr) g_betweenExchanges(g_pBetweenExchangesContext);
  if (!UseTimeout(Timeout())) return ConnectionLost();  // never an unbounded wait
  // Close to the caller's deadline the send time-out would outlast it: the router must be
  // ready to take the line by then.
  if (m_deadline && *m_deadline - Clock::now() < Timeout() && !WaitUntil(POLLOUT, *m_deadline)) {
    return ConnectionLost();
  }
  // MSG_NOSIGNAL: a peer that has gone away must not raise SIGPIPE even before the handler
  // is installed.
  const ssize_t sent = ::send(m_iFD, i_strCommand.data(), i_strCommand.size(), MSG_NOSIGNAL);
  if (sent == static_cast<ssize_t>(i_strCommand.size())) return;
  const int error = errno;
  // A router that has gone shows at the next read. A router that stopped reading (the time-out
  // ran out with the line unsent or torn) or a signal leaves the connection out of step.
  if (sent < 0 && error != EAGAIN && error != EWOULDBLOCK && error != EINTR) return;
  ConnectionLost();
}

std::string Zastra::Socket::Read() { return ReadLine(std::nullopt); }

std::string Zastra::Socket::ReadLine(std::optional<Clock::time_point> i_answerDeadline) {
  if (!IsConnected()) return {};
  if (!UseTimeout(Timeout())) {  // never an unbounded wait
    ConnectionLost();
    return {};
  }

  const Clock::time_point lineDeadline = Clock::now() + Timeout();
  const Clock::time_point deadline =
      Bounded(std::min(lineDeadline, i_answerDeadline.value_or(lineDeadline)));
  std::size_t uLength = 0;
  bool bLineFeed = false;
  // While the whole time-out is left, the socket's receive time-out bounds the first wait and
  // no poll is needed; after that the rest of the time is counted here.
  bool bWait = deadline < lineDeadline;
  for (;;) {
    // Take from what has arrived, through the line feed at most.
    const char* pArrived = m_received + m_uTaken;
    const std::size_t uArrived = m_uArrived - m_uTaken;
    const char* pLineFeed = static_cast<const char*>(std::memchr(pArrived, '\n', uArrived));
    const std::size_t uTake = pLineFeed != nullptr ? (pLineFeed - pArrived) + 1 : uArrived;
    for (std::size_t i = 0; i < uTake - (pLineFeed != nullptr ? 1 : 0); ++i) {
      if (pArrived[i] == '\r') continue;
      if (uLength < kLineBufferSize - 1) g_lineBuffer[uLength++] = pArrived[i];
    }
    m_uTaken += uTake;
    if (pLineFeed != nullptr) {
      bLineFeed = true;
      break;
    }
    // All of it taken: the buffer starts afresh with what comes next.
    m_uTaken = m_uArrived = 0;
    if (bWait && !WaitUntil(POLLIN, deadline)) break;
    // No retry on EINTR: an interrupted wait is the time-out.
    const ssize_t got = ::recv(m_iFD, m_received, sizeof m_received, 0);
    if (got <= 0) break;  // end of stream, an error, the time-out, a signal
    m_uArrived = static_cast<std::size_t>(got);
    bWait = true;  // a line not yet whole waits for its rest against the deadline
  }

  g_lineBuffer[uLength] = '\0';
  std::string strLine(g_lineBuffer);  // up to the first NUL byte

  // A time-out, a signal, end of stream or a read error: the peer is gone, silent or broken,
  // or the host wants the wait to end. Either way the connection is lost.
  if (!bLineFeed) ConnectionLost();
  return strLine;
}

void Zastra::Socket::SetTimeout(int i_iTimeout) { m_iTimeout = i_iTimeout; }

bool Zastra::Socket::WaitUntil(short i_events, Clock::time_point i_deadline) const {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(i_deadline - Clock::now());
  if (left.count() <= 0) return false;
  pollfd entry{m_iFD, i_events, 0};
  // No retry on EINTR: a signal ends the wait like the time-out.
  return ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30))) > 0;
}

std::size_t Zastra::Socket::ReadRaw(char* o_pBuffer, std::size_t i_uMax) {
  if (!IsConnected() || i_uMax == 0) return 0;
  if (m_uTaken < m_uArrived) {  // what came with the last line comes first
    const std::size_t uGive = std::min(i_uMax, m_uArrived - m_uTaken);
    std::memcpy(o_pBuffer, m_received + m_uTaken, uGive);
    m_uTaken += uGive;
    return uGive;
  }
  ssize_t got = -1;
  // The socket's time-out bounds the wait; no retry on EINTR.
  if (UseTimeout(std::chrono::milliseconds(kTransferTimeoutMs))) {
    got = ::recv(m_iFD, o_pBuffer, i_uMax, 0);
  }
  if (got > 0) return static_cast<std::size_t>(got);
  ConnectionLost();
  return 0;
}

bool Zastra::Socket::WriteRaw(const char* i_pData, std::size_t i_uLength) {
  if (!IsConnected()) return false;
  // One send: on a blocking socket it comes back short only when the time-out ran out or a
  // signal interrupted it, and either ends the transfer.
  if (UseTimeout(std::chrono::milliseconds(kTransferTimeoutMs)) &&
      ::send(m_iFD, i_pData, i_uLength, MSG_NOSIGNAL) == static_cast<ssize_t>(i_uLength)) {
    return true;
  }
  ConnectionLost();
  return false;
}

void Zastra::Socket::ConnectionLost() {
  Disconnect();
  if (m_pZastra != nullptr) m_pZastra->ConnectionLost();
}

// SIGPIPE from a write to a connection the router closed must not end the process (sends say
// MSG_NOSIGNAL; this catches what a host's own writes might raise). SIGALRM, once the bound of
// a connection attempt, keeps the same handler: an alarm still ends a blocked wait of the
// client as its time-out does, and never the process.
void Zastra::Socket::SigIgnore(int) {}

void Zastra::Socket::InitSignalHandler() {
  struct sigaction pipeAction {};
  pipeAction.sa_handler = SigIgnore;
  sigemptyset(&pipeAction.sa_mask);
  pipeAction.sa_flags = 0;
  if (sigaction(SIGPIPE, &pipeAction, nullptr) != 0) std::fputs("sigaction failed\n", stderr);

  // Without SA_RESTART, so that the signal makes a blocked call return EINTR. signal() would
  // not do: glibc installs its handlers with SA_RESTART.
  struct sigaction alarmAction {};
  sigaction(SIGALRM, nullptr, &alarmAction);
  alarmAction.sa_handler = SigIgnore;
  alarmAction.sa_flags &= ~(SA_RESTART | SA_SIGINFO | SA_RESETHAND);
  sigaction(SIGALRM, &alarmAction, nullptr);
}
