// The monitor against a router that misbehaves at random, for as long as it takes: the
// controller on the host core and a real sd-event loop, polling a simulator that stalls,
// closes, answers garbage, holds answers back, and reboots (refusing connections meanwhile).
// The faults follow a seed, so a run can be repeated.
//
//   soak [--ticks N] [--seed S]
//
// It checks that nothing crashes, that the descriptor count ends where it began, that the
// process's own memory stays flat, and that every return of the router after a reboot is
// noticed by the first poll after it; it prints what it saw and exits 1 if any check failed.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "appkit/MenuExtraHost.h"
#include "appkit/NSBundle.h"
#include "menuextra/menubarThingy.h"
#include "preferences/testing/MemoryPreferences.h"
#include "router/testing/FixedRouter.h"
#include "routersim/ServerProcess.h"
#include "runloop/SdCheck.h"
#include "runloop/SdEventPtr.h"
#include "runloop/SdEventRunLoop.h"
#include "support/FakeDaemon.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPause = 10ms;          // between the end of one poll and the start of the next
constexpr auto kReturnMargin = 100ms;  // for the simulator to listen again after a reboot

long OwnMemoryKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string strLine; std::getline(status, strLine);)
    if (strLine.rfind("RssAnon:", 0) == 0) return std::stol(strLine.substr(8));
  return -1;
}

class Soak {
 public:
  Soak(int i_iTicks, unsigned i_uSeed)
      : m_iTicks(i_iTicks),
        m_iSettledAt(i_iTicks / 10),
        m_random(i_uSeed),
        m_router(Router()),
        m_host({.runLoop = m_loop,
                .preferences = m_preferences,
                .log = [this](const std::string& i_strLine) { ++m_logged[i_strLine]; },
                .recover =
                    [] {
                      if (globalZastra != nullptr) globalZastra->Disconnect();
                    }}) {
    m_preferences.Set("UpdateInterval", 3600L);  // the soak paces the polls itself
    m_preferences.Set("AutoDetectRouter", false);
    m_preferences.Set("RouterIPAddress", std::string("127.0.0.1"));
    m_preferences.Set("RouterPort", static_cast<long>(m_router.Port()));
    m_preferences.Set("RouterAdminPass", std::string("adm"));
  }

  int Run() {
    m_pController = m_host.Load<ZezarIZIDezev>(m_bundle);
    if (m_pController == nullptr || !m_pController->lastSample().reachable) {
      std::fprintf(stderr, "soak: the monitor did not reach the simulator\n");
      return 1;
    }
    m_iDescriptors = zezar_test::OpenDescriptorCount();
    const auto start = Clock::now();
    Next();
    m_loop.Run();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    // One last good poll, connected as at the start, for the descriptor count: after any
    // reboot still going on.
    m_router.Inject("clear");
    if (m_rebootEnds) std::this_thread::sleep_until(*m_rebootEnds + kReturnMargin);
    const bool bAwaitingReturn = m_rebootEnds.has_value();
    m_host.OpenMenu();
    if (bAwaitingReturn) Judge();
    const int descriptors = zezar_test::OpenDescriptorCount();
    const long memoryEnd = OwnMemoryKiB();

    std::printf("soak: %d polls in %.0f s\n", m_iTicks, seconds);
    for (const auto& [fault, count] : m_faults)
      std::printf("  fault %-8s %d times\n", fault.c_str(), count);
    std::printf("  returns after a reboot noticed by the first poll: %d of %d\n", m_iNoticed,
                m_iReturns);
    std::printf("  descriptors: %d at start, %d at the end\n", m_iDescriptors, descriptors);
    std::printf("  own memory: %ld KiB after %d polls, %ld KiB at the end\n", m_memorySettled,
                m_iSettledAt, memoryEnd);
    for (const auto& [line, count] : m_logged)
      std::printf("  logged %d times: %s\n", count, line.c_str());

    bool bPassed = true;
    const auto check = [&](bool i_bHolds, const char* i_pWhat) {
      if (!i_bHolds) std::printf("soak: FAILED: %s\n", i_pWhat);
      bPassed = bPassed && i_bHolds;
    };
    check(m_iReturns > 0, "no reboot returned to be judged");
    check(m_iNoticed == m_iReturns, "a return of the router went unnoticed for more than a poll");
    check(descriptors == m_iDescriptors, "the descriptor count grew");
#ifndef __SANITIZE_ADDRESS__  // AddressSanitizer holds freed memory back on purpose
    check(m_memorySettled < 0 || memoryEnd - m_memorySettled <= 512, "memory grew past 512 KiB");
#endif
    check(m_pController->lastSample().reachable, "the router is not watched");
    return bPassed ? 0 : 1;
  }

 private:
  static routersim::Router Router() {
    routersim::Router router = routersim::Router::WithChannels(3, 2);
    router.adminPassword = "adm";
    router.varyRates = true;
    return router;
  }

