#include "runloop/NSTimer.h"

#include <algorithm>
#include <cmath>

NSTimer::NSTimer(double i_seconds, Action i_action, bool i_bRepeats, runloop::RunLoop& io_loop)
    : m_period(kMinimumPeriod),
      m_action(std::move(i_action)),
      m_bRepeats(i_bRepeats),
      m_loop(io_loop) {
  // Zero, negative and not-a-number intervals keep the minimum; a day-long one is plenty.
  const double microseconds = i_seconds * 1e6;
  if (microseconds > static_cast<double>(kMinimumPeriod)) {
    m_period = static_cast<runloop::Microseconds>(std::llround(std::min(microseconds, 8.64e10)));
  }
}

NSTimer* NSTimer::Schedule(double i_seconds, Action i_action, bool i_bRepeats) {
  runloop::RunLoop& loop = runloop::RunLoop::Current();
  return loop.Schedule(std::make_unique<NSTimer>(i_seconds, std::move(i_action), i_bRepeats, loop));
}

void NSTimer::fire() {
  if (!m_bValid) return;
  if (!m_bRepeats) invalidate();
  m_loop.Fire(*this);
}

void NSTimer::invalidate() { m_loop.Invalidate(*this); }
