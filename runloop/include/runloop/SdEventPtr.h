#pragma once

// Owners of sd-event's handles. A source is disabled before it is released, so that a loop
// which outlives its owner never dispatches it again.

#include <systemd/sd-event.h>

#include <memory>

namespace runloop {

struct SdEventUnref {
  void operator()(sd_event* i_pEvent) const { sd_event_unref(i_pEvent); }
};
struct SdEventSourceUnref {
  void operator()(sd_event_source* i_pSource) const { sd_event_source_disable_unref(i_pSource); }
};

using SdEventPtr = std::unique_ptr<sd_event, SdEventUnref>;
using SdEventSourcePtr = std::unique_ptr<sd_event_source, SdEventSourceUnref>;

}  // namespace runloop
