#pragma once

// Owners of sd-bus's handles (a bus attaches to the loop like any event source), and an
// sd_bus_error that frees itself.

#include <systemd/sd-bus.h>

#include <memory>

namespace runloop {

struct SdBusClose {
  void operator()(sd_bus* i_pBus) const { sd_bus_flush_close_unref(i_pBus); }
};
struct SdBusSlotUnref {
  void operator()(sd_bus_slot* i_pSlot) const { sd_bus_slot_unref(i_pSlot); }
};
struct SdBusMessageUnref {
  void operator()(sd_bus_message* i_pMessage) const { sd_bus_message_unref(i_pMessage); }
};

using SdBusPtr = std::unique_ptr<sd_bus, SdBusClose>;
using SdBusSlotPtr = std::unique_ptr<sd_bus_slot, SdBusSlotUnref>;
using SdBusMessagePtr = std::unique_ptr<sd_bus_message, SdBusMessageUnref>;

class BusError {
 public:
  BusError() = default;
  ~BusError() { sd_bus_error_free(&m_error); }
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;

  sd_bus_error* get() { return &m_error; }
  const char* message() const { return m_error.message != nullptr ? m_error.message : ""; }

 private:
  sd_bus_error m_error{};  // SD_BUS_ERROR_NULL, which is a C compound literal
};

}  // namespace runloop
