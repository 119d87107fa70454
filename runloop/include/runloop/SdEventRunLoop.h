#pragma once

// The run loop of programs, on sd-event: one thread, one time source for all timers, on
// CLOCK_BOOTTIME so that an interval counts the machine's sleep as time gone by. Other
// event sources (a D-Bus connection, a terminal's keys) attach to Event().

#include <deque>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>

#include "runloop/QuitSignals.h"
#include "runloop/RunLoop.h"
#include "runloop/SdEventPtr.h"

namespace runloop {

class SdEventRunLoop final : public RunLoop {
 public:
  // The timers' priority: below a D-Bus connection's, so that calls which waited during a
  // blocking tick are answered before the next tick may block again.
  static constexpr int kTimerPriority = SD_EVENT_PRIORITY_NORMAL;

  SdEventRunLoop();  // throws std::system_error when sd-event cannot start
  ~SdEventRunLoop() override;

  Microseconds Now() const override;
  sd_event* Event() const { return m_event.get(); }

  // Dispatches events until Exit; returns the exit code. An exception from a timer action
  // that no failure handler takes stops the loop and leaves Run.
  int Run();
  void Exit(int i_iCode);
  // Ends Run with code 0 when one of these signals arrives, within moments even while a tick
  // is blocked on the router (see QuitSignals).
  void ExitOnSignals(std::initializer_list<int> i_signals);

  // Runs the work once, soon, from the loop: after the reply to the call that asked for it,
  // and after anything of higher priority already waiting. One piece of work per dispatch,
  // in order. Like a timer action, it must not let an exception escape (the loop stops).
  void Defer(std::function<void()> i_work);

 protected:
  void WakeAt(std::optional<Microseconds> i_due) override;

 private:
  static int OnTime(sd_event_source* i_pSource, uint64_t i_usec, void* i_pUserData);
  static int OnDeferred(sd_event_source* i_pSource, void* i_pUserData);
  void Stop(std::exception_ptr i_failure);

  SdEventPtr m_event;  // first: the sources below go before it
  SdEventSourcePtr m_timer;
  SdEventSourcePtr m_deferred;  // enabled while work waits
  std::deque<std::function<void()>> m_work;
  std::unique_ptr<QuitSignals> m_quit;
  std::exception_ptr m_failure;  // from a timer action, rethrown by Run
};

}  // namespace runloop
