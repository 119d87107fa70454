#include "platform/NSTimer.h"

#include <algorithm>
#include <cmath>

NSTimer::NSTimer(double i_seconds, Action i_action, void* i_pUserInfo, bool i_bRepeats,
                 platform::RunLoop& io_loop)
    : m_seconds(std::max(i_seconds, kMinimumSeconds)),
      m_period(static_cast<platform::Microseconds>(std::llround(m_seconds * 1e6))),
      m_due(0),
      m_action(std::move(i_action)),
      m_pUserInfo(i_pUserInfo),
      m_bRepeats(i_bRepeats),
      m_loop(io_loop) {}

NSTimer* NSTimer::Schedule(double i_seconds, Action i_action, void* i_pUserInfo, bool i_bRepeats) {
  platform::RunLoop& loop = platform::RunLoop::Current();
  return loop.Schedule(
      std::make_unique<NSTimer>(i_seconds, std::move(i_action), i_pUserInfo, i_bRepeats, loop));
}

void NSTimer::fire() {
  if (!m_bValid) return;
  if (!m_bRepeats) invalidate();
  m_action(this);
}

void NSTimer::invalidate() { m_loop.Invalidate(*this); }
