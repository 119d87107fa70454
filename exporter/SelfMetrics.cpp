#include "SelfMetrics.h"

#include <dirent.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "metrics/Exposition.h"

namespace exporter {

namespace {

using metrics::Type;

// What /proc says of this process; zeros where it says nothing.
struct ProcessFigures {
  double cpuSeconds = 0;
  double startTime = 0;  // seconds since the epoch
  uint64_t residentBytes = 0;
  uint64_t virtualBytes = 0;
  uint64_t openFds = 0;
  uint64_t maxFds = 0;
};

// When the machine started, in seconds since the epoch: what /proc/stat calls btime, read off
// the clocks, since a service that sees only its own processes (ProcSubset=pid) has no
// /proc/stat.
double BootTime() {
  timespec now{}, sinceBoot{};
  clock_gettime(CLOCK_REALTIME, &now);
  clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
  return static_cast<double>(now.tv_sec - sinceBoot.tv_sec) +
         static_cast<double>(now.tv_nsec - sinceBoot.tv_nsec) / 1e9;
}

ProcessFigures ReadProcess() {
  ProcessFigures figures;
  const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  std::ifstream statFile("/proc/self/stat");
  std::string strStat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
  // The fields after the command's closing parenthesis, from the state (field 3) on.
  const std::size_t uClose = strStat.rfind(')');
  if (uClose != std::string::npos) {
    std::istringstream fields(strStat.substr(uClose + 1));
    std::vector<std::string> values;
    for (std::string strValue; fields >> strValue;) values.push_back(strValue);
    const auto field = [&](std::size_t i_uNumber) {  // as proc(5) numbers them
      return i_uNumber - 3 < values.size() ? std::stod(values[i_uNumber - 3]) : 0.0;
    };
    figures.cpuSeconds = (field(14) + field(15)) / ticks;
    figures.virtualBytes = static_cast<uint64_t>(field(23));
    figures.residentBytes =
        static_cast<uint64_t>(field(24)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    figures.startTime = BootTime() + field(22) / ticks;
  }
  if (DIR* pDir = opendir("/proc/self/fd")) {
    while (const dirent* pEntry = readdir(pDir))
      if (pEntry->d_name[0] != '.') ++figures.openFds;
    closedir(pDir);
    --figures.openFds;  // the listing's own
  }
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) figures.maxFds = limit.rlim_cur;
  return figures;
}

}  // namespace

void SelfMetrics::Probed(const std::string& i_strTarget, bool i_bUp, double i_seconds) {
  const std::lock_guard lock(m_mutex);
  Counts& counts = m_probes[i_strTarget];
  ++(i_bUp ? counts.success : counts.failure);
  std::size_t i = 0;
  while (i < kBuckets.size() && i_seconds > kBuckets[i]) ++i;
  if (i < kBuckets.size()) ++m_buckets[i];
  ++m_count;
  m_sum += i_seconds;
}

void SelfMetrics::Configured(const Config& i_config) {
  const std::lock_guard lock(m_mutex);
  m_uRouters = i_config.routers.size();
  for (auto entry = m_probes.begin(); entry != m_probes.end();)
    entry = i_config.Find(entry->first) == nullptr ? m_probes.erase(entry) : std::next(entry);
}

void SelfMetrics::Reloaded(bool i_bSuccess) {
  const std::lock_guard lock(m_mutex);
  m_bLastReloadSuccessful = i_bSuccess;
}

std::string SelfMetrics::Page() const {
  metrics::Exposition page;
  {
    const std::lock_guard lock(m_mutex);
    page.Family("zezar_exporter_probes_total", Type::Counter, "Probes by target and result.");
    for (const auto& [target, counts] : m_probes) {
      page.Sample("zezar_exporter_probes_total", {{"target", target}, {"result", "success"}},
                  counts.success);
      page.Sample("zezar_exporter_probes_total", {{"target", target}, {"result", "failure"}},
                  counts.failure);
    }
    page.Family("zezar_exporter_probe_duration_seconds", Type::Histogram,
                "How long probes took, connection and login included.");
    uint64_t cumulative = 0;
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
      cumulative += m_buckets[i];
      page.Sample("zezar_exporter_probe_duration_seconds_bucket",
                  {{"le", metrics::FormatValue(kBuckets[i])}}, cumulative);
    }
    page.Sample("zezar_exporter_probe_duration_seconds_bucket", {{"le", "+Inf"}}, m_count);
    page.Sample("zezar_exporter_probe_duration_seconds_sum", {}, m_sum);
    page.Sample("zezar_exporter_probe_duration_seconds_count", {}, m_count);
    page.Family("zezar_exporter_routers", Type::Gauge, "Routers configured.");
    page.Sample("zezar_exporter_routers", {}, static_cast<uint64_t>(m_uRouters));
    page.Family("zezar_exporter_config_last_reload_successful", Type::Gauge,
                "1 when the configuration last read was taken, 0 when it was refused.");
    page.Sample("zezar_exporter_config_last_reload_successful", {}, m_bLastReloadSuccessful);
  }
  page.Family("zezar_exporter_build_info", Type::Gauge, "The exporter's version, always 1.");
  page.Sample("zezar_exporter_build_info", {{"version", ZEZAR_VERSION}}, uint64_t{1});

  const ProcessFigures process = ReadProcess();
  page.Family("process_cpu_seconds_total", Type::Counter, "User and system CPU time spent.");
  page.Sample("process_cpu_seconds_total", {}, process.cpuSeconds);
  page.Family("process_resident_memory_bytes", Type::Gauge, "Resident memory size.");
  page.Sample("process_resident_memory_bytes", {}, process.residentBytes);
  page.Family("process_virtual_memory_bytes", Type::Gauge, "Virtual memory size.");
  page.Sample("process_virtual_memory_bytes", {}, process.virtualBytes);
  page.Family("process_start_time_seconds", Type::Gauge, "Start time since the epoch.");
  page.Sample("process_start_time_seconds", {}, process.startTime);
  page.Family("process_open_fds", Type::Gauge, "Open file descriptors.");
  page.Sample("process_open_fds", {}, process.openFds);
  page.Family("process_max_fds", Type::Gauge, "The most file descriptors the process may open.");
  page.Sample("process_max_fds", {}, process.maxFds);
  return std::move(page).Text();
}

}  // namespace exporter
