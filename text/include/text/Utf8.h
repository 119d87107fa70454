#pragma once

// One reading of UTF-8 for every library that takes text from outside.

#include <cstddef>
#include <string_view>

namespace text {

// The length of the well-formed UTF-8 sequence at the start of the text, with its code point;
// 0 when there is none there (a stray continuation byte, an overlong form, a surrogate, a value
// past U+10FFFF, a sequence cut short, or no text at all).
std::size_t Utf8Sequence(std::string_view i_text, char32_t& o_codePoint);

}  // namespace text
