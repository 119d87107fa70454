// The Mac OS Roman codec both ways: every byte string becomes UTF-8 that converts back to the
// same bytes, and UTF-8 that converts at all converts back to itself.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/MacRoman.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  const std::string_view input(reinterpret_cast<const char*>(i_pData), i_uSize);

  const std::string utf8 = text::MacRomanToUtf8(input);
  const std::optional<std::string> bytes = text::Utf8ToMacRoman(utf8);
  if (!bytes || *bytes != input) std::abort();

  if (const std::optional<std::string> roman = text::Utf8ToMacRoman(input)) {
    if (roman->size() > input.size() || text::MacRomanToUtf8(*roman) != input) std::abort();
  }
  return 0;
}
