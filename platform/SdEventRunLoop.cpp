#include "platform/SdEventRunLoop.h"

#include <systemd/sd-event.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <string>
#include <system_error>
#include <utility>

#include "platform/NSTimer.h"

namespace platform {

namespace {

constexpr uint64_t kAccuracyUs = 1000;  // sd-event would otherwise coalesce within 250 ms

void Check(int i_iResult, const char* i_pWhat) {
  if (i_iResult < 0) throw std::system_error(-i_iResult, std::generic_category(), i_pWhat);
}

struct SourceUnref {
  void operator()(sd_event_source* i_pSource) const { sd_event_source_disable_unref(i_pSource); }
};

}  // namespace

class SdEventRunLoop::Slot final : public TimerSlot {
 public:
  Slot(SdEventRunLoop& io_loop, NSTimer& io_timer) : loop(io_loop), timer(io_timer) {
    sd_event_source* pSource = nullptr;
    Check(sd_event_add_time(loop.Event(), &pSource, CLOCK_MONOTONIC, DueTime(timer), kAccuracyUs,
                            &Slot::OnTime, this),
          "sd_event_add_time NSTimer");
    source.reset(pSource);
    sd_event_source_set_description(pSource, "NSTimer");
  }

  // Exceptions never cross into sd-event: the loop keeps the first and stops.
  static int OnTime(sd_event_source*, uint64_t, void* i_pUserData) {
    auto* pSlot = static_cast<Slot*>(i_pUserData);
    SdEventRunLoop& loop = pSlot->loop;
    try {
      loop.Tick(pSlot->timer);
    } catch (...) {
      if (!loop.m_failure) loop.m_failure = std::current_exception();
      sd_event_exit(loop.Event(), -EIO);
    }
    return 0;
  }

  SdEventRunLoop& loop;
  NSTimer& timer;
  std::unique_ptr<sd_event_source, SourceUnref> source;
};

void SdEventRunLoop::EventUnref::operator()(sd_event* i_pEvent) const { sd_event_unref(i_pEvent); }

SdEventRunLoop::SdEventRunLoop() {
  sd_event* pEvent = nullptr;
  Check(sd_event_new(&pEvent), "sd_event_new");
  m_event.reset(pEvent);
}

SdEventRunLoop::~SdEventRunLoop() { ReleaseTimers(); }  // their sources before the loop

Microseconds SdEventRunLoop::Now() const {
  uint64_t now = 0;
  if (sd_event_now(m_event.get(), CLOCK_MONOTONIC, &now) < 0) {
    timespec clock{};
    clock_gettime(CLOCK_MONOTONIC, &clock);
    now = static_cast<uint64_t>(clock.tv_sec) * 1'000'000u +
          static_cast<uint64_t>(clock.tv_nsec) / 1000u;
  }
  return now;
}

int SdEventRunLoop::Run() {
  for (;;) {
    Reap();
    const int iResult = sd_event_run(m_event.get(), UINT64_MAX);
    if (iResult < 0) Check(iResult, "sd_event_run");
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
    if (sd_event_get_state(m_event.get()) == SD_EVENT_FINISHED) break;
    if (iResult > 0) AfterDispatch();
  }
  int iCode = 0;
  sd_event_get_exit_code(m_event.get(), &iCode);
  return iCode;
}

void SdEventRunLoop::Exit(int i_iCode) { sd_event_exit(m_event.get(), i_iCode); }

void SdEventRunLoop::ExitOnSignals(std::initializer_list<int> i_signals) {
  sigset_t mask;
  sigemptyset(&mask);
  for (const int signal : i_signals) sigaddset(&mask, signal);
  if (sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) Check(-errno, "sigprocmask");
  for (const int signal : i_signals) {
    // No handler: sd-event's own ends the loop. No source pointer: the loop owns the source.
    Check(sd_event_add_signal(m_event.get(), nullptr, signal, nullptr, nullptr),
          "sd_event_add_signal");
  }
}

std::unique_ptr<RunLoop::TimerSlot> SdEventRunLoop::Arm(NSTimer& io_timer) {
  return std::make_unique<Slot>(*this, io_timer);
}

void SdEventRunLoop::Rearm(NSTimer& io_timer, TimerSlot& io_slot) {
  sd_event_source* pSource = static_cast<Slot&>(io_slot).source.get();
  sd_event_source_set_time(pSource, DueTime(io_timer));
  sd_event_source_set_enabled(pSource, SD_EVENT_ONESHOT);
}

void SdEventRunLoop::Disarm(TimerSlot& io_slot) {
  sd_event_source_set_enabled(static_cast<Slot&>(io_slot).source.get(), SD_EVENT_OFF);
}

}  // namespace platform
