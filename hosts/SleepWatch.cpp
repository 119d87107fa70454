#include "SleepWatch.h"

#include <fcntl.h>

#include <cstring>
#include <string>

#include "hosts/Log.h"
#include "tray/Safely.h"

namespace zezar {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

}  // namespace

SleepWatch::SleepWatch(sd_event* io_pEvent, Handlers i_handlers)
    : m_handlers(std::move(i_handlers)) {
  sd_bus* pBus = nullptr;
  int r = sd_bus_open_system(&pBus);
  if (r < 0) {
    Absent(std::strerror(-r));
    return;
  }
  m_bus.reset(pBus);
  r = sd_bus_attach_event(pBus, io_pEvent, SD_EVENT_PRIORITY_NORMAL);
  sd_bus_slot* pMatch = nullptr;
  if (r >= 0) {
    r = sd_bus_match_signal_async(pBus, &pMatch, kLogind, kLogindPath, kManager, "PrepareForSleep",
                                  &SleepWatch::OnPrepareForSleep, nullptr, this);
  }
  if (r < 0) {
    m_bus.reset();
    Absent(std::strerror(-r));
    return;
  }
  m_match.reset(pMatch);
  Inhibit();  // its answer also tells whether logind is there
}

void SleepWatch::Inhibit() {
  sd_bus_slot* pSlot = nullptr;
  const int r = sd_bus_call_method_async(
      m_bus.get(), &pSlot, kLogind, kLogindPath, kManager, "Inhibit", &SleepWatch::OnInhibited,
      this, "ssss", "sleep", "Zezar", "closes the router connection before sleep", "delay");
  if (r < 0) {
    Absent(std::strerror(-r));
    return;
  }
  m_inhibitCall.reset(pSlot);
}

int SleepWatch::OnInhibited(sd_bus_message* i_pReply, void* i_pUserData, sd_bus_error*) {
  auto* pSelf = static_cast<SleepWatch*>(i_pUserData);
  Safely("sleep", [&] {
    pSelf->m_inhibitCall.reset();  // sd-bus holds it until this returns
    if (const sd_bus_error* pError = sd_bus_message_get_error(i_pReply)) {
      pSelf->Absent(pError->message != nullptr ? pError->message : pError->name);
      return;
    }
    int fd = -1;
    if (sd_bus_message_read(i_pReply, "h", &fd) < 0) return;
    // The message owns its descriptor: the lock is a copy of our own.
    posix::UniqueFd lock(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!pSelf->m_bSleeping) pSelf->m_delay = std::move(lock);  // asleep already: let it go
  });
  return 0;
}

int SleepWatch::OnPrepareForSleep(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
  auto* pSelf = static_cast<SleepWatch*>(i_pUserData);
  int bSleeping = 0;
  if (sd_bus_message_read(i_pMessage, "b", &bSleeping) < 0) return 0;  // not logind's signal
  Safely("sleep", [&] { pSelf->Told(bSleeping != 0); });
  return 0;
}

void SleepWatch::Told(bool i_bSleeping) {
  if (i_bSleeping == m_bSleeping) return;  // said twice
  m_bSleeping = i_bSleeping;
  if (i_bSleeping) {
    Safely("sleep", m_handlers.willSleep);
    m_delay.reset();  // done: the machine may sleep
  } else {
    Inhibit();
    Safely("wake", m_handlers.didWake);
  }
}

void SleepWatch::Absent(const char* i_pWhy) {
  if (m_bToldAbsent) return;
  m_bToldAbsent = true;
  Log(std::string("sleep and wake go unnoticed: no logind on the system bus (") + i_pWhy + ")");
}

}  // namespace zezar
