// The preferences file reader, with toml++ compiled into this target header-only and
// instrumented, so the sanitizers and toml++'s own assertions see inside the parser. The input
// is the file's content, in a memory file opened by its /proc path as the host opens a file.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/TomlPreferences.h"

namespace {

const char* const kKeys[] = {"UpdateInterval",   "MaxChannelRate",  "RebootHaltEnabled",
                             "AutoDetectRouter", "RouterIPAddress", "RouterPort",
                             "RouterAdminPass",  "RouterUserPass"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  static const int file = memfd_create("preferences.toml", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(file);
  if (file < 0 || ftruncate(file, 0) != 0 ||
      pwrite(file, i_pData, i_uSize, 0) != static_cast<ssize_t>(i_uSize)) {
    std::abort();
  }
  platform::TomlPreferences preferences(path, "fuzz");
  for (const char* pKey : kKeys) {
    const auto value = preferences.CopyAppValue(pKey, "fuzz");
    // A file with a problem holds no keys.
    if (value && preferences.Problem()) std::abort();
  }
  return 0;
}
