#pragma once

// zezarctl as a child process of the test.

#include "support/ChildProcess.h"

namespace zezar_test {

using CtlResult = ChildResult;

class CtlProcess : public ChildProcess {
 public:
  CtlProcess(const std::vector<std::string>& i_arguments,
             const std::map<std::string, std::string>& i_environment,
             const std::string& i_strInput = "")
      : ChildProcess(ZEZARCTL, i_arguments, i_environment, i_strInput) {}
};

// Runs to the end.
inline CtlResult RunCtl(const std::vector<std::string>& i_arguments,
                        const std::map<std::string, std::string>& i_environment = {},
                        const std::string& i_strInput = "") {
  return CtlProcess(i_arguments, i_environment, i_strInput).Finish();
}

}  // namespace zezar_test
