#pragma once

// The simulated daemon's TCP side: it serves one connection at a time, in order, each with a
// session of its own, on blocking sockets. Run it in a process of its own (a demo, a test
// peer); it never shares a thread with a client.

#include <cstdint>
#include <string>

#include "routersim/Router.h"

namespace routersim {

class Server {
 public:
  // Listens on the IPv4 address and port (0: the kernel picks one). Throws std::system_error.
  Server(Router i_router, const std::string& i_strAddress, uint16_t i_port);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  uint16_t Port() const { return m_port; }
  const Router& router() const { return m_router; }

  // Serves connections until i_stopFd becomes readable (or, with -1, for ever).
  void Serve(int i_stopFd = -1);

 private:
  void ServeConnection(int i_fd, int i_stopFd, unsigned i_uNumber);

  Router m_router;
  int m_listener = -1;
  uint16_t m_port = 0;
};

}  // namespace routersim
