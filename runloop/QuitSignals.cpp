#include "runloop/QuitSignals.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>

#include "runloop/SdCheck.h"

namespace runloop {

namespace {

// What the handler needs; global because a signal handler has no other way to reach it. Set by
// the one QuitSignals while it lives.
int g_eventFd = -1;
timer_t g_interrupter{};
bool g_bHasInterrupter = false;
int g_iInterruptSignal = 0;
volatile sig_atomic_t g_quitSignal = 0;
volatile sig_atomic_t g_bInterrupting = 0;  // the handler may start the interrupter

constexpr long kInterruptEveryNs = std::chrono::nanoseconds(QuitSignals::kInterruptEvery).count();

void OnSignal(int i_iSignal) {
  const int savedErrno = errno;
  if (i_iSignal != g_iInterruptSignal) {
    if (g_quitSignal == 0) g_quitSignal = i_iSignal;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_eventFd, &one, sizeof one);
    if (g_bInterrupting && g_bHasInterrupter) {
      const itimerspec every{{0, kInterruptEveryNs}, {0, kInterruptEveryNs}};
      timer_settime(g_interrupter, 0, &every, nullptr);
    }
  }
  errno = savedErrno;
}

[[noreturn]] void Fail(const char* i_pWhat) {
  throw std::system_error(errno, std::generic_category(), i_pWhat);
}

}  // namespace

QuitSignals::QuitSignals(sd_event* io_pEvent, std::initializer_list<int> i_signals,
                         std::function<void(int)> i_onQuit)
    : m_eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_onQuit(std::move(i_onQuit)) {
  if (g_eventFd != -1) throw std::logic_error("QuitSignals installed twice");
  if (!m_eventFd) Fail("eventfd");

  sigevent event{};
  event.sigev_notify = SIGEV_SIGNAL;
  event.sigev_signo = SIGRTMIN;
  if (timer_create(CLOCK_MONOTONIC, &event, &m_interrupter) != 0) Fail("timer_create");
  m_bInterrupter = true;
  g_eventFd = m_eventFd.get();
  g_iInterruptSignal = SIGRTMIN;
  g_interrupter = m_interrupter;
  g_bInterrupting = 1;
  g_bHasInterrupter = true;
  g_quitSignal = 0;

  try {
    sd_event_source* pSource = nullptr;
    Check(
        sd_event_add_io(io_pEvent, &pSource, m_eventFd.get(), EPOLLIN, &QuitSignals::OnEvent, this),
        "sd_event_add_io quit");
    m_source.reset(pSource);
    sd_event_source_set_description(pSource, "quit");
    Check(sd_event_source_set_priority(pSource, SD_EVENT_PRIORITY_IMPORTANT - 10),
          "sd_event_source_set_priority quit");

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the point is to interrupt
    std::vector<int> signals(i_signals);
    signals.push_back(SIGRTMIN);
    for (const int signal : signals) {
      struct sigaction previous {};
      if (sigaction(signal, &action, &previous) != 0) Fail("sigaction");
      m_previous.emplace_back(signal, previous);
      sigset_t set;
      sigemptyset(&set);
      sigaddset(&set, signal);
      if (sigprocmask(SIG_UNBLOCK, &set, nullptr) != 0) Fail("sigprocmask");
    }
  } catch (...) {
    Restore();
    throw;
  }
}

QuitSignals::~QuitSignals() { Restore(); }

void QuitSignals::Restore() {
  // The interrupter goes first, while its signal still has the harmless handler. That handler
  // stays: a signal of the deleted timer may still be pending, and the default action of
  // SIGRTMIN ends the process.
  StopInterrupting();
  if (m_bInterrupter) {
    g_bHasInterrupter = false;
    timer_delete(m_interrupter);
    m_bInterrupter = false;
  }
  for (auto it = m_previous.rbegin(); it != m_previous.rend(); ++it)
    if (it->first != g_iInterruptSignal) sigaction(it->first, &it->second, nullptr);
  m_previous.clear();
  if (g_eventFd == m_eventFd.get()) g_eventFd = -1;
}

void QuitSignals::StopInterrupting() {
  g_bInterrupting = 0;  // a later quit signal does not start it again
  if (!m_bInterrupter) return;
  const itimerspec never{};
  timer_settime(m_interrupter, 0, &never, nullptr);
}

int QuitSignals::OnEvent(sd_event_source*, int i_fd, uint32_t, void* i_pUserData) {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(i_fd, &count, sizeof count);
  auto* pSelf = static_cast<QuitSignals*>(i_pUserData);
  try {
    pSelf->m_onQuit(g_quitSignal);
  } catch (...) {
    return -EIO;  // never across sd-event; the source is disabled and the loop goes on
  }
  return 0;
}

}  // namespace runloop
