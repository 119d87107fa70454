// The tray as it runs for months: zezar --host tray on a private session bus against the
// simulator (three channels, two online), with this program as the panel.
//
//   tray_bench [POLLS [PROGRAM]]
//
// With rates changing on every poll (every poll draws a new picture): resident memory after
// 1 000 polls and after POLLS (default 10 000), CPU time per poll beside the same exchanges on
// a bare socket, and the round trips of GetLayout and AboutToShow, idle and while the router
// stalls. Then with rates steady (after a few polls nothing changes from one to the next): CPU
// time per poll again. PROGRAM (default: the zezar of this build) is the program measured, so
// that two builds can be compared in one sitting.
//
// A poll is what a tick does (the menu rebuilt, the view drawn, and what changed rendered and
// announced); the panel asks for each one by opening the menu, as fast as they come. A poll
// that changes nothing sends no signal to wait for, so the panel waits for the tray to wait
// in its event loop again (/proc/PID/syscall), which it cannot do while the poll it deferred
// is due. While it measures CPU the panel looks from another core than the one the tray and
// the router are pinned to (taskset), so that its looking takes nothing from the tray.

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BareClient.h"
#include "routersim/ServerProcess.h"
#include "support/ChildProcess.h"
#include "support/PanelPeer.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using zezar_test::PanelPeer;

constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kMenu = "com.canonical.dbusmenu";
constexpr int kExchangesPerPoll = 10;  // status of three channels, address and rate of two

long StatusKiB(pid_t i_pid, const std::string& i_strField) {
  std::ifstream status("/proc/" + std::to_string(i_pid) + "/status");
  std::string strLine;
  while (std::getline(status, strLine)) {
    if (strLine.rfind(i_strField + ":", 0) == 0)
      return std::stol(strLine.substr(i_strField.size() + 1));
  }
  return -1;
}

// User and system CPU time of a process, in seconds.
struct Cpu {
  double user = 0, system = 0;
  Cpu operator-(const Cpu& i_other) const { return {user - i_other.user, system - i_other.system}; }
};

