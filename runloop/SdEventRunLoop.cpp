#include "runloop/SdEventRunLoop.h"

#include <cerrno>
#include <ctime>
#include <utility>

#include "runloop/SdCheck.h"

namespace runloop {

namespace {
constexpr uint64_t kAccuracyUs = 1000;  // sd-event would otherwise coalesce within 250 ms
}  // namespace

SdEventRunLoop::SdEventRunLoop() {
  sd_event* pEvent = nullptr;
  Check(sd_event_new(&pEvent), "sd_event_new");
  m_event.reset(pEvent);
  sd_event_source* pTimer = nullptr;
  Check(sd_event_add_time(pEvent, &pTimer, CLOCK_BOOTTIME, UINT64_MAX, kAccuracyUs,
                          &SdEventRunLoop::OnTime, this),
        "sd_event_add_time timers");
  m_timer.reset(pTimer);
  sd_event_source_set_description(pTimer, "timers");
  Check(sd_event_source_set_priority(pTimer, kTimerPriority),
        "sd_event_source_set_priority timers");
  Check(sd_event_source_set_enabled(pTimer, SD_EVENT_OFF), "sd_event_source_set_enabled timers");

  sd_event_source* pDeferred = nullptr;
  Check(sd_event_add_defer(pEvent, &pDeferred, &SdEventRunLoop::OnDeferred, this),
        "sd_event_add_defer deferred");
  m_deferred.reset(pDeferred);
  sd_event_source_set_description(pDeferred, "deferred");
  Check(sd_event_source_set_priority(pDeferred, kTimerPriority),
        "sd_event_source_set_priority deferred");
  Check(sd_event_source_set_enabled(pDeferred, SD_EVENT_OFF),
        "sd_event_source_set_enabled deferred");
}

SdEventRunLoop::~SdEventRunLoop() { ReleaseTimers(); }

Microseconds SdEventRunLoop::Now() const {
  // The clock itself, not the loop's cached time: a tick that blocked for seconds must see
  // how late it is when it schedules the next one.
  timespec clock{};
  clock_gettime(CLOCK_BOOTTIME, &clock);
  return static_cast<uint64_t>(clock.tv_sec) * 1'000'000u +
         static_cast<uint64_t>(clock.tv_nsec) / 1000u;
}

void SdEventRunLoop::WakeAt(std::optional<Microseconds> i_due) {
  sd_event_source* pTimer = m_timer.get();
  if (pTimer == nullptr) return;  // not yet made, or already gone
  if (!i_due) {
    Check(sd_event_source_set_enabled(pTimer, SD_EVENT_OFF), "sd_event_source_set_enabled timers");
    return;
  }
  Check(sd_event_source_set_time(pTimer, *i_due), "sd_event_source_set_time timers");
  Check(sd_event_source_set_enabled(pTimer, SD_EVENT_ONESHOT),
        "sd_event_source_set_enabled timers");
}

void SdEventRunLoop::Stop(std::exception_ptr i_failure) {
  if (!m_failure) m_failure = std::move(i_failure);
  sd_event_exit(m_event.get(), -EIO);
}

// Exceptions never cross into sd-event: the loop keeps the first and stops.
int SdEventRunLoop::OnTime(sd_event_source*, uint64_t, void* i_pUserData) {
  auto* pLoop = static_cast<SdEventRunLoop*>(i_pUserData);
  try {
    pLoop->DispatchDue();
  } catch (...) {
    pLoop->Stop(std::current_exception());
  }
  return 0;
}

void SdEventRunLoop::Defer(std::function<void()> i_work) {
  m_work.push_back(std::move(i_work));
  Check(sd_event_source_set_enabled(m_deferred.get(), SD_EVENT_ON),
        "sd_event_source_set_enabled deferred");
}

int SdEventRunLoop::OnDeferred(sd_event_source* i_pSource, void* i_pUserData) {
  auto* pLoop = static_cast<SdEventRunLoop*>(i_pUserData);
  std::function<void()> work = std::move(pLoop->m_work.front());
  pLoop->m_work.pop_front();
  if (pLoop->m_work.empty()) sd_event_source_set_enabled(i_pSource, SD_EVENT_OFF);
  try {
    work();  // last: it may defer more
  } catch (...) {
    pLoop->Stop(std::current_exception());
  }
  return 0;
}

int SdEventRunLoop::Run() {
  for (;;) {
    const int iResult = sd_event_run(m_event.get(), UINT64_MAX);
    if (m_failure) break;
    Check(iResult, "sd_event_run");
    if (sd_event_get_state(m_event.get()) == SD_EVENT_FINISHED) break;
  }
  if (m_quit) m_quit->StopInterrupting();
  if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
  int iCode = 0;
  Check(sd_event_get_exit_code(m_event.get(), &iCode), "sd_event_get_exit_code");
  return iCode;
}

void SdEventRunLoop::Exit(int i_iCode) {
  Check(sd_event_exit(m_event.get(), i_iCode), "sd_event_exit");
}

void SdEventRunLoop::ExitOnSignals(std::initializer_list<int> i_signals) {
  m_quit = std::make_unique<QuitSignals>(m_event.get(), i_signals, [this](int) { Exit(0); });
}

}  // namespace runloop
