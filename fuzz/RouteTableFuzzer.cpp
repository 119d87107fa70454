// The reader of the kernel's routing table (the /proc/net/route format): whatever the table
// holds, the default router it names is a dotted IPv4 address or nothing.

#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "InputFile.h"
#include "router/DefaultRouter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  const std::optional<std::string> router =
      router::ProcNetRoute(InputAsFile(i_pData, i_uSize)).DefaultIPv4Router();
  in_addr address{};
  if (router && inet_pton(AF_INET, router->c_str(), &address) != 1) std::abort();
  return 0;
}
