#pragma once

// The signals that end a program (SIGINT, SIGTERM, a terminal's quit key), made to take effect
// within moments whatever the router does.
//
// A signal blocked for sd-event's signalfd cannot interrupt the router exchange a tick is
// blocked in, so the quit would wait for the whole tick (many seconds with a slow router).
// Instead the handler, installed without SA_RESTART, interrupts the blocked call, which the
// client counts as a lost connection, so the rest of the tick runs without the network. It
// also starts an interval timer (kInterruptEvery) whose signal interrupts any later wait until
// Stop: a signal that lands between two exchanges would otherwise be missed. The loop learns
// of the quit through an eventfd, dispatched before anything else.
//
// Process-wide, as signal dispositions are: one instance at a time.

#include <chrono>
#include <csignal>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <vector>

#include "posix/UniqueFd.h"
#include "runloop/SdEventPtr.h"

namespace runloop {

class QuitSignals {
 public:
  static constexpr std::chrono::milliseconds kInterruptEvery{50};

  // Throws std::system_error when a handler, the eventfd or the timer cannot be set up.
  QuitSignals(sd_event* io_pEvent, std::initializer_list<int> i_signals,
              std::function<void(int)> i_onQuit);
  ~QuitSignals();  // restores the previous handlers of the quit signals
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // Stops interrupting for good, also on a later quit signal: the loop has stopped and nothing
  // blocks on the router any more.
  void StopInterrupting();

 private:
  void Restore();  // the previous handlers back, the timer gone
  static int OnEvent(sd_event_source* i_pSource, int i_fd, uint32_t i_events, void* i_pUserData);

  std::vector<std::pair<int, struct sigaction>> m_previous;
  posix::UniqueFd m_eventFd;
  timer_t m_interrupter{};
  bool m_bInterrupter = false;
  std::function<void(int)> m_onQuit;
  SdEventSourcePtr m_source;
};

}  // namespace runloop
