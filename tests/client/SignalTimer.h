#pragma once

// Delivers SIGUSR1 to this process once, after a delay, through a POSIX timer (no thread), with
// a handler installed with or without SA_RESTART, as a host's SIGINT handler would be. Removes
// the timer and restores the old handler when it goes.

#include <signal.h>
#include <time.h>

#include <chrono>
#include <stdexcept>

namespace zezar_test {

class SignalTimer {
 public:
  enum class Restart { No, Yes };

  SignalTimer(std::chrono::milliseconds i_delay, Restart i_restart) {
    s_delivered = 0;
    struct sigaction action {};
    action.sa_handler = [](int) { s_delivered = s_delivered + 1; };
    sigemptyset(&action.sa_mask);
    action.sa_flags = i_restart == Restart::Yes ? SA_RESTART : 0;
    if (sigaction(SIGUSR1, &action, &m_oldAction) != 0) throw std::runtime_error("sigaction");
    sigevent event{};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = SIGUSR1;
    if (timer_create(CLOCK_MONOTONIC, &event, &m_timer) != 0) {
      throw std::runtime_error("timer_create");
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(i_delay);
    itimerspec when{};
    when.it_value.tv_sec = seconds.count();
    when.it_value.tv_nsec = std::chrono::nanoseconds(i_delay - seconds).count();
    if (timer_settime(m_timer, 0, &when, nullptr) != 0) throw std::runtime_error("timer_settime");
  }

  ~SignalTimer() {
    timer_delete(m_timer);
    sigaction(SIGUSR1, &m_oldAction, nullptr);
  }

  SignalTimer(const SignalTimer&) = delete;
  SignalTimer& operator=(const SignalTimer&) = delete;

  static int Delivered() { return s_delivered; }

 private:
  static inline volatile sig_atomic_t s_delivered = 0;
  timer_t m_timer{};
  struct sigaction m_oldAction {};
};

}  // namespace zezar_test
