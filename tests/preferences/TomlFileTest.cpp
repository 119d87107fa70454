#include "preferences/TomlFile.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <csignal>
#include <optional>
#include <vector>

#include "support/TempDir.h"

namespace zezar_test {
namespace {

using preferences::ReadTomlFile;

// Every signal a thread can block (glibc keeps two of the real-time ones for itself).
std::vector<int> Blockable() {
  std::vector<int> signals;
  for (int signal = 1; signal < 32; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP) signals.push_back(signal);
  }
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) signals.push_back(signal);
  return signals;
}

std::vector<int> Unblocked() {
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  std::vector<int> unblocked;
  for (const int signal : Blockable()) {
    if (!sigismember(&mask, signal)) unblocked.push_back(signal);
  }
  return unblocked;
}

TEST(ATomlFile, IsParsedOnAThreadOfItsOwnThatTakesNoSignal) {
  TempDir dir;
  const auto file = dir.Write("a.toml", "a = 7\n");
  const pthread_t caller = pthread_self();
  const std::vector<int> callerUnblocked = Unblocked();
  ASSERT_FALSE(callerUnblocked.empty());
  bool bOwnThread = false;
  std::vector<int> unblocked;
  std::optional<int64_t> value;
  EXPECT_TRUE(ReadTomlFile(file, 1024, [&](const toml::table& i_table) {
    bOwnThread = !pthread_equal(pthread_self(), caller);
    unblocked = Unblocked();
    value = i_table["a"].value<int64_t>();
  }));
  EXPECT_TRUE(bOwnThread);
  EXPECT_EQ(unblocked, std::vector<int>{});
  EXPECT_EQ(value, 7);
  EXPECT_EQ(Unblocked(), callerUnblocked);  // the caller takes its signals as before
}

}  // namespace
}  // namespace zezar_test
