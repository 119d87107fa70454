#pragma once

// Prometheus's own linter on a page of metrics: what `promtool check metrics` says of it, or
// "" when it has no complaint. Tests that need it skip where Prometheus is not installed.

#include <unistd.h>

#include <string>

#include "support/ChildProcess.h"

namespace zezar_test {

inline constexpr const char* kPromtool = "/usr/bin/promtool";

inline bool HavePromtool() { return ::access(kPromtool, X_OK) == 0; }

inline std::string PromtoolComplaints(const std::string& i_strPage) {
  ChildProcess promtool(kPromtool, {"check", "metrics"}, {}, i_strPage);
  const ChildResult result = promtool.Finish();
  if (result.code == 0 && result.out.empty() && result.err.empty()) return "";
  return "exit " + std::to_string(result.code) + ": " + result.out + result.err;
}

}  // namespace zezar_test
