#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>

#include "posix/UniqueFd.h"
#include "runloop/NSTimer.h"
#include "runloop/SdEventRunLoop.h"
#include "runloop/testing/ManualRunLoop.h"

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

// A child that keeps a pipe's writing end open without writing, sends the parent a signal after
// a moment, and closes the pipe after a while (ten seconds unless told): a read from the pipe
// that no signal interrupts ends then, with nothing read.
class SilentPipe {
 public:
  explicit SilentPipe(int i_iSignal, useconds_t i_closeAfterUs = 10'000'000) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    m_read.reset(fds[0]);
    posix::UniqueFd write(fds[1]);
    const pid_t parent = getpid();
    m_child = fork();
    if (m_child == 0) {
      m_read.reset();
      usleep(100'000);
      if (i_iSignal != 0) kill(parent, i_iSignal);
      usleep(i_closeAfterUs);
      _exit(0);
    }
  }
  ~SilentPipe() {
    kill(m_child, SIGKILL);
    waitpid(m_child, nullptr, 0);
  }
  // What a blocking read gives: -1 with EINTR when a signal cut it short.
  std::pair<ssize_t, int> Read() {
    char byte;
    const ssize_t got = ::read(m_read.get(), &byte, 1);
    return {got, errno};
  }

 private:
  posix::UniqueFd m_read;
  pid_t m_child = -1;
};

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
  // (here a read that ends when the child closes the pipe, 400 ms on) runs to its end.
  SilentPipe pipe(0, 300'000);
  ASSERT_EQ(raise(SIGTERM), 0);
  EXPECT_EQ(pipe.Read().first, 0);
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
  usleep(120'000);  // past the interrupter's first tick: still here
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
