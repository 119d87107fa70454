#pragma once

// The threads probes run on. A probe waits for its router, never for another probe: a job
// gets an idle thread, else a new one, up to the cap (the HTTP server's connection limit, so
// that every request it takes finds a thread). Threads stay for the next probes; each starts
// with every signal blocked, so signals reach the main thread only and never cut a probe's
// exchange short.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace exporter {

class ProbeWorkers {
 public:
  explicit ProbeWorkers(std::size_t i_uMaxThreads) : m_uMaxThreads(i_uMaxThreads) {}
  ~ProbeWorkers() { Stop(); }
  ProbeWorkers(const ProbeWorkers&) = delete;
  ProbeWorkers& operator=(const ProbeWorkers&) = delete;

  // False, and nothing run, once the pool stops.
  bool Run(std::function<void()> i_job);
  // Runs what was handed over, joins every thread and takes nothing more.
  void Stop();

 private:
  void Work();

  const std::size_t m_uMaxThreads;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_jobs;
  std::vector<std::thread> m_threads;
  std::size_t m_uIdle = 0;
  bool m_bStopping = false;
};

}  // namespace exporter
