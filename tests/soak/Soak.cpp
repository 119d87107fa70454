// The tray against a router that misbehaves at random, for as long as it takes: the monitor
// and its tray host (StatusNotifierItem and dbusmenu on a private session bus, with a panel and
// a notification service in a child process that reads everything the item announces), polling
// a simulator that stalls, closes, answers garbage, holds answers back, and reboots (refusing
// connections meanwhile). The faults follow a seed, so a run can be repeated.
//
//   soak [--ticks N] [--seed S] [--faults P] [--quick]
//
// N polls (default 10 000), a new fault before P in a hundred of them (default 6). --quick
// draws only the faults that cost no waiting (close, garbage) but the one reboot, so that a
// short run still makes the monitor lose and find the router hundreds of times. The tray
// runs in this process, so what is measured is the tray's own process: at eleven checkpoints,
// each taken after a clean poll with the connection up (as at the start), it prints the
// resident set, the anonymous part of it, the heap in use and the open descriptors. It checks
// that nothing crashes, that every return of the router after a reboot is noticed by the first
// poll after it, and that nothing grows beyond the warm-up (see the bounds below); it exits 1
// if any check failed.

#include <malloc.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Monitor.h"
#include "hosts/Log.h"
#include "routersim/ServerProcess.h"
#include "runloop/SdCheck.h"
#include "runloop/SdEventPtr.h"
#include "runloop/SdEventRunLoop.h"
#include "support/ChildProcess.h"
#include "support/FakeDaemon.h"
#include "support/PanelPeer.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"
#include "tray/TrayHost.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPause = 10ms;          // between the end of one poll and the start of the next
constexpr auto kReturnMargin = 100ms;  // for the simulator to listen again after a reboot
constexpr int kCheckpoints = 10;       // after the start; the first of them ends the warm-up

// What the process holds at one checkpoint.
struct Footprint {
  int tick = 0;
  long rssKiB = -1;      // VmRSS: with the pages of the program and its libraries
  long anonKiB = -1;     // RssAnon: the heap, the stacks and the other private pages
  long heapKiB = -1;     // allocated by malloc and not yet freed
  int descriptors = -1;  // open
};

long StatusKiB(const char* i_pField) {
  std::ifstream status("/proc/self/status");
  const std::string strField = i_pField;
  for (std::string strLine; std::getline(status, strLine);)
    if (strLine.rfind(strField, 0) == 0) return std::stol(strLine.substr(strField.size()));
  return -1;
}

Footprint Measure(int i_iTick) {
  const struct mallinfo2 heap = mallinfo2();
  return {.tick = i_iTick,
          .rssKiB = StatusKiB("VmRSS:"),
          .anonKiB = StatusKiB("RssAnon:"),
          .heapKiB = static_cast<long>((heap.uordblks + heap.hblkhd) / 1024),
          .descriptors = zezar_test::OpenDescriptorCount()};
}

// Growth beyond the warm-up. The warm-up is the first tenth of the run: by then the allocator has
// its arenas, sd-bus and cairo their buffers and caches, the containers their largest sizes, and
// the faults their first turns. From there to the end nothing may grow but by a fixed slack,
// whatever the length of the run: a leak of a few hundred bytes each time the router is lost or
// found passes it within a few hundred such changes (CI's short run makes about 160 after its
// warm-up; the tray levels off at +15 KiB). Descriptors have no slack. The heap in use is the sharp
// measure (no page granularity, no freed pages kept back); the anonymous resident set gets more
// slack for the allocator's fragmentation. The program's own pages (VmRSS minus RssAnon) are left
// out: they come in as new paths run for the first time and the kernel may drop them at will.
constexpr long kHeapSlackKiB = 64;
constexpr long kAnonSlackKiB = 512;

// The panel of a desktop in a child process, so that its memory is not counted: the status
// notifier watcher and the notification service, reading the item's properties (pixmaps
// included) and its whole menu after each announcement, as panels do. It ends when the bus or
// this process goes away; the destructor ends it first.
class Panel {
 public:
  explicit Panel(const std::string& i_strAddress) {
    const pid_t parent = ::getpid();
    m_child = ::fork();
    if (m_child < 0) throw std::runtime_error("fork");
    if (m_child == 0) {
      ::close_range(3, ~0u, 0);  // nothing of the parent's: the simulator's control above all
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) _exit(0);
      try {
        Serve(i_strAddress);
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
  }
  ~Panel() {
    ::kill(m_child, SIGTERM);
    zezar_test::Reap(m_child, std::chrono::seconds(5));
  }
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

 private:
  static void Serve(const std::string& i_strAddress) {
    zezar_test::PanelPeer peer(i_strAddress);
    peer.StartWatcher();
    peer.StartNotifications();
    const auto announced = [&] {
      return peer.Signals("NewIcon") + peer.Signals("NewToolTip") + peer.Signals("LayoutUpdated");
    };
    while (sd_bus_is_open(peer.bus()) > 0) {
      if (!peer.WaitFor([&] { return announced() > 0; }, 1s) || peer.Registrations().empty())
        continue;
      peer.ResetSignals();
      const std::string& strItem = peer.Registrations().back();
      std::string strError;
      peer.Call(strItem, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "GetAll",
                strError, 5s, "s", "org.kde.StatusNotifierItem");
      peer.Call(strItem, "/MenuBar", "com.canonical.dbusmenu", "GetLayout", strError, 5s, "iias", 0,
                -1, 0);
    }
  }

  pid_t m_child = -1;
};

class Soak {
 public:
  struct Options {
    int ticks = 10'000;
    unsigned seed = 1;
    int faultPercent = 6;
    bool quick = false;
  };

