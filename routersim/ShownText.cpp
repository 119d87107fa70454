#include "ShownText.h"

#include "text/Printable.h"

namespace routersim {

std::string ShownText(std::string_view i_strText) {
  if (i_strText.size() <= kShownBytes) return text::Printable(i_strText);
  // A character cut in two becomes U+FFFD, like any other byte that is not UTF-8.
  return text::Printable(i_strText.substr(0, kShownBytes)) + "\u2026";
}

}  // namespace routersim
