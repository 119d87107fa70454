#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "client/Zastra.h"

namespace {

// The line buffer of Read: 8191 characters and the terminating NUL. Process-wide because only
// one Read runs at a time (one thread) and a line needs no allocation until it is returned.
constexpr std::size_t kLineBufferSize = 8192;
char g_lineBuffer[kLineBufferSize];

}  // namespace

Zastra::Socket* Zastra::Socket::SigAlarmObj = nullptr;

Zastra::Socket::Socket() : m_iFD(-1), m_iTimeout(1), m_iPort(0), m_pZastra(nullptr) {
  SigAlarmObj = nullptr;
}

Zastra::Socket::~Socket() {
  Disconnect();
  if (SigAlarmObj == this) SigAlarmObj = nullptr;
}

bool Zastra::Socket::Connect(std::string i_strHostname, uint32_t i_iPort) {
  Disconnect();

  SigAlarmObj = this;
  alarm(static_cast<unsigned>(m_iTimeout));
  m_strHostname = std::move(i_strHostname);
  m_iPort = i_iPort;

  const hostent* pHost = gethostbyname(m_strHostname.c_str());
  if (pHost == nullptr || pHost->h_addrtype != AF_INET || pHost->h_addr_list[0] == nullptr) {
    FailConnect("Host " + m_strHostname + " not found.");
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(m_iPort & 0xFFFFu));
  std::memcpy(&address.sin_addr, pHost->h_addr_list[0], sizeof address.sin_addr);

  m_iFD = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_iFD < 0) {
    m_iFD = -1;
    FailConnect("Error opening socket");
  }
  const int one = 1;
  setsockopt(m_iFD, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // each command leaves at once

  // No retry on EINTR: an interrupted connect is the time-out.
  if (::connect(m_iFD, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    FailConnect(std::strerror(errno));
  }
  alarm(0);
  SigAlarmObj = nullptr;
  return true;
}

void Zastra::Socket::FailConnect(std::string i_strMessage) {
  alarm(0);
  SigAlarmObj = nullptr;
  Disconnect();
  throw ConnectError(std::move(i_strMessage));
}

void Zastra::Socket::Disconnect() {
  if (m_iFD != -1) ::close(m_iFD);  // no retry on EINTR: the descriptor is gone either way
  m_iFD = -1;
}

void Zastra::Socket::Write(std::string i_strCommand) {
  if (!IsConnected()) return;
  // MSG_NOSIGNAL: a peer that has gone away must not raise SIGPIPE even before the handler
  // is installed.
  [[maybe_unused]] const ssize_t sent =
      ::send(m_iFD, i_strCommand.data(), i_strCommand.size(), MSG_NOSIGNAL);
}

std::string Zastra::Socket::Read() {
  if (!IsConnected()) return {};

  SigAlarmObj = this;
  alarm(static_cast<unsigned>(m_iTimeout));  // one alarm for the whole line
  std::size_t uLength = 0;
  bool bLineFeed = false;
  char byte = 0;
  // One byte per read: whatever follows the line feed must stay in the socket. The alarm
  // handler closes m_iFD and sets it to -1, so the descriptor is read afresh on every turn.
  while (::read(m_iFD, &byte, 1) == 1) {
    if (byte == '\n') {
      bLineFeed = true;
      break;
    }
    if (byte == '\r') continue;
    if (uLength < kLineBufferSize - 1) g_lineBuffer[uLength++] = byte;
  }
  alarm(0);
  SigAlarmObj = nullptr;

  g_lineBuffer[uLength] = '\0';
  std::string strLine(g_lineBuffer);  // up to the first NUL byte

  // End of stream or a read error: the peer is gone or broken, so treat it as a lost
  // connection, as the alarm handler already has for a time-out.
  if (!bLineFeed && IsConnected()) ConnectionLost();
  return strLine;
}

void Zastra::Socket::SetTimeout(int i_iTimeout) { m_iTimeout = i_iTimeout; }

bool Zastra::Socket::WaitFor(short i_sEvents, int i_iTimeoutMs) const {
  pollfd entry{m_iFD, i_sEvents, 0};
  int iResult;
  do {
    iResult = ::poll(&entry, 1, i_iTimeoutMs);  // an unrelated signal only repeats the wait
  } while (iResult < 0 && errno == EINTR);
  return iResult > 0;
}

std::size_t Zastra::Socket::ReadRaw(char* o_pBuffer, std::size_t i_uMax) {
  if (!IsConnected() || i_uMax == 0) return 0;
  ssize_t got = -1;
  if (WaitFor(POLLIN, kTransferTimeoutMs)) got = ::read(m_iFD, o_pBuffer, i_uMax);
  if (got > 0) return static_cast<std::size_t>(got);
  ConnectionLost();
  return 0;
}

bool Zastra::Socket::WriteRaw(const char* i_pData, std::size_t i_uLength) {
  std::size_t uSent = 0;
  while (IsConnected() && uSent < i_uLength) {
    if (!WaitFor(POLLOUT, kTransferTimeoutMs)) break;
    const ssize_t sent = ::send(m_iFD, i_pData + uSent, i_uLength - uSent, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) break;
    uSent += static_cast<std::size_t>(sent);
  }
  if (uSent == i_uLength) return true;
  if (IsConnected()) ConnectionLost();
  return false;
}

void Zastra::Socket::ConnectionLost() {
  Disconnect();
  if (m_pZastra != nullptr) m_pZastra->ConnectionLost();
}

void Zastra::Socket::SigAlarm(int) {
  const int savedErrno = errno;  // the interrupted Connect still reads errno for its message
  if (SigAlarmObj != nullptr) SigAlarmObj->ConnectionLost();
  errno = savedErrno;
}

void Zastra::Socket::InitSignalHandler() {
  // SIGPIPE from a write to a connection the router closed must not end the process.
  struct sigaction pipeAction {};
  pipeAction.sa_handler = SigAlarm;
  sigemptyset(&pipeAction.sa_mask);
  pipeAction.sa_flags = 0;
  if (sigaction(SIGPIPE, &pipeAction, nullptr) != 0) std::fputs("sigaction failed\n", stderr);

  // Without SA_RESTART, so that the alarm makes a blocked read() or connect() return EINTR.
  // signal() would not do: glibc installs its handlers with SA_RESTART.
  struct sigaction alarmAction {};
  sigaction(SIGALRM, nullptr, &alarmAction);
  alarmAction.sa_handler = SigAlarm;
  alarmAction.sa_flags &= ~(SA_RESTART | SA_SIGINFO | SA_RESETHAND);
  sigaction(SIGALRM, &alarmAction, nullptr);
}
