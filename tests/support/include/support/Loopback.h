#pragma once

// A TCP socket on 127.0.0.1 at a port the kernel picks: where a test's, a benchmark's or a
// fuzz target's peer waits for the client. Header only, so that targets which build no test
// library (the fuzz targets) take it too.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "posix/UniqueFd.h"

namespace zezar_test {

// Listening with this backlog, or bound only (connections refused) with a backlog below 0.
// Throws std::system_error naming the call that failed.
inline posix::UniqueFd ListenOnLoopback(int i_iBacklog, uint16_t& o_port) {
  const auto fail = [](const char* i_pCall) {
    throw std::system_error(errno, std::generic_category(), i_pCall);
  };
  posix::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) fail("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fail("bind");
  if (i_iBacklog >= 0 && ::listen(fd.get(), i_iBacklog) != 0) fail("listen");
  socklen_t length = sizeof address;
  if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    fail("getsockname");
  o_port = ntohs(address.sin_port);
  return fd;
}

}  // namespace zezar_test
