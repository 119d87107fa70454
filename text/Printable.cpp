#include "text/Printable.h"

#include <cstdint>

namespace text {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of the text, and its code point;
// 0 when there is none (overlong forms, surrogates and values past U+10FFFF are not).
std::size_t Sequence(std::string_view i_text, uint32_t& o_codePoint) {
  const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(i_text[i]); };
  const uint8_t lead = byte(0);
  std::size_t length;
  uint32_t minimum;
  if (lead < 0x80) {
    o_codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, o_codePoint = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, o_codePoint = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, o_codePoint = lead & 0x07u;
  } else {
    return 0;
  }
  if (i_text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    o_codePoint = o_codePoint << 6 | (byte(i) & 0x3Fu);
  }
  if (o_codePoint < minimum || o_codePoint > 0x10FFFF ||
      (o_codePoint >= 0xD800 && o_codePoint <= 0xDFFF)) {
    return 0;
  }
  return length;
}

bool IsControl(uint32_t i_codePoint) {
  return i_codePoint < 0x20 || (i_codePoint >= 0x7F && i_codePoint <= 0x9F);
}

}  // namespace

std::string Printable(std::string_view i_strUtf8) {
  std::string strOut;
  strOut.reserve(i_strUtf8.size());
  while (!i_strUtf8.empty()) {
    uint32_t codePoint = 0;
    const std::size_t length = Sequence(i_strUtf8, codePoint);
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
