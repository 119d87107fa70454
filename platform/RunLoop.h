#pragma once

// The one thread's run loop: it holds the scheduled timers and fires them when due. Backends:
// sd-event for programs, a manual clock for tests. Time is monotonic microseconds.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class NSTimer;

namespace platform {

using Microseconds = uint64_t;

class RunLoop {
 public:
  RunLoop();
  virtual ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // The run loop timers are scheduled on. Process-wide, as the one thread's run loop is; the
  // host sets it before it loads a menu extra and clears it after.
  static RunLoop& Current();
  static bool HasCurrent();
  static void SetCurrent(RunLoop* i_pLoop);

  virtual Microseconds Now() const = 0;

  // Runs after each event the loop dispatches (a timer tick): where the host draws what was
  // marked for display.
  void SetAfterDispatch(std::function<void()> i_hook) { m_afterDispatch = std::move(i_hook); }

  // Takes the timer, arms it, and returns it; the loop keeps it until it is invalidated.
  NSTimer* Schedule(std::unique_ptr<NSTimer> i_timer);

 protected:
  // A backend's per-timer state (an event source), freed with the timer.
  class TimerSlot {
   public:
    virtual ~TimerSlot() = default;
  };

  virtual std::unique_ptr<TimerSlot> Arm(NSTimer& io_timer) = 0;  // at io_timer's due time
  virtual void Rearm(NSTimer& io_timer, TimerSlot& io_slot) = 0;
  virtual void Disarm(TimerSlot& io_slot) = 0;

  // A backend calls this when a timer's due time has come.
  void Tick(NSTimer& io_timer);
  // Frees invalidated timers; a backend calls it between dispatches, never inside one.
  void Reap();
  // Frees every timer; a backend's destructor calls it while its own state still stands.
  void ReleaseTimers();
  void AfterDispatch();

  static Microseconds DueTime(const NSTimer& i_timer);

 private:
  friend class ::NSTimer;
  void Invalidate(NSTimer& io_timer);

  struct Entry {
    std::unique_ptr<NSTimer> timer;
    std::unique_ptr<TimerSlot> slot;
  };
  Entry* Find(const NSTimer& i_timer);

  std::vector<Entry> m_timers;
  std::function<void()> m_afterDispatch;
};

}  // namespace platform
