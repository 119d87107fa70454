#pragma once

// A run loop on a clock that moves only when a test says so; timers fire on the way, in order
// of their due times, each round followed by the after-dispatch hook.

#include <chrono>

#include "runloop/RunLoop.h"

namespace runloop {

class ManualRunLoop final : public RunLoop {
 public:
  ~ManualRunLoop() override { ReleaseTimers(); }

  Microseconds Now() const override { return m_now; }
  void Advance(std::chrono::microseconds i_by);
  int Dispatches() const { return m_iDispatches; }

 protected:
  void WakeAt(std::optional<Microseconds>) override {}  // Advance asks NextDue itself

 private:
  Microseconds m_now = 1'000'000;  // an arbitrary epoch, not zero
  int m_iDispatches = 0;
};

}  // namespace runloop
