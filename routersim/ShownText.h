#pragma once

// Text from a client or a control line, for a log line or an error reply: printable (no escape
// sequence reaches the terminal the simulator logs to) and cut, so that a line of megabytes
// makes a log line of a sensible length.

#include <cstddef>
#include <string>
#include <string_view>

namespace routersim {

constexpr std::size_t kShownBytes = 100;  // of the text; an ellipsis says the rest was cut

std::string ShownText(std::string_view i_strText);

}  // namespace routersim
