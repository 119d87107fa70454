#include <gtest/gtest.h>

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "posix/UniqueFd.h"
#include "runloop/NSTimer.h"
#include "runloop/QuitSignals.h"
#include "runloop/SdEventRunLoop.h"
#include "runloop/testing/ManualRunLoop.h"
#include "support/ChildProcess.h"
#include "support/WaitUntil.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using runloop::Microseconds;

// A timer's target that notes when it was called.
struct Ticker {
  void Tick(NSTimer* i_pTimer) {
    times.push_back(loop->Now());
    timer = i_pTimer;
    if (stopAfter > 0 && static_cast<int>(times.size()) == stopAfter) onStop();
  }
  runloop::RunLoop* loop = nullptr;
  std::vector<Microseconds> times;
  NSTimer* timer = nullptr;
  int stopAfter = 0;
  std::function<void()> onStop;
};

class ATimer : public ::testing::Test {
 protected:
  void SetUp() override {
    runloop::RunLoop::SetCurrent(&loop);
    ticker.loop = &loop;
  }
  void TearDown() override { runloop::RunLoop::SetCurrent(nullptr); }

  NSTimer* Schedule(double i_seconds, bool i_bRepeats) {
    return NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
        i_seconds, &ticker, &Ticker::Tick, nullptr, i_bRepeats);
  }

  runloop::ManualRunLoop loop;
  Ticker ticker;
};

TEST_F(ATimer, RepeatsOnItsPeriodWithoutDrift) {
  const Microseconds start = loop.Now();
  NSTimer* pTimer = Schedule(2.0, true);
  loop.Advance(1999ms);
  EXPECT_TRUE(ticker.times.empty());
  loop.Advance(1ms);
  loop.Advance(3500ms);  // not on a tick
  loop.Advance(4500ms);
  ASSERT_EQ(ticker.times.size(), 5u);
  for (std::size_t i = 0; i < ticker.times.size(); ++i) {
    EXPECT_EQ(ticker.times[i], start + (i + 1) * 2'000'000u);
  }
  EXPECT_EQ(ticker.timer, pTimer);
  EXPECT_EQ(loop.Dispatches(), 5);
}

