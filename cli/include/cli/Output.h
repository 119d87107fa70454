#pragma once

// What a command produces: one JSON document (--json) and the same for people. Field names
// are stable and numbers stay numbers; router text is UTF-8 by now.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <string_view>

namespace ctl {

using Json = nlohmann::ordered_json;

struct Output {
  Json json;
  std::string text;              // lines, each ended by a line feed
  bool bReportToStderr = false;  // standard output carries data ("get REMOTE -")
};

// The document as text; i_iIndent -1 gives one line. Text from the command line may not be
// UTF-8, and it must not stop the report: such bytes are replaced.
std::string Dump(const Json& i_json, int i_iIndent);

// Writes and flushes i_text to stdout or stderr. Throws Failure(Failure) when it cannot: the
// reader went away.
void Write(std::FILE* i_pStream, std::string_view i_text);

}  // namespace ctl
