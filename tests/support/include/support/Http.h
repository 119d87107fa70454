#pragma once

// HTTP as a test needs it from the exporter and from Prometheus: one request per connection
// to 127.0.0.1, the reply read to its end within a deadline, status and body split.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

#include "posix/UniqueFd.h"

namespace zezar_test {

struct HttpReply {
  int status = 0;  // 0: no reply within the deadline
  std::string body;
};

inline posix::UniqueFd ConnectTo(uint16_t i_port) {
  posix::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(i_port);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return posix::UniqueFd();
  return fd;
}

// What arrives until the peer closes, at most until the deadline.
inline std::string ReadToEnd(int i_fd, std::chrono::milliseconds i_deadline) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + i_deadline;
  std::string strData;
  for (char buffer[4096];;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    pollfd entry{i_fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t got = ::recv(i_fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    strData.append(buffer, static_cast<std::size_t>(got));
  }
  return strData;
}

inline HttpReply HttpGet(uint16_t i_port, const std::string& i_strTarget,
                         const std::string& i_strMethod = "GET",
                         std::chrono::milliseconds i_deadline = std::chrono::seconds(10)) {
  HttpReply reply;
  const posix::UniqueFd fd = ConnectTo(i_port);
  if (!fd) return reply;
  const std::string strRequest =
      i_strMethod + " " + i_strTarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  // A server may answer before it has taken the whole request (a URL past its limit) and close
  // the connection, which cuts the send short: its answer is still read.
  if (::send(fd.get(), strRequest.data(), strRequest.size(), MSG_NOSIGNAL) < 0 && errno != EPIPE &&
      errno != ECONNRESET)
    return reply;
  const std::string strData = ReadToEnd(fd.get(), i_deadline);
  const std::size_t uHead = strData.find("\r\n\r\n");
  if (strData.rfind("HTTP/1.", 0) != 0 || uHead == std::string::npos || strData.size() < 12)
    return reply;
  reply.status = std::stoi(strData.substr(9, 3));
  reply.body = strData.substr(uHead + 4);
  return reply;
}

}  // namespace zezar_test