TEST_F(ATimer, FiresAtOnceWithoutMovingItsSchedule) {
  const Microseconds start = loop.Now();
  NSTimer* pTimer = Schedule(2.0, true);
  loop.Advance(500ms);
  pTimer->fire();
  EXPECT_EQ(ticker.times, (std::vector<Microseconds>{start + 500'000}));
  loop.Advance(1500ms);
  EXPECT_EQ(ticker.times.back(), start + 2'000'000);
  EXPECT_TRUE(pTimer->isValid());
}

TEST_F(ATimer, FiresOnceWhenNotRepeating) {
  NSTimer* pTimer = Schedule(1.0, false);
  loop.Advance(10s);
  EXPECT_EQ(ticker.times.size(), 1u);
  Schedule(1.0, false)->fire();  // fired by hand: done, no tick later
  loop.Advance(10s);
  EXPECT_EQ(ticker.times.size(), 2u);
  (void)pTimer;
}

TEST_F(ATimer, StopsForGoodWhenInvalidatedEvenFromItsOwnAction) {
  NSTimer* pOuter = Schedule(1.0, true);
  ticker.stopAfter = 2;
  ticker.onStop = [&] { pOuter->invalidate(); };
  loop.Advance(10s);
  EXPECT_EQ(ticker.times.size(), 2u);
  loop.Advance(10s);
  EXPECT_EQ(ticker.times.size(), 2u);
}

TEST_F(ATimer, RaisesATooShortIntervalToItsMinimum) {
  NSTimer* pTimer = Schedule(0.0, true);
  EXPECT_GT(pTimer->timeInterval(), 0.0);
  loop.Advance(1ms);
  EXPECT_EQ(ticker.times.size(), 10u);
}

TEST_F(ATimer, LetsTheHostDrawAfterEachTick) {
  int hooks = 0;
  loop.SetAfterDispatch([&] {
    ++hooks;
    EXPECT_EQ(static_cast<int>(ticker.times.size()), hooks);
  });
  Schedule(1.0, true);
  loop.Advance(3s);
  EXPECT_EQ(hooks, 3);
}

TEST(AnSdEventRunLoop, TicksInRealTimeUntilTold) {
  runloop::SdEventRunLoop loop;
  runloop::RunLoop::SetCurrent(&loop);
  Ticker ticker;
  ticker.loop = &loop;
  ticker.stopAfter = 5;
  ticker.onStop = [&] { loop.Exit(7); };
  const Microseconds start = loop.Now();
  int hooks = 0;
  loop.SetAfterDispatch([&] { ++hooks; });
  NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(0.02, &ticker, &Ticker::Tick,
                                                                       nullptr, true);
  EXPECT_EQ(loop.Run(), 7);
  ASSERT_EQ(ticker.times.size(), 5u);
  for (std::size_t i = 0; i < ticker.times.size(); ++i) {
    EXPECT_GE(ticker.times[i], start + (i + 1) * 20'000u) << "tick " << i << " came early";
  }
  EXPECT_GE(hooks, 4);
  runloop::RunLoop::SetCurrent(nullptr);
}

struct Thrower {
  void Throw(NSTimer*) { throw std::runtime_error("from the action"); }
};

TEST(AnSdEventRunLoop, StopsWhenAnActionThrows) {
  runloop::SdEventRunLoop loop;
  runloop::RunLoop::SetCurrent(&loop);
  Thrower thrower;
  NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
      0.001, &thrower, &Thrower::Throw, nullptr, true);
  EXPECT_THROW(loop.Run(), std::runtime_error);
  runloop::RunLoop::SetCurrent(nullptr);
}

TEST(AnSdEventRunLoop, HandsAnActionsFailureToTheHostAndGoesOn) {
  runloop::SdEventRunLoop loop;
  runloop::RunLoop::SetCurrent(&loop);
  std::vector<std::string> failures;
  loop.SetFailureHandler([&](std::exception_ptr i_failure) {
    try {
      std::rethrow_exception(i_failure);
    } catch (const std::exception& error) {
      failures.push_back(error.what());
    }
    if (failures.size() == 3) loop.Exit(0);
  });
  Thrower thrower;
  NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
      0.001, &thrower, &Thrower::Throw, nullptr, true)
      ->fire();  // fired by hand: the same policy
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(failures, std::vector<std::string>(3, "from the action"));
  runloop::RunLoop::SetCurrent(nullptr);
}

TEST(AnSdEventRunLoop, RunsDeferredWorkOnceEachInOrder) {
  runloop::SdEventRunLoop loop;
  std::vector<int> done;
  loop.Defer([&] {
    done.push_back(1);
    loop.Defer([&] {  // work may defer more
      done.push_back(3);
      loop.Exit(0);
    });
  });
  loop.Defer([&] { done.push_back(2); });
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(done, (std::vector<int>{1, 2, 3}));
}

TEST(AnSdEventRunLoop, EndsOnATerminationSignal) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    runloop::SdEventRunLoop loop;
    loop.ExitOnSignals({SIGINT, SIGTERM});
    ASSERT_EQ(raise(signal), 0);
    EXPECT_EQ(loop.Run(), 0);
  }
}

// A pipe nobody writes to, its writing end held open by a child until the test is done (ten
// seconds at most): a read from it ends when a signal cuts it short. Told so, the child sends
// the parent a signal once the parent is asleep in that read.
class SilentPipe {
 public:
  explicit SilentPipe(int i_iSignalInRead) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    m_read.reset(fds[0]);
    posix::UniqueFd write(fds[1]);
    EXPECT_EQ(pipe(fds), 0);
    posix::UniqueFd wordRead(fds[0]);
    m_word.reset(fds[1]);
    const pid_t parent = getpid();
    m_child = fork();
    if (m_child == 0) {
      m_read.reset();
      m_word.reset();
      // The word comes just before the read; after it the parent can sleep nowhere else.
      if (i_iSignalInRead != 0 && Await(wordRead.get(), Until::Word) &&
          WaitUntil([&] { return Asleep(parent); }, 10s)) {
        kill(parent, i_iSignalInRead);
      }
      Await(wordRead.get(), Until::End);  // the test is done
      _exit(0);
    }
  }
  ~SilentPipe() {
    kill(m_child, SIGKILL);
    Reap(m_child, 10s);
  }
  // What a blocking read gives: -1 with EINTR when a signal cut it short.
  std::pair<ssize_t, int> Read() {
    const char word = 'r';
    EXPECT_EQ(::write(m_word.get(), &word, 1), 1);
    char byte;
    const ssize_t got = ::read(m_read.get(), &byte, 1);
    return {got, errno};
  }

 private:
  // Reads words until one comes, or until the parent closes the pipe; ten seconds at most.
  enum class Until { Word, End };
  static bool Await(int i_fd, Until i_until) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (;;) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd entry{i_fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) != 1) return false;
      char byte;
      const ssize_t got = ::read(i_fd, &byte, 1);
      if (got <= 0) return got == 0 && i_until == Until::End;
      if (i_until == Until::Word) return true;
    }
  }
  // Whether the process sleeps in a call, by the state /proc/PID/stat shows after its name.
  static bool Asleep(pid_t i_pid) {
    std::ifstream file("/proc/" + std::to_string(i_pid) + "/stat");
    const std::string stat(std::istreambuf_iterator<char>(file), {});
    const std::size_t uNameEnd = stat.rfind(')');
    return uNameEnd != std::string::npos && stat.compare(uNameEnd, 3, ") S") == 0;
  }

  posix::UniqueFd m_read;
  posix::UniqueFd m_word;  // a byte before each read; closed, it lets the child go
  pid_t m_child = -1;
};

