#pragma once

// How the client reads numbers out of answer texts. Two rules exist on the wire:
// "leading" numbers read like atoi (white space, a sign, digits up to the first non-digit,
// 0 when there are none), and "extracted" numbers read like stream extraction, where a number
// that is absent or out of the target type's range is no number at all.

#include <charconv>
#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>

namespace zastra_text {

inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// atoi's rules, with the value saturated at the range of long long instead of undefined.
long long LeadingInteger(std::string_view i_strText);

// Reads one integer of type T starting at io_uPos, skipping white space first; io_uPos moves
// past what was read. Unsigned types take no minus sign.
template <typename T>
std::optional<T> ExtractInteger(std::string_view i_strText, std::size_t& io_uPos) {
  static_assert(std::is_integral_v<T>);
  while (io_uPos < i_strText.size() && IsSpace(i_strText[io_uPos])) ++io_uPos;
  if (io_uPos < i_strText.size() && i_strText[io_uPos] == '+') ++io_uPos;
  if constexpr (std::is_unsigned_v<T>) {
    if (io_uPos < i_strText.size() && i_strText[io_uPos] == '-') return std::nullopt;
  }
  T value{};
  const char* first = i_strText.data() + io_uPos;
  const auto [end, error] = std::from_chars(first, i_strText.data() + i_strText.size(), value);
  io_uPos += static_cast<std::size_t>(end - first);
  if (error != std::errc{}) return std::nullopt;
  return value;
}

// The whole-text form: the first number of the text, or 0 when it holds none in range.
template <typename T>
T ExtractedOrZero(std::string_view i_strText) {
  std::size_t uPos = 0;
  return ExtractInteger<T>(i_strText, uPos).value_or(T{0});
}

}  // namespace zastra_text
