#pragma once

// Mac OS Roman, the 8-bit encoding of the router's protocol text, to and from UTF-8.

#include <optional>
#include <string>
#include <string_view>

namespace text {

// Every byte has a form in Unicode.
std::string MacRomanToUtf8(std::string_view i_strBytes);
// Nothing when the text is not UTF-8 or holds a character Mac OS Roman has no byte for.
std::optional<std::string> Utf8ToMacRoman(std::string_view i_strText);

}  // namespace text
