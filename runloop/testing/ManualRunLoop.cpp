#include "runloop/testing/ManualRunLoop.h"

#include <algorithm>

namespace runloop {

void ManualRunLoop::Advance(std::chrono::microseconds i_by) {
  const Microseconds target = m_now + static_cast<Microseconds>(i_by.count());
  for (std::optional<Microseconds> due = NextDue(); due && *due <= target; due = NextDue()) {
    m_now = std::max(m_now, *due);
    ++m_iDispatches;
    DispatchDue();
  }
  m_now = target;
}

}  // namespace runloop
