#include "ProbeWorkers.h"

#include <signal.h>

namespace exporter {

void ProbeWorkers::Stop() {
  std::vector<std::thread> threads;
  {
    const std::lock_guard lock(m_mutex);
    m_bStopping = true;
    threads.swap(m_threads);
  }
  m_wake.notify_all();
  for (std::thread& thread : threads) thread.join();
}

bool ProbeWorkers::Run(std::function<void()> i_job) {
  std::unique_lock lock(m_mutex);
  if (m_bStopping) return false;
  m_jobs.push_back(std::move(i_job));
  if (m_uIdle >= m_jobs.size() || m_threads.size() >= m_uMaxThreads) {
    lock.unlock();
    m_wake.notify_one();
    return true;
  }
  // Blocked in the new thread from its first instruction: it inherits the mask.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  m_threads.emplace_back([this] { Work(); });
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return true;
}

void ProbeWorkers::Work() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    ++m_uIdle;
    m_wake.wait(lock, [this] { return m_bStopping || !m_jobs.empty(); });
    --m_uIdle;
    if (m_jobs.empty()) return;  // stopping, and nothing left to do
    std::function<void()> job = std::move(m_jobs.front());
    m_jobs.pop_front();
    lock.unlock();
    job();
    lock.lock();
  }
}

}  // namespace exporter
