#pragma once

// Text made safe inside Pango markup, which some panels and bars read a tooltip or label as:
// "&", "<" and ">" become entities, so that text from outside neither breaks the markup nor
// styles itself.

#include <string>
#include <string_view>

namespace text {

std::string EscapeMarkup(std::string_view i_strText);

}  // namespace text
