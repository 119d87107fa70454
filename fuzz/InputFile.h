#pragma once

// The fuzzer's input as the content of a file, for readers that take a path: one memory file
// per process, rewritten for each input and opened by its /proc path as a host opens a file.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

inline const std::string& InputAsFile(const uint8_t* i_pData, size_t i_uSize) {
  static const int file = memfd_create("input", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(file);
  if (file < 0 || ftruncate(file, 0) != 0 ||
      pwrite(file, i_pData, i_uSize, 0) != static_cast<ssize_t>(i_uSize)) {
    std::abort();
  }
  return path;
}
