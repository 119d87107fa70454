#include "text/Markup.h"

namespace text {

std::string EscapeMarkup(std::string_view i_strText) {
  std::string strOut;
  strOut.reserve(i_strText.size());
  for (const char c : i_strText) {
    if (c == '&') {
      strOut += "&amp;";
    } else if (c == '<') {
      strOut += "&lt;";
    } else if (c == '>') {
      strOut += "&gt;";
    } else {
      strOut += c;
    }
  }
  return strOut;
}

}  // namespace text
