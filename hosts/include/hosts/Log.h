#pragma once

// The program's one facility for messages: "zezar: what happened" on standard error, with
// whatever came from outside made printable. A host that owns the screen (the terminal) takes
// the lines to show them itself.

#include <functional>
#include <string>
#include <string_view>

namespace zezar {

void Log(std::string_view i_message);
// Sends the lines to this sink instead of standard error, until it is set back to nothing.
void SetLogSink(std::function<void(const std::string&)> i_sink);

}  // namespace zezar
