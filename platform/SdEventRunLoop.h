#pragma once

// The run loop of programs, on sd-event. One thread; other event sources (a D-Bus connection,
// signals) attach to Event().

#include <exception>
#include <initializer_list>
#include <memory>

#include "platform/RunLoop.h"

typedef struct sd_event sd_event;

namespace platform {

class SdEventRunLoop final : public RunLoop {
 public:
  SdEventRunLoop();  // throws std::system_error when sd-event cannot start
  ~SdEventRunLoop() override;

  Microseconds Now() const override;
  sd_event* Event() const { return m_event.get(); }

  // Dispatches events until Exit; returns the exit code. An exception thrown by a timer's
  // action stops the loop and leaves Run.
  int Run();
  void Exit(int i_iCode);
  // Blocks these signals and ends Run when one arrives.
  void ExitOnSignals(std::initializer_list<int> i_signals);

 protected:
  std::unique_ptr<TimerSlot> Arm(NSTimer& io_timer) override;
  void Rearm(NSTimer& io_timer, TimerSlot& io_slot) override;
  void Disarm(TimerSlot& io_slot) override;

 private:
  class Slot;
  struct EventUnref {
    void operator()(sd_event* i_pEvent) const;
  };

  std::unique_ptr<sd_event, EventUnref> m_event;
  std::exception_ptr m_failure;  // from a timer action, rethrown by Run
};

}  // namespace platform
