#include "text/Utf8.h"

namespace text {

std::size_t Utf8Sequence(std::string_view i_text, char32_t& o_codePoint) {
  if (i_text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(i_text[i]); };
  const unsigned char lead = byte(0);
  std::size_t uLength;
  char32_t minimum;
  if (lead < 0x80) {
    o_codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    uLength = 2, minimum = 0x80, o_codePoint = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    uLength = 3, minimum = 0x800, o_codePoint = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    uLength = 4, minimum = 0x10000, o_codePoint = lead & 0x07u;
  } else {
    return 0;
  }
  if (i_text.size() < uLength) return 0;
  for (std::size_t i = 1; i < uLength; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    o_codePoint = o_codePoint << 6 | (byte(i) & 0x3Fu);
  }
  if (o_codePoint < minimum || o_codePoint > 0x10FFFF ||
      (o_codePoint >= 0xD800 && o_codePoint <= 0xDFFF)) {
    return 0;
  }
  return uLength;
}

}  // namespace text