Cpu CpuSeconds(pid_t i_pid) {
  std::ifstream stat("/proc/" + std::to_string(i_pid) + "/stat");
  std::string strStat((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(strStat.substr(strStat.rfind(')') + 2));
  std::string field;
  unsigned long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoul(field);
    if (i == 15) stime = std::stoul(field);
  }
  const auto ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  return {static_cast<double>(utime) / ticks, static_cast<double>(stime) / ticks};
}

double RusageCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& i_time) {
    return static_cast<double>(i_time.tv_sec) + static_cast<double>(i_time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The same exchanges as one poll (three channels, two online), on a plain socket.
double BareCpuPerPoll(uint16_t i_port, int i_iRounds) {
  zezar_bench::BareClient client(i_port);
  client.Ask("pass adm");
  const double start = RusageCpuSeconds();
  for (int round = 0; round < i_iRounds; ++round) {
    for (const char* pKeyword : {"ip ", "rate "}) {
      for (int channel = 1; channel <= 3; ++channel) {
        client.Ask("status " + std::to_string(channel));
        if (channel <= 2) client.Ask(pKeyword + std::to_string(channel));
      }
    }
  }
  return (RusageCpuSeconds() - start) / i_iRounds;
}

// Whether the process is blocked in its event loop's wait ("running" when it is not blocked).
bool WaitsInLoop(pid_t i_pid) {
  std::ifstream file("/proc/" + std::to_string(i_pid) + "/syscall");
  long number = -1;
  file >> number;
  return number == SYS_epoll_wait || number == SYS_epoll_pwait || number == SYS_epoll_pwait2;
}

struct RoundTrips {
  double median_ms = 0, p99_ms = 0, max_ms = 0;
};

RoundTrips Measure(std::vector<double> io_ms) {
  std::sort(io_ms.begin(), io_ms.end());
  if (io_ms.empty()) return {};
  return {io_ms[io_ms.size() / 2], io_ms[io_ms.size() * 99 / 100], io_ms.back()};
}

class Bench {
 public:
  enum class Rates { Changing, Steady };

  Bench(Rates i_rates, const std::string& i_strProgram)
      : m_router(Router(i_rates)),
        m_preferences(m_dir.Write("preferences.toml",
                                  "UpdateInterval = 3600\nAutoDetectRouter = false\n"
                                  "RouterIPAddress = \"127.0.0.1\"\nRouterPort = " +
                                      std::to_string(m_router.Port()) +
                                      "\nRouterAdminPass = \"adm\"\n")),
        m_zezar(i_strProgram, {"--host", "tray", "--preferences", m_preferences.string()},
                {{"DBUS_SESSION_BUS_ADDRESS", m_bus.Address()}}),
        m_name("org.kde.StatusNotifierItem-" + std::to_string(m_zezar.Pid()) + "-1") {
    m_panel.WaitFor([&] { return m_panel.HasOwner(m_name); });
  }

  pid_t Pid() const { return m_zezar.Pid(); }
  uint16_t RouterPort() const { return m_router.Port(); }
  routersim::ServerProcess& router() { return m_router; }

  // One poll, as a panel asks for it; waits (up to a second) until it is over.
  void Poll() {
    Call("AboutToShow");
    const auto deadline = Clock::now() + 1s;
    while (!WaitsInLoop(Pid()) && Clock::now() < deadline) std::this_thread::sleep_for(50us);
    m_panel.WaitFor([] { return true; }, 0ms);  // counts the signals that arrived
  }

  // The signals of every poll so far: a call the tray answers after them brings them along.
  int Signals(const char* i_pSignal) {
    Call("GetLayout");
    m_panel.WaitFor([] { return true; }, 0ms);
    return m_panel.Signals(i_pSignal);
  }

  // The round trip of one call, in milliseconds; negative when it failed.
  double Call(const char* i_pMember) {
    std::string strError;
    const auto start = Clock::now();
    const bool bAnswered =
        std::string(i_pMember) == "GetLayout"
            ? static_cast<bool>(m_panel.Call(m_name, kMenuPath, kMenu, i_pMember, strError, 5s,
                                             "iias", 0, -1, nullptr))
            : static_cast<bool>(
                  m_panel.Call(m_name, kMenuPath, kMenu, i_pMember, strError, 5s, "i", 0));
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return bAnswered ? ms : -1;
  }

  std::vector<double> Calls(const char* i_pMember, int i_iCount) {
    std::vector<double> ms;
    for (int i = 0; i < i_iCount; ++i) ms.push_back(Call(i_pMember));
    return ms;
  }

 private:
  static routersim::Router Router(Rates i_rates) {
    routersim::Router router = routersim::Router::WithChannels(3, 2);
    router.adminPassword = "adm";
    router.varyRates = i_rates == Rates::Changing;  // every poll draws a new picture
    return router;
  }

  zezar_test::TempDir m_dir;
  zezar_test::SessionBus m_bus;
  PanelPeer m_panel{m_bus.Address()};
  routersim::ServerProcess m_router;
  std::filesystem::path m_preferences;
  zezar_test::ChildProcess m_zezar;
  std::string m_name;
};

// Resident memory in KiB: all of it, the process's own (anonymous), and its proportional share.
std::string Memory(pid_t i_pid) {
  long pss = -1;
  std::ifstream rollup("/proc/" + std::to_string(i_pid) + "/smaps_rollup");
  for (std::string strLine; std::getline(rollup, strLine);)
    if (strLine.rfind("Pss:", 0) == 0) pss = std::stol(strLine.substr(4));
  return std::to_string(StatusKiB(i_pid, "VmRSS")) + " KiB (own " +
         std::to_string(StatusKiB(i_pid, "RssAnon")) + " KiB, proportional " + std::to_string(pss) +
         " KiB)";
}

// Moves the calling thread to a core other than those it may run on now (where the tray and
// the router run, as started under taskset), for as long as it lives; stays where it is when
// there is no other core.
class PanelAside {
 public:
  PanelAside() {
    sched_getaffinity(0, sizeof m_measured, &m_measured);
    cpu_set_t aside;
    CPU_ZERO(&aside);
    for (long cpu = 0; cpu < sysconf(_SC_NPROCESSORS_ONLN) && cpu < CPU_SETSIZE; ++cpu)
      if (!CPU_ISSET(cpu, &m_measured)) CPU_SET(cpu, &aside);
    if (CPU_COUNT(&aside) > 0) sched_setaffinity(0, sizeof aside, &aside);
  }
  ~PanelAside() { sched_setaffinity(0, sizeof m_measured, &m_measured); }
  PanelAside(const PanelAside&) = delete;
  PanelAside& operator=(const PanelAside&) = delete;

 private:
  cpu_set_t m_measured;
};

// CPU per poll over i_iPolls polls, and the signals they sent.
void MeasurePolls(Bench& io_bench, int i_iPolls, const char* i_pWhat) {
  const PanelAside aside;
  const int icons = io_bench.Signals("NewIcon");
  const int toolTips = io_bench.Signals("NewToolTip");
  const Cpu start = CpuSeconds(io_bench.Pid());
  for (int i = 0; i < i_iPolls; ++i) io_bench.Poll();
  const Cpu used = CpuSeconds(io_bench.Pid()) - start;
  const double polls = i_iPolls;
  std::printf(
      "CPU per poll, %s: tray %.0f us (user %.0f, system %.0f); per poll %.2f NewIcon, "
      "%.2f NewToolTip\n",
      i_pWhat, (used.user + used.system) / polls * 1e6, used.user / polls * 1e6,
      used.system / polls * 1e6, (io_bench.Signals("NewIcon") - icons) / polls,
      (io_bench.Signals("NewToolTip") - toolTips) / polls);
}

}  // namespace

int main(int argc, char** argv) {
  const int polls = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 10'000;
  const std::string strProgram = argc > 2 ? argv[2] : ZEZAR_PROGRAM;
  {
    Bench bench(Bench::Rates::Changing, strProgram);
    std::printf("resident memory at start: %s\n", Memory(bench.Pid()).c_str());
    for (int i = 0; i < 1000; ++i) bench.Poll();
    std::printf("resident memory after 1000 polls: %s\n", Memory(bench.Pid()).c_str());
    MeasurePolls(bench, polls - 1000, "rates changing");
    std::printf("resident memory after %d polls: %s, peak %ld KiB\n", polls,
                Memory(bench.Pid()).c_str(), StatusKiB(bench.Pid(), "VmHWM"));
    std::printf("CPU per poll, the same %d exchanges on a bare socket: %.0f us\n",
                kExchangesPerPoll, BareCpuPerPoll(bench.RouterPort(), 2000) * 1e6);

    const auto print = [](const char* i_pWhat, const RoundTrips& i_trips) {
      std::printf("%-28s median %.2f ms, p99 %.2f ms, max %.2f ms\n", i_pWhat, i_trips.median_ms,
                  i_trips.p99_ms, i_trips.max_ms);
    };
    print("GetLayout, idle:", Measure(bench.Calls("GetLayout", 500)));
    print("AboutToShow, idle:", Measure(bench.Calls("AboutToShow", 500)));
    // The router stops answering for ten seconds; the panel keeps asking.
    bench.router().Inject("stall 10");
    bench.Call("AboutToShow");  // its poll meets the stall
    std::vector<double> stalled;
    for (int i = 0; i < 30; ++i) {
      stalled.push_back(bench.Call(i % 2 == 0 ? "GetLayout" : "AboutToShow"));
      std::this_thread::sleep_for(100ms);
    }
    print("both, router stalled:", Measure(stalled));
  }
  Bench steady(Bench::Rates::Steady, strProgram);
  for (int i = 0; i < 100; ++i) steady.Poll();  // until the graph's history is level
  MeasurePolls(steady, polls - 1000, "rates steady");
  return 0;
}
