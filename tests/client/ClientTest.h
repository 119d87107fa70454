#pragma once

#include <gtest/gtest.h>

#include <atomic>

#include "client/Zastra.h"
#include "tests/support/FakeDaemon.h"

namespace zezar_test {

// Counts how often the client reported a lost connection. It may run in the alarm handler.
class CountingCallback : public Zastra::AbstractCallback {
 public:
  void operator()() override { m_calls.fetch_add(1); }
  int Calls() const { return m_calls.load(); }

 private:
  std::atomic<int> m_calls{0};
  static_assert(std::atomic<int>::is_always_lock_free);
};

// A client with the process's signal handling installed and a counting callback.
class ClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Zastra::InitSignalHandler(); }
  void SetUp() override { client.SetConnectionLostCallback(&lost); }

  void ConnectTo(const FakeDaemon& i_daemon) { client.Connect("127.0.0.1", i_daemon.Port()); }

  // Finishes the daemon and checks that the scripts ran as written.
  static Transcript Check(FakeDaemon& io_daemon) {
    Transcript transcript = io_daemon.Finish();
    EXPECT_EQ(transcript.error, "");
    return transcript;
  }

  Zastra client;
  CountingCallback lost;
};

}  // namespace zezar_test
