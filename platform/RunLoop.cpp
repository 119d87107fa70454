#include "platform/RunLoop.h"

#include <algorithm>
#include <stdexcept>

#include "platform/NSTimer.h"

namespace platform {

namespace {
RunLoop* g_pCurrent = nullptr;  // set and cleared by the host
}  // namespace

RunLoop::RunLoop() = default;  // here, where NSTimer is complete

RunLoop::~RunLoop() = default;

RunLoop& RunLoop::Current() {
  if (g_pCurrent == nullptr) throw std::logic_error("no current run loop");
  return *g_pCurrent;
}

bool RunLoop::HasCurrent() { return g_pCurrent != nullptr; }

void RunLoop::SetCurrent(RunLoop* i_pLoop) { g_pCurrent = i_pLoop; }

NSTimer* RunLoop::Schedule(std::unique_ptr<NSTimer> i_timer) {
  NSTimer* pTimer = i_timer.get();
  pTimer->m_due = Now() + pTimer->m_period;
  std::unique_ptr<TimerSlot> slot = Arm(*pTimer);
  m_timers.push_back({std::move(i_timer), std::move(slot)});
  return pTimer;
}

RunLoop::Entry* RunLoop::Find(const NSTimer& i_timer) {
  const auto found = std::find_if(m_timers.begin(), m_timers.end(), [&](const Entry& entry) {
    return entry.timer.get() == &i_timer;
  });
  return found == m_timers.end() ? nullptr : &*found;
}

Microseconds RunLoop::DueTime(const NSTimer& i_timer) { return i_timer.m_due; }

void RunLoop::Tick(NSTimer& io_timer) {
  Entry* pEntry = Find(io_timer);
  if (pEntry == nullptr || !io_timer.m_bValid) return;
  if (io_timer.m_bRepeats) {
    // The next due time follows the last one, not the moment of this tick; ticks missed while
    // the thread was busy are skipped, not run in a burst.
    const Microseconds now = Now();
    do {
      io_timer.m_due += io_timer.m_period;
    } while (io_timer.m_due <= now);
    Rearm(io_timer, *pEntry->slot);
  } else {
    io_timer.m_bValid = false;
    Disarm(*pEntry->slot);
  }
  io_timer.m_action(&io_timer);  // last: the action may invalidate the timer
}

void RunLoop::Invalidate(NSTimer& io_timer) {
  if (!io_timer.m_bValid) return;
  io_timer.m_bValid = false;
  if (Entry* pEntry = Find(io_timer)) Disarm(*pEntry->slot);
}

void RunLoop::Reap() {
  std::erase_if(m_timers, [](const Entry& entry) { return !entry.timer->m_bValid; });
}

void RunLoop::ReleaseTimers() { m_timers.clear(); }

void RunLoop::AfterDispatch() {
  if (m_afterDispatch) m_afterDispatch();
}

}  // namespace platform
