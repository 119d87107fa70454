#pragma once

// The machine's sleep as logind tells it on the system bus: PrepareForSleep(true) before it
// sleeps, PrepareForSleep(false) once it is awake again (some versions say each twice; the
// handlers are told of changes only). While awake the watch holds a delay inhibitor, so that
// the machine waits for willSleep to close the router connection; the lock goes as soon as
// willSleep returns and is taken anew on waking.
//
// Without a system bus or without logind nothing changes but one line in the log. Everything
// is asynchronous: a slow or absent logind never holds the loop.

#include <functional>

#include "posix/UniqueFd.h"
#include "runloop/SdBus.h"
#include "runloop/SdEventPtr.h"

namespace zezar {

class SleepWatch {
 public:
  struct Handlers {
    std::function<void()> willSleep;
    std::function<void()> didWake;
  };

  SleepWatch(sd_event* io_pEvent, Handlers i_handlers);
  SleepWatch(const SleepWatch&) = delete;
  SleepWatch& operator=(const SleepWatch&) = delete;

 private:
  void Inhibit();
  void Told(bool i_bSleeping);
  void Absent(const char* i_pWhy);  // logs once
  static int OnPrepareForSleep(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*);
  static int OnInhibited(sd_bus_message* i_pReply, void* i_pUserData, sd_bus_error*);

  Handlers m_handlers;
  runloop::SdBusPtr m_bus;
  runloop::SdBusSlotPtr m_match;
  runloop::SdBusSlotPtr m_inhibitCall;
  posix::UniqueFd m_delay;  // the delay inhibitor, while held
  bool m_bSleeping = false;
  bool m_bToldAbsent = false;
};

}  // namespace zezar
