#pragma once

// The simulated daemon in a child process of its own, listening on 127.0.0.1. Closing the
// object stops and reaps the child.

#include <sys/types.h>

#include <cstdint>

#include "routersim/Router.h"

namespace routersim {

class ServerProcess {
 public:
  explicit ServerProcess(Router i_router, uint16_t i_port = 0);  // throws std::system_error
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  uint16_t Port() const { return m_port; }

 private:
  pid_t m_child = -1;
  int m_stop = -1;  // closing it tells the child to stop
  uint16_t m_port = 0;
};

}  // namespace routersim
