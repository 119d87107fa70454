#pragma once

// The simulated daemon in a child process of its own, listening on 127.0.0.1. Faults are
// injected while it runs; destroying the object stops and reaps the child.

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "posix/UniqueFd.h"
#include "routersim/Router.h"

namespace routersim {

class ServerProcess {
 public:
  explicit ServerProcess(Router i_router, uint16_t i_port = 0);  // throws std::system_error
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  uint16_t Port() const { return m_port; }

  // One fault line (see Faults.h), applied before this returns. Throws std::runtime_error
  // when the child rejects it or does not answer within a few seconds.
  void Inject(const std::string& i_strFault);
  // Whether the child still runs (a client may have halted it).
  bool Running();

 private:
  pid_t m_child = -1;
  posix::UniqueFd m_control;  // closing it tells the child to stop; faults go through it
  uint16_t m_port = 0;
};

}  // namespace routersim
