#include "text/Printable.h"

#include <cstdint>

#include "text/Utf8.h"

namespace text {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool IsControl(char32_t i_codePoint) {
  return i_codePoint < 0x20 || (i_codePoint >= 0x7F && i_codePoint <= 0x9F);
}

}  // namespace

std::string Printable(std::string_view i_strUtf8) {
  std::string strOut;
  strOut.reserve(i_strUtf8.size());
  while (!i_strUtf8.empty()) {
    char32_t codePoint = 0;
    const std::size_t length = Utf8Sequence(i_strUtf8, codePoint);
    if (length == 0 || IsControl(codePoint)) {
      strOut += kReplacement;
      i_strUtf8.remove_prefix(length == 0 ? 1 : length);
    } else {
      strOut += i_strUtf8.substr(0, length);
      i_strUtf8.remove_prefix(length);
    }
  }
  return strOut;
}

}  // namespace text
