#pragma once

// Text from outside (a router's answers, a preferences file) made safe to show anywhere: in a
// terminal, a log line, a D-Bus string. Control characters (C0, DEL, C1) and bytes that are not
// UTF-8 each become U+FFFD, so no escape sequence reaches a terminal and every result is valid
// UTF-8.

#include <string>
#include <string_view>

namespace text {

std::string Printable(std::string_view i_strUtf8);

}  // namespace text
