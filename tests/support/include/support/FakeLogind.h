#pragma once

// logind as the monitor meets it, on a private bus the test started as the system bus
// (DBUS_SYSTEM_BUS_ADDRESS): org.freedesktop.login1 with Manager.Inhibit, which hands out a
// lock whose release the test can see, and the PrepareForSleep signal. Every wait has a deadline.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "posix/UniqueFd.h"
#include "runloop/SdBus.h"

namespace zezar_test {

class FakeLogind {
 public:
  static constexpr std::chrono::milliseconds kDeadline{10'000};

  explicit FakeLogind(const std::string& i_strAddress);

  // PrepareForSleep(i_bSleeping), as logind says it before sleep (true) and after (false).
  void PrepareForSleep(bool i_bSleeping);
  // The "sleep" delay locks handed out and not yet released.
  int LocksHeld();
  // Dispatches what arrives until the condition holds; false when the deadline passes first.
  bool WaitFor(const std::function<bool()>& i_condition,
               std::chrono::milliseconds i_deadline = kDeadline);

 private:
  static int OnInhibit(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);

  runloop::SdBusPtr m_bus;
  runloop::SdBusSlotPtr m_object;
  std::vector<posix::UniqueFd> m_locks;  // our ends: they hang up once the holder lets go
};

}  // namespace zezar_test