  explicit Soak(const Options& i_options)
      : m_iTicks(i_options.ticks),
        m_iFaultPercent(i_options.faultPercent),
        m_bQuick(i_options.quick),
        m_random(i_options.seed),
        m_router(Router()),
        m_preferences(m_dir.Write("preferences.toml",
                                  "UpdateInterval = 3600\n"  // the soak paces the polls itself
                                  "AutoDetectRouter = false\n"
                                  "RouterIPAddress = \"127.0.0.1\"\n"
                                  "RouterPort = " +
                                      std::to_string(m_router.Port()) +
                                      "\n"
                                      "RouterAdminPass = \"adm\"\n")),
        m_monitor(m_loop, m_preferences, ZEZAR_RESOURCE_DIR, m_dir.path() / "state"),
        m_tray(m_loop, m_monitor, {.light = false, .preferences = m_preferences}) {
    // The tray's log, counted rather than printed: a flapping router makes many lines. A few
    // distinct ones are kept to show, no more, or the soak's own map would grow with them.
    zezar::SetLogSink([this](const std::string& i_strLine) {
      ++m_iLogged;
      if (m_logged.size() < 20 || m_logged.count(i_strLine) != 0) ++m_logged[i_strLine];
    });
  }
  ~Soak() { zezar::SetLogSink(nullptr); }
  Soak(const Soak&) = delete;
  Soak& operator=(const Soak&) = delete;

