#pragma once

// The yardstick of the benchmarks: a plain blocking socket to 127.0.0.1 with a buffered line
// reader, no alarm and no byte-by-byte reads, making the same exchanges the client makes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "posix/UniqueFd.h"

namespace zezar_bench {

class BareClient {
 public:
  explicit BareClient(uint16_t i_port);  // throws std::runtime_error

  void Send(const std::string& i_strBytes);
  std::string Line();  // the next line without its line feed
  std::string Ask(const std::string& i_strCommand) {
    Send(i_strCommand + "\r\n");
    return Line();
  }
  // Up to i_uMax raw bytes: what the line reader took beyond its line first, else one recv.
  std::size_t Raw(char* o_pBuffer, std::size_t i_uMax);

 private:
  void Fill();

  posix::UniqueFd m_fd;
  std::string m_pending;  // read, not yet handed out: the reader keeps what follows a line
};

}  // namespace zezar_bench
