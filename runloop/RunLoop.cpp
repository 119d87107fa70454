#include "runloop/RunLoop.h"

#include <stdexcept>

#include "runloop/NSTimer.h"

namespace runloop {

namespace {
RunLoop* g_pCurrent = nullptr;  // set and cleared by the host
}  // namespace

RunLoop::RunLoop() = default;  // here, where NSTimer is complete

RunLoop::~RunLoop() = default;

void RunLoop::ReleaseTimers() { m_timers.clear(); }

RunLoop& RunLoop::Current() {
  if (g_pCurrent == nullptr) throw std::logic_error("no run loop installed");
  return *g_pCurrent;
}

bool RunLoop::HasCurrent() { return g_pCurrent != nullptr; }

void RunLoop::SetCurrent(RunLoop* i_pLoop) { g_pCurrent = i_pLoop; }

NSTimer* RunLoop::Schedule(std::unique_ptr<NSTimer> i_timer) {
  NSTimer* pTimer = i_timer.get();
  pTimer->m_due = Now() + pTimer->m_period;
  m_timers.push_back(std::move(i_timer));
  WakeAt(NextDue());
  return pTimer;
}

std::optional<Microseconds> RunLoop::NextDue() const {
  std::optional<Microseconds> next;
  for (const auto& timer : m_timers) {
    if (timer->m_bValid && (!next || timer->m_due < *next)) next = timer->m_due;
  }
  return next;
}

void RunLoop::DispatchDue() {
  const Microseconds now = Now();
  bool bDispatched = false;
  // An action may schedule or invalidate timers: the list is searched afresh each turn and
  // freed only after the round, so no timer goes away under its own action.
  for (;;) {
    NSTimer* pNext = nullptr;
    for (const auto& timer : m_timers) {
      if (timer->m_bValid && timer->m_due <= now && (!pNext || timer->m_due < pNext->m_due))
        pNext = timer.get();
    }
    if (pNext == nullptr) break;
    bDispatched = true;
    if (pNext->m_bRepeats) {
      // The next due time follows the last one, not this moment; ticks missed while the thread
      // was busy (a slow router) are skipped, not run in a burst.
      pNext->m_due += pNext->m_period;
      Fire(*pNext);
      const Microseconds after = Now();
      while (pNext->m_due <= after) pNext->m_due += pNext->m_period;
    } else {
      pNext->m_bValid = false;
      Fire(*pNext);
    }
  }
  std::erase_if(m_timers, [](const auto& timer) { return !timer->m_bValid; });
  if (bDispatched && m_afterDispatch) m_afterDispatch();
  WakeAt(NextDue());
}

void RunLoop::Fire(NSTimer& io_timer) {
  try {
    io_timer.m_action(&io_timer);
  } catch (...) {
    if (!m_failureHandler) throw;
    m_failureHandler(std::current_exception());
  }
}

void RunLoop::Invalidate(NSTimer& io_timer) {
  if (!io_timer.m_bValid) return;
  io_timer.m_bValid = false;
  WakeAt(NextDue());
}

}  // namespace runloop