  int Random(int i_iMin, int i_iMax) {
    return std::uniform_int_distribution<int>(i_iMin, i_iMax)(m_random);
  }

  // The next poll after a pause, on one timer source armed again each time.
  void Next() {
    const uint64_t pause = std::chrono::microseconds(kPause).count();
    if (!m_pacer) {
      sd_event_source* pSource = nullptr;
      runloop::Check(sd_event_add_time_relative(m_loop.Event(), &pSource, CLOCK_BOOTTIME, pause,
                                                1000, &Soak::OnTime, this),
                     "sd_event_add_time_relative soak");
      m_pacer.reset(pSource);
      return;
    }
    runloop::Check(sd_event_source_set_time_relative(m_pacer.get(), pause), "soak timer");
    runloop::Check(sd_event_source_set_enabled(m_pacer.get(), SD_EVENT_ONESHOT), "soak timer");
  }

  static int OnTime(sd_event_source*, uint64_t, void* i_pUserData) {
    static_cast<Soak*>(i_pUserData)->Poll();
    return 0;
  }

  // One poll, perhaps after a new fault; a reboot's end is checked by the first poll after it.
  void Poll() {
    const auto now = Clock::now();
    const bool bAwaitingReturn = m_rebootEnds && now >= *m_rebootEnds + kReturnMargin;
    if (!m_rebootEnds) MaybeInject();
    m_host.OpenMenu();
    if (bAwaitingReturn) Judge();
    if (++m_iTick == m_iSettledAt) m_memorySettled = OwnMemoryKiB();
    if (m_iTick < m_iTicks) {
      Next();
    } else {
      m_loop.Exit(0);
    }
  }

  // The poll just made was the first after a reboot ended: did it find the router again?
  void Judge() {
    ++m_iReturns;
    if (m_pController->lastSample().reachable) ++m_iNoticed;
    m_rebootEnds.reset();
  }

  void MaybeInject() {
    if (m_iTick == m_iClearAt) m_router.Inject("clear");  // a latency lasts a few polls
    // One reboot at half-way at least, so that a return is judged in every run.
    const bool bForceReboot = m_iTick == m_iTicks / 2 && m_iReturns == 0;
    if (!bForceReboot && Random(1, 100) > 6) return;
    std::string strFault;
    switch (bForceReboot ? 8 : Random(0, 9)) {  // now and then a reboot, which takes a while
      case 0:
      case 1:
        strFault = "stall " + std::to_string(Random(1, 2));
        break;
      case 2:
      case 3:
        strFault = "close";
        break;
      case 4:
      case 5:
        strFault = "garbage " + std::to_string(Random(1, 8));
        break;
      case 6:
      case 7:
        strFault = "latency " + std::to_string(Random(0, 1200));  // past the alarm, at times
        m_iClearAt = m_iTick + Random(2, 10);
        break;
      case 8: {
        // A reboot's return is judged alone: the other faults end first.
        m_router.Inject("clear");
        const int seconds = Random(1, 2);
        strFault = "reboot " + std::to_string(seconds);
        m_rebootEnds = Clock::now() + std::chrono::seconds(seconds);
        break;
      }
      default:
        strFault = "clear";
        break;
    }
    m_router.Inject(strFault);
    ++m_faults[strFault.substr(0, strFault.find(' '))];
  }

  int m_iTicks;
  int m_iSettledAt;  // memory is judged from a tenth of the way on
  std::mt19937 m_random;
  routersim::ServerProcess m_router;
  runloop::SdEventRunLoop m_loop;
  preferences::MemoryPreferences m_preferences{"org.zezar.soak"};
  router::FixedRouter m_defaultRouter{std::nullopt};
  router::DefaultRouterInstallation m_installedRouter{m_defaultRouter};
  NSBundle m_bundle{"org.zezar.soak", ZEZAR_RESOURCE_DIR};
  appkit::MenuExtraHost m_host;
  runloop::SdEventSourcePtr m_pacer;
  ZezarIZIDezev* m_pController = nullptr;
  int m_iTick = 0;
  int m_iClearAt = -1;
  int m_iDescriptors = 0;
  long m_memorySettled = -1;
  std::optional<Clock::time_point> m_rebootEnds;
  int m_iReturns = 0;
  int m_iNoticed = 0;
  std::map<std::string, int> m_faults;
  std::map<std::string, int> m_logged;
};

}  // namespace

int main(int argc, char** argv) {
  int ticks = 10'000;
  unsigned seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--ticks") == 0) ticks = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--seed") == 0) seed = static_cast<unsigned>(std::atol(argv[i + 1]));
  }
  if (ticks < 10) {
    std::fprintf(stderr, "usage: soak [--ticks N (10 or more)] [--seed S]\n");
    return 2;
  }
  Zastra::InitSignalHandler();
  Soak soak(ticks, seed);
  return soak.Run();
}
