#pragma once

// The one thread's run loop: it holds the scheduled timers and runs their actions when due.
// Backends: sd-event for programs, a manual clock for tests; a backend only wakes the loop at
// the time it is told. Time is monotonic microseconds.
//
// Every timer action runs under the host's failure handler, so an exception from a tick is the
// host's to judge; without a handler it leaves the loop.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class NSTimer;

namespace runloop {

using Microseconds = uint64_t;

class RunLoop {
 public:
  RunLoop();
  virtual ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // The run loop timers are scheduled on. Process-wide, as the one thread's run loop is; the
  // host sets it before it loads a menu extra and clears it after. Current() throws
  // std::logic_error when no host has set one.
  static RunLoop& Current();
  static bool HasCurrent();
  static void SetCurrent(RunLoop* i_pLoop);

  virtual Microseconds Now() const = 0;

  using FailureHandler = std::function<void(std::exception_ptr)>;
  void SetFailureHandler(FailureHandler i_handler) { m_failureHandler = std::move(i_handler); }
  // Runs after each round of due timers: where the host draws what was marked for display.
  void SetAfterDispatch(std::function<void()> i_hook) { m_afterDispatch = std::move(i_hook); }

  // Takes the timer, schedules it one interval from now, and returns it; the loop keeps it
  // until it is invalidated.
  NSTimer* Schedule(std::unique_ptr<NSTimer> i_timer);

 protected:
  // Runs every timer due by now, earliest first, then the after-dispatch hook, and tells the
  // backend when to wake next. A backend calls it when woken, never from inside an action.
  void DispatchDue();
  std::optional<Microseconds> NextDue() const;
  // Frees every timer; a backend's destructor calls it while its own state still stands.
  void ReleaseTimers();

  // The backend's one duty: wake the loop at this time (nothing: no timer is armed).
  virtual void WakeAt(std::optional<Microseconds> i_due) = 0;

 private:
  friend class ::NSTimer;
  void Fire(NSTimer& io_timer);  // the action, under the failure handler
  void Invalidate(NSTimer& io_timer);

  std::vector<std::unique_ptr<NSTimer>> m_timers;  // invalidated ones are freed between rounds
  FailureHandler m_failureHandler;
  std::function<void()> m_afterDispatch;
};

}  // namespace runloop
