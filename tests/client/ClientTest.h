#pragma once

#include <gtest/gtest.h>

#include <atomic>

#include "client/Zastra.h"
#include "support/FakeDaemon.h"

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

  // One connection on which the command is asked once per row, answered each time with the
  // row's `answer` line; `check` reads what the client made of it. The prefix comes first on
  // the wire, in the order the first check asks for it.
  template <typename Row, std::size_t N, typename CheckRow>
  void AnswerEach(const std::string& i_strCommand, const Row (&i_rows)[N], CheckRow i_check,
                  Script i_prefix = {}) {
    Script script = std::move(i_prefix);
    for (const Row& row : i_rows) script = script + Exchanges({{i_strCommand, row.answer}});
    FakeDaemon daemon(script);
    ConnectTo(daemon);
    for (const Row& row : i_rows) {
      SCOPED_TRACE(row.answer);
      i_check(row);
    }
    client.Disconnect();
    Check(daemon);
  }

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
