#pragma once

#include <chrono>
#include <functional>

namespace zezar_test {

// Checks the condition until it holds, at most until the deadline; whether it held. For a state
// nothing announces to the test (a port that listens again after a reboot): where an event
// does, wait for the event instead.
bool WaitUntil(const std::function<bool()>& i_condition, std::chrono::milliseconds i_deadline);

}  // namespace zezar_test
