#pragma once

// The router's side of the client benchmarks, in a child process listening on 127.0.0.1: it
// answers every command line with "OK 37", except "send NAME PASSWORD", which it answers with
// a file of kFileSize bytes in blocks of 1024, each acknowledged, and a closing line, as a
// router does. It serves one connection at a time, each until the client closes it.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "posix/UniqueFd.h"

namespace zezar_bench {

class BenchPeer {
 public:
  static constexpr std::size_t kFileSize = 1u << 20;

  BenchPeer();  // throws std::system_error
  ~BenchPeer();
  BenchPeer(const BenchPeer&) = delete;
  BenchPeer& operator=(const BenchPeer&) = delete;

  uint16_t Port() const { return m_port; }

 private:
  uint16_t m_port = 0;
  pid_t m_child = -1;
  posix::UniqueFd m_stop;  // closing it tells the child to stop
};

}  // namespace zezar_bench
