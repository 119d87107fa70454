#pragma once

// A timer on the current run loop that sends an action to its target: once, or repeating
// every interval without drift (each due time is the last one plus the interval).

#include <functional>
#include <memory>

#include "runloop/RunLoop.h"

class NSTimer {
 public:
  using Action = std::function<void(NSTimer*)>;

  // Creates a timer, schedules it on the current run loop and returns it; the run loop holds
  // it. The selector is a member function of the target that takes the timer. No user
  // information is kept.
  template <class T>
  static NSTimer* scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
      double i_seconds, T* i_pTarget, void (T::*i_selector)(NSTimer*), void* /*i_pUserInfo*/,
      bool i_bRepeats) {
    return Schedule(
        i_seconds,
        [i_pTarget, i_selector](NSTimer* i_pTimer) { (i_pTarget->*i_selector)(i_pTimer); },
        i_bRepeats);
  }

  // Runs the action now. A repeating timer keeps its schedule; a one-shot timer is then done.
  void fire();
  // Stops the timer for good: no action runs after this. Safe from inside the action.
  void invalidate();
  bool isValid() const { return m_bValid; }
  double timeInterval() const { return static_cast<double>(m_period) / 1e6; }

  NSTimer(double i_seconds, Action i_action, bool i_bRepeats, runloop::RunLoop& io_loop);

 private:
  friend class runloop::RunLoop;
  static NSTimer* Schedule(double i_seconds, Action i_action, bool i_bRepeats);

  static constexpr runloop::Microseconds kMinimumPeriod = 100;  // shorter ones are raised to it

  runloop::Microseconds m_period;
  runloop::Microseconds m_due = 0;  // the next time it is due
  Action m_action;
  bool m_bRepeats;
  bool m_bValid = true;
  runloop::RunLoop& m_loop;
};
