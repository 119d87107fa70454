#pragma once

// What a command produces: one JSON document (--json) and the same for people. Field names
// are stable and numbers stay numbers; router text is UTF-8 by now.

#include <nlohmann/json.hpp>

#include <string>

namespace ctl {

using Json = nlohmann::ordered_json;

struct Output {
  Json json;
  std::string text;              // lines, each ended by a line feed
  bool bReportToStderr = false;  // standard output carries data ("get REMOTE -")
};

}  // namespace ctl