// A blocking read of a timer that expires after the bound: -1 with EINTR when a signal cut it
// short, 8 bytes when nothing did.
std::pair<ssize_t, int> ReadTimerOf(std::chrono::milliseconds i_bound) {
  const posix::UniqueFd timer(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(i_bound);
  const itimerspec once{{0, 0},
                        {seconds.count(), std::chrono::nanoseconds(i_bound - seconds).count()}};
  EXPECT_EQ(timerfd_settime(timer.get(), 0, &once, nullptr), 0);
  uint64_t expirations = 0;
  const ssize_t got = ::read(timer.get(), &expirations, sizeof expirations);
  return {got, errno};
}

// Past the interrupter's first signal, had it been started.
constexpr auto kPastTheInterrupter = 3 * runloop::QuitSignals::kInterruptEvery;

struct Blocker {
  void Block(NSTimer*) {
    if (bRaiseFirst) raise(SIGTERM);  // lands between two calls, not in one
    result = pipe->Read();
  }
  SilentPipe* pipe = nullptr;
  bool bRaiseFirst = false;
  std::pair<ssize_t, int> result{0, 0};
};

TEST(AnSdEventRunLoop, StopsInterruptingOnceItHasStopped) {
  runloop::SdEventRunLoop loop;
  loop.ExitOnSignals({SIGINT, SIGTERM});
  ASSERT_EQ(raise(SIGTERM), 0);
  EXPECT_EQ(loop.Run(), 0);
  // A second quit signal during the shut-down starts no interrupter again: a blocking call
  // runs to its end.
  ASSERT_EQ(raise(SIGTERM), 0);
  EXPECT_EQ(ReadTimerOf(kPastTheInterrupter).first, 8);
}

TEST(AnSdEventRunLoop, LeavesNoInterruptingSignalBehindThatCouldEndTheProcess) {
  {
    runloop::SdEventRunLoop loop;
    loop.ExitOnSignals({SIGINT, SIGTERM});
    ASSERT_EQ(raise(SIGINT), 0);  // the interrupter runs from here on
  }
  // Torn down without running: a signal of the interrupter may still be on its way, and its
  // default action would end the process. It keeps a handler that does nothing.
  struct sigaction now {};
  ASSERT_EQ(sigaction(SIGRTMIN, nullptr, &now), 0);
  EXPECT_NE(now.sa_handler, SIG_DFL);
  // Nor does the interrupter go on: a blocking call runs to its end.
  EXPECT_EQ(ReadTimerOf(kPastTheInterrupter).first, 8);
}

TEST(AnSdEventRunLoop, QuitsWhileATimerActionIsBlocked) {
  struct Row {
    const char* name;
    int signal;       // sent by another process while the action blocks
    bool raiseFirst;  // raised by the action itself before it blocks
  } rows[] = {
      {"a signal in the blocked call", SIGTERM, false},
      {"a signal before the call", 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    runloop::SdEventRunLoop loop;
    runloop::RunLoop::SetCurrent(&loop);
    loop.ExitOnSignals({SIGINT, SIGTERM});
    SilentPipe pipe(row.signal);
    Blocker blocker{&pipe, row.raiseFirst};
    NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
        0.001, &blocker, &Blocker::Block, nullptr, false);
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_EQ(blocker.result.first, -1);
    EXPECT_EQ(blocker.result.second, EINTR);
    runloop::RunLoop::SetCurrent(nullptr);
  }
}

}  // namespace
}  // namespace zezar_test
