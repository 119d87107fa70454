#include "text/MacRoman.h"

#include <algorithm>
#include <array>

#include "text/Utf8.h"

namespace text {

namespace {

// Unicode code points of Mac OS Roman's bytes 0x80 to 0xFF, in the encoding's current form
// (0xDB is the euro sign; 0xF0 maps into the private use area). Bytes below 0x80 are ASCII.
constexpr std::array<char32_t, 128> kHighHalf = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,  // 0x80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,  // 0x88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,  // 0x90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,  // 0x98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // 0xA0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,  // 0xA8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,  // 0xB0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,  // 0xB8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,  // 0xC0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // 0xC8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,  // 0xD0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,  // 0xD8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,  // 0xE0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,  // 0xE8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // 0xF0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,  // 0xF8
};

void AppendUtf8(std::string& io_strOut, char32_t i_code) {
  if (i_code < 0x80) {
    io_strOut += static_cast<char>(i_code);
  } else if (i_code < 0x800) {
    io_strOut += static_cast<char>(0xC0 | (i_code >> 6));
    io_strOut += static_cast<char>(0x80 | (i_code & 0x3F));
  } else {
    io_strOut += static_cast<char>(0xE0 | (i_code >> 12));
    io_strOut += static_cast<char>(0x80 | ((i_code >> 6) & 0x3F));
    io_strOut += static_cast<char>(0x80 | (i_code & 0x3F));
  }
}

// The next code point of UTF-8 text, or nothing when the text is not well-formed there.
std::optional<char32_t> NextCodePoint(std::string_view i_strText, std::size_t& io_uPos) {
  char32_t code = 0;
  const std::size_t uLength = Utf8Sequence(i_strText.substr(io_uPos), code);
  if (uLength == 0) return std::nullopt;
  io_uPos += uLength;
  return code;
}

}  // namespace

std::string MacRomanToUtf8(std::string_view i_strBytes) {
  std::string strOut;
  strOut.reserve(i_strBytes.size());
  for (const char c : i_strBytes) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUtf8(strOut, byte < 0x80 ? char32_t{byte} : kHighHalf[byte - 0x80]);
  }
  return strOut;
}

std::optional<std::string> Utf8ToMacRoman(std::string_view i_strText) {
  std::string strOut;
  strOut.reserve(i_strText.size());
  for (std::size_t uPos = 0; uPos < i_strText.size();) {
    const std::optional<char32_t> code = NextCodePoint(i_strText, uPos);
    if (!code) return std::nullopt;
    if (*code < 0x80) {
      strOut += static_cast<char>(*code);
      continue;
    }
    const auto found = std::find(kHighHalf.begin(), kHighHalf.end(), *code);
    if (found == kHighHalf.end()) return std::nullopt;  // no Mac OS Roman form
    strOut += static_cast<char>(0x80 + (found - kHighHalf.begin()));
  }
  return strOut;
}

}  // namespace text
