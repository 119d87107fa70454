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
  pid_t Pid() const { return m_child; }

  // One fault line (see Faults.h), applied before this returns. Throws std::runtime_error
  // when the child rejects it or does not answer within a few seconds.
  void Inject(const std::string& i_strFault);

  // What the child has done so far, for tests that wait for a client rather than for time.
  struct Served {
    uint64_t requests;     // answered, with the keyword asked for (all when it is empty)
    uint64_t connections;  // accepted
  };
  // Throws as Inject does.
  Served Count(const std::string& i_strKeyword = "");

  // Whether the child still runs (a client may have halted it).
  bool Running();

 private:
  // Sends one control line and returns the reply line, without its line feed.
  std::string Ask(const std::string& i_strLine);

  pid_t m_child = -1;
  posix::UniqueFd m_control;  // closing it tells the child to stop; faults go through it
  uint16_t m_port = 0;
};

}  // namespace routersim
