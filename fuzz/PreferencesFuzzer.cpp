// The preferences file reader, with toml++ compiled into this target as the preferences library
// builds it and instrumented, so the sanitizers see inside the parser. The input is the file's
// content, in a memory file opened by its /proc path as the host opens a file; one store reads
// it alone, another after it has read good settings.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "InputFile.h"
#include "preferences/TomlPreferences.h"

namespace {

const char* const kKeys[] = {"UpdateInterval",   "MaxChannelRate",  "RebootHaltEnabled",
                             "AutoDetectRouter", "RouterIPAddress", "RouterPort",
                             "RouterAdminPass",  "RouterUserPass"};

const std::string kGood = "RouterPort = 5000\n";

// What the store that read kGood first holds through a problem.
std::optional<preferences::PreferenceValue> Kept(const std::string& i_strKey) {
  if (i_strKey == "RouterPort") return preferences::PreferenceValue(5000L);
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  const auto* pGood = reinterpret_cast<const uint8_t*>(kGood.data());
  preferences::TomlPreferences kept(InputAsFile(pGood, kGood.size()), "fuzz");
  const std::string& path = InputAsFile(i_pData, i_uSize);
  kept.AppSynchronize("fuzz");
  preferences::TomlPreferences fresh(path, "fuzz");

  if (kept.Problem() != fresh.Problem() || !kept.HasGoodSettings()) std::abort();
  // With a problem and no good read before, a store has no settings.
  if (fresh.Problem() && fresh.HasGoodSettings()) std::abort();
  for (const char* pKey : kKeys) {
    const auto value = fresh.CopyAppValue(pKey, "fuzz");
    if (value && !fresh.HasGoodSettings()) std::abort();
    // Through a problem the other store keeps what it read before; otherwise it reads the same.
    if (kept.CopyAppValue(pKey, "fuzz") != (kept.Problem() ? Kept(pKey) : value)) std::abort();
  }
  return 0;
}