  int Run() {
    const auto start = Clock::now();
    Next();
    if (const int code = m_tray.Run(); code != 0) {
      std::fprintf(stderr, "soak: the tray ended with %d\n", code);
      return 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (m_footprints.empty()) {
      std::fprintf(stderr, "soak: the tray did not poll\n");
      return 1;
    }

    std::printf("soak: %d polls in %.0f s\n", m_iTicks, seconds);
    for (const auto& [fault, count] : m_faults)
      std::printf("  fault %-8s %d times\n", fault.c_str(), count);
    std::printf("  returns after a reboot noticed by the first poll: %d of %d\n", m_iNoticed,
                m_iReturns);
    std::printf("  the router lost or found again: %d times\n", m_iChanges);
    if (m_iLogged > 0) std::printf("  the tray logged %d lines, among them:\n", m_iLogged);
    for (const auto& [line, count] : m_logged) std::printf("    %6d  %s\n", count, line.c_str());
    std::printf("  %8s %9s %9s %9s %6s\n", "poll", "RSS KiB", "anon KiB", "heap KiB", "fds");
    for (const Footprint& at : m_footprints)
      std::printf("  %8d %9ld %9ld %9ld %6d\n", at.tick, at.rssKiB, at.anonKiB, at.heapKiB,
                  at.descriptors);

    bool bPassed = true;
    const auto check = [&](bool i_bHolds, const std::string& i_strWhat) {
      if (!i_bHolds) std::printf("soak: FAILED: %s\n", i_strWhat.c_str());
      bPassed = bPassed && i_bHolds;
    };
    check(m_iReturns > 0, "no reboot returned to be judged");
    check(m_iNoticed == m_iReturns, "a return of the router went unnoticed for more than a poll");
    check(m_bLastReachable, "the router is not watched");
    check(m_footprints.size() == kCheckpoints + 1, "a checkpoint is missing");
    const Footprint& warm = m_footprints[std::min<std::size_t>(1, m_footprints.size() - 1)];
    const Footprint& end = m_footprints.back();
    std::printf(
        "  after the warm-up (poll %d) to the end: heap %+ld KiB (slack %ld), anon %+ld "
        "KiB (slack %ld), descriptors %+d\n",
        warm.tick, end.heapKiB - warm.heapKiB, kHeapSlackKiB, end.anonKiB - warm.anonKiB,
        kAnonSlackKiB, end.descriptors - warm.descriptors);
    check(end.descriptors <= warm.descriptors, "the descriptor count grew");
#ifndef __SANITIZE_ADDRESS__  // AddressSanitizer holds freed memory back on purpose
    check(end.heapKiB - warm.heapKiB <= kHeapSlackKiB, "the heap in use grew past the slack");
    check(end.anonKiB - warm.anonKiB <= kAnonSlackKiB, "the anonymous memory grew past the slack");
#endif
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

  bool Reachable() const {
    const timeline::Timeline* pTimeline = m_monitor.Timeline();
    return pTimeline != nullptr && pTimeline->Current() &&
           pTimeline->Current()->state.kind != router::Connection::Unreachable;
  }

  // One poll as a panel's opening of the menu asks for it, perhaps after a new fault; a
  // reboot's end is checked by the first poll after it.
  void Poll() {
    if (m_iTick == 0) Checkpoint();  // the start, connected
    const auto now = Clock::now();
    const bool bAwaitingReturn = m_rebootEnds && now >= *m_rebootEnds + kReturnMargin;
    if (!m_rebootEnds) MaybeInject();
    m_monitor.host().OpenMenu();
    if (bAwaitingReturn) Judge();
    const bool bReachable = Reachable();
    m_iChanges += bReachable != m_bWasReachable ? 1 : 0;
    m_bWasReachable = bReachable;
    ++m_iTick;
    if (m_iTick * kCheckpoints / m_iTicks != (m_iTick - 1) * kCheckpoints / m_iTicks) Checkpoint();
    if (m_iTick < m_iTicks) {
      Next();
    } else {
      m_bLastReachable = Reachable();
      m_loop.Exit(0);
    }
  }

  // One more poll, without faults and after any reboot, so that every measure is taken with
  // the connection up as at the start.
  void Checkpoint() {
    m_router.Inject("clear");
    if (m_rebootEnds) std::this_thread::sleep_until(*m_rebootEnds + kReturnMargin);
    const bool bAwaitingReturn = m_rebootEnds.has_value();
    m_monitor.host().OpenMenu();
    if (bAwaitingReturn) Judge();
    m_footprints.push_back(Measure(m_iTick));
  }

  // The poll just made was the first after a reboot ended: did it find the router again?
  void Judge() {
    ++m_iReturns;
    if (Reachable()) ++m_iNoticed;
    m_rebootEnds.reset();
  }

  void MaybeInject() {
    if (m_iTick == m_iClearAt) m_router.Inject("clear");  // a latency lasts a few polls
    // One reboot at half-way at least, so that a return is judged in every run.
    const bool bForceReboot = m_iTick == m_iTicks / 2 && m_iReturns == 0;
    if (!bForceReboot && Random(1, 100) > m_iFaultPercent) return;
    std::string strFault;
    const int kind = bForceReboot ? 8 : m_bQuick ? Random(2, 5) : Random(0, 9);
    switch (kind) {  // now and then a reboot, which takes a while
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
  int m_iFaultPercent;
  bool m_bQuick;
  std::mt19937 m_random;
  routersim::ServerProcess m_router;
  zezar_test::TempDir m_dir;
  std::filesystem::path m_preferences;
  runloop::SdEventRunLoop m_loop;
  zezar::Monitor m_monitor;
  zezar::TrayHost m_tray;
  runloop::SdEventSourcePtr m_pacer;
  int m_iTick = 0;
  int m_iClearAt = -1;
  std::vector<Footprint> m_footprints;
  std::optional<Clock::time_point> m_rebootEnds;
  int m_iReturns = 0;
  int m_iNoticed = 0;
  bool m_bLastReachable = false;
  bool m_bWasReachable = true;  // as the first poll found it
  int m_iChanges = 0;           // of reachability, from one poll to the next
  std::map<std::string, int> m_faults;
  int m_iLogged = 0;
  std::map<std::string, int> m_logged;
};

}  // namespace

int main(int argc, char** argv) {
  Soak::Options options;
  bool bUsage = false;
  for (int i = 1; i < argc; ++i) {
    const std::string strOption = argv[i];
    const bool bValue = i + 1 < argc;
    if (strOption == "--quick") {
      options.quick = true;
    } else if (strOption == "--ticks" && bValue) {
      options.ticks = std::atoi(argv[++i]);
    } else if (strOption == "--seed" && bValue) {
      options.seed = static_cast<unsigned>(std::atol(argv[++i]));
    } else if (strOption == "--faults" && bValue) {
      options.faultPercent = std::atoi(argv[++i]);
    } else {
      bUsage = true;
    }
  }
  if (bUsage || options.ticks < 10 * kCheckpoints || options.faultPercent < 0 ||
      options.faultPercent > 100) {
    std::fprintf(stderr,
                 "usage: soak [--ticks N (100 or more)] [--seed S] [--faults PERCENT] [--quick]\n");
    return 2;
  }
  Zastra::InitSignalHandler();
  zezar_test::SessionBus bus;
  // The tray opens its bus from the environment, as in a desktop session.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
  Panel panel(bus.Address());
  Soak soak(options);
  return soak.Run();
}
