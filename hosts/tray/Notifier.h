#pragma once

// Notices on the desktop through org.freedesktop.Notifications on the session bus. Each one
// replaces the last (replaces_id), so a flapping line leaves one notice, not a stack. Without a
// notification service nothing happens, and that is said once.

#include <cstdint>
#include <deque>

#include "hosts/tray/NotificationPolicy.h"
#include "runloop/SdBus.h"

namespace zezar {

class Notifier {
 public:
  explicit Notifier(sd_bus* io_pBus) : m_pBus(io_pBus) {}
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  void Show(const Notice& i_notice);

 private:
  static int OnShown(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);

  sd_bus* m_pBus;
  uint32_t m_id = 0;  // the notice on screen, which the next one replaces
  bool m_bToldNoService = false;
  std::deque<runloop::SdBusSlotPtr> m_calls;  // the last few, whose answers may still come
};

}  // namespace zezar
