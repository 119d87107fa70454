#include "support/WaitUntil.h"

#include <algorithm>
#include <thread>

namespace zezar_test {

bool WaitUntil(const std::function<bool()>& i_condition, std::chrono::milliseconds i_deadline) {
  using namespace std::chrono_literals;
  const auto until = std::chrono::steady_clock::now() + i_deadline;
  // Soon at first, then less often: most conditions hold within moments.
  std::chrono::milliseconds pause = 1ms;
  for (;;) {
    if (i_condition()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, until - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

}  // namespace zezar_test
