#pragma once

// A run loop on a clock that moves only when a test says so; timers fire on the way, in order
// of their due times, each tick followed by the after-dispatch hook.

#include <chrono>

#include "platform/RunLoop.h"

namespace platform {

class ManualRunLoop final : public RunLoop {
 public:
  ManualRunLoop();
  ~ManualRunLoop() override;

  Microseconds Now() const override { return m_now; }
  void Advance(std::chrono::microseconds i_by);
  int Dispatches() const { return m_iDispatches; }

 protected:
  std::unique_ptr<TimerSlot> Arm(NSTimer& io_timer) override;
  void Rearm(NSTimer& io_timer, TimerSlot& io_slot) override;
  void Disarm(TimerSlot& io_slot) override;

 private:
  class Slot;
  Microseconds m_now = 1'000'000;  // an arbitrary epoch, not zero
  int m_iDispatches = 0;
  std::vector<Slot*> m_slots;  // every live slot; a slot removes itself when freed
};

}  // namespace platform
