// The preferences file reader, with toml++ compiled into this target as the preferences library
// builds it and instrumented, so the sanitizers see inside the parser. The input is the file's
// content, in a memory file opened by its /proc path as the host opens a file.

#include <cstdint>
#include <cstdlib>

#include "InputFile.h"
#include "preferences/TomlPreferences.h"

namespace {

const char* const kKeys[] = {"UpdateInterval",   "MaxChannelRate",  "RebootHaltEnabled",
                             "AutoDetectRouter", "RouterIPAddress", "RouterPort",
                             "RouterAdminPass",  "RouterUserPass"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  preferences::TomlPreferences preferences(InputAsFile(i_pData, i_uSize), "fuzz");
  for (const char* pKey : kKeys) {
    const auto value = preferences.CopyAppValue(pKey, "fuzz");
    // A file with a problem holds no keys.
    if (value && preferences.Problem()) std::abort();
  }
  return 0;
}
