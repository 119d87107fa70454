#include "TextNumbers.h"

namespace zastra_text {

long long LeadingInteger(std::string_view i_strText) {
  std::size_t uPos = 0;
  while (uPos < i_strText.size() && IsSpace(i_strText[uPos])) ++uPos;
  bool bNegative = false;
  if (uPos < i_strText.size() && (i_strText[uPos] == '+' || i_strText[uPos] == '-')) {
    bNegative = i_strText[uPos] == '-';
    ++uPos;
  }
  constexpr long long kMax = std::numeric_limits<long long>::max();
  long long value = 0;
  for (; uPos < i_strText.size() && i_strText[uPos] >= '0' && i_strText[uPos] <= '9'; ++uPos) {
    const int digit = i_strText[uPos] - '0';
    if (value > (kMax - digit) / 10)
      return bNegative ? std::numeric_limits<long long>::min() : kMax;
    value = value * 10 + digit;
  }
  return bNegative ? -value : value;
}

}  // namespace zastra_text
