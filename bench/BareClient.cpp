#include "BareClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zezar_bench {

BareClient::BareClient(uint16_t i_port) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  const int one = 1;
  setsockopt(m_fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(i_port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(m_fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("connect");
  }
}

void BareClient::Send(const std::string& i_strBytes) {
  if (::send(m_fd.get(), i_strBytes.data(), i_strBytes.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(i_strBytes.size())) {
    throw std::runtime_error("send");
  }
}

std::string BareClient::Line() {
  std::size_t uEnd;
  while ((uEnd = m_pending.find('\n')) == std::string::npos) Fill();
  std::string strLine = m_pending.substr(0, uEnd);
  m_pending.erase(0, uEnd + 1);
  return strLine;
}

std::size_t BareClient::Raw(char* o_pBuffer, std::size_t i_uMax) {
  if (m_pending.empty()) Fill();
  const std::size_t uTake = std::min(i_uMax, m_pending.size());
  std::memcpy(o_pBuffer, m_pending.data(), uTake);
  m_pending.erase(0, uTake);
  return uTake;
}

void BareClient::Fill() {
  char buffer[65536];
  const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
  if (n <= 0) throw std::runtime_error("recv");
  m_pending.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace zezar_bench
