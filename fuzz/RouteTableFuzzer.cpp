// The reader of the kernel's routing table (the /proc/net/route format): whatever the table
// holds, the default router it names is a dotted IPv4 address or nothing.

#include <arpa/inet.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/DefaultRouter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  static const int file = memfd_create("route", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(file);
  if (file < 0 || ftruncate(file, 0) != 0 ||
      pwrite(file, i_pData, i_uSize, 0) != static_cast<ssize_t>(i_uSize)) {
    std::abort();
  }
  const std::optional<std::string> router = platform::ProcNetRoute(path).DefaultIPv4Router();
  in_addr address{};
  if (router && inet_pton(AF_INET, router->c_str(), &address) != 1) std::abort();
  return 0;
}
