#include "platform/ManualRunLoop.h"

#include <algorithm>

namespace platform {

class ManualRunLoop::Slot final : public TimerSlot {
 public:
  Slot(ManualRunLoop& io_loop, NSTimer& io_timer) : loop(io_loop), timer(io_timer) {
    loop.m_slots.push_back(this);
  }
  ~Slot() override { std::erase(loop.m_slots, this); }

  ManualRunLoop& loop;
  NSTimer& timer;
  bool armed = true;
};

ManualRunLoop::ManualRunLoop() = default;

ManualRunLoop::~ManualRunLoop() { ReleaseTimers(); }

std::unique_ptr<RunLoop::TimerSlot> ManualRunLoop::Arm(NSTimer& io_timer) {
  return std::make_unique<Slot>(*this, io_timer);
}

void ManualRunLoop::Rearm(NSTimer&, TimerSlot& io_slot) {
  static_cast<Slot&>(io_slot).armed = true;
}

void ManualRunLoop::Disarm(TimerSlot& io_slot) { static_cast<Slot&>(io_slot).armed = false; }

void ManualRunLoop::Advance(std::chrono::microseconds i_by) {
  const Microseconds target = m_now + static_cast<Microseconds>(i_by.count());
  for (;;) {
    Reap();
    Slot* pNext = nullptr;
    for (Slot* pSlot : m_slots) {
      if (pSlot->armed && DueTime(pSlot->timer) <= target &&
          (pNext == nullptr || DueTime(pSlot->timer) < DueTime(pNext->timer))) {
        pNext = pSlot;
      }
    }
    if (pNext == nullptr) break;
    m_now = std::max(m_now, DueTime(pNext->timer));
    ++m_iDispatches;
    Tick(pNext->timer);
    AfterDispatch();
  }
  m_now = target;
}

}  // namespace platform
