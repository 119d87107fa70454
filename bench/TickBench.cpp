// One full tick of the menu extra (menu build and one drawing, into a display list) against a
// local simulated router with four online channels, beside the same sixteen exchanges made
// with a plain buffered socket, in the same run; and what a tray adds to a tick whose drawing
// changed: the drawing replayed into a pixmap for each size panels ask for, 16 to 64 pixels
// (the count's text layer kept from the rendering before, as the host core keeps it while the
// count is the same); beside it the two of 22 and 44 pixels a tray offered before.
//
//   tick_bench                      Google Benchmark: wall and CPU time per tick
//   tick_bench --ticks N            exactly N ticks, for counting system calls (see
//   tick_bench --bare N             bench/tick_syscalls); --bare: N rounds of bare exchanges

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "BareClient.h"
#include "appkit/MenuExtraHost.h"
#include "appkit/NSBundle.h"
#include "menuextra/menubarThingy.h"
#include "preferences/testing/MemoryPreferences.h"
#include "router/testing/FixedRouter.h"
#include "routersim/ServerProcess.h"
#include "runloop/testing/ManualRunLoop.h"

namespace {

const std::string kDomain = "org.zezar.bench";
constexpr int kChannels = 4;

// The controller loaded on the host core, logged in to the simulator.
class LoadedExtra {
 public:
  explicit LoadedExtra(uint16_t i_port)
      : m_host({.runLoop = m_loop, .preferences = m_preferences, .log = {}, .recover = {}}) {
    m_preferences.Set("AutoDetectRouter", false);
    m_preferences.Set("RouterIPAddress", std::string("127.0.0.1"));
    m_preferences.Set("RouterPort", static_cast<long>(i_port));
    m_preferences.Set("RouterAdminPass", std::string("admin"));
    if (m_host.Load<ZezarIZIDezev>(m_bundle) == nullptr || !globalZastra->IsConnected()) {
      throw std::runtime_error("the extra did not connect to the simulator");
    }
  }
  void Tick() { m_loop.Advance(std::chrono::seconds(2)); }
  // What a tray makes of each drawing.
  std::size_t Pixmaps() const {
    std::size_t bytes = 0;
    for (const int pixels : drawing::kPanelIconSizes)
      bytes += m_host.Render(pixels / 22.0, {1, 1, 1, 1}).argb.size();
    return bytes;
  }
  std::size_t TwoPixmaps() const {
    return m_host.Render(1, {1, 1, 1, 1}).argb.size() + m_host.Render(2, {1, 1, 1, 1}).argb.size();
  }

 private:
  runloop::ManualRunLoop m_loop;
  preferences::MemoryPreferences m_preferences{kDomain};
  router::FixedRouter m_router{std::nullopt};
  router::DefaultRouterInstallation m_installedRouter{m_router};
  NSBundle m_bundle{kDomain, ZEZAR_RESOURCE_DIR};
  appkit::MenuExtraHost m_host;
};

using zezar_bench::BareClient;

// The same exchanges as a tick, on the bare socket.
void Round(BareClient& io_client) {
  for (const char* pKeyword : {"ip ", "rate "}) {
    for (int i = 1; i <= kChannels; ++i) {
      io_client.Ask("status " + std::to_string(i));
      io_client.Ask(pKeyword + std::to_string(i));
    }
  }
}

// A bare client logged in as the tick's client is.
BareClient LoggedIn(uint16_t i_port) {
  BareClient client(i_port);
  client.Ask("pass admin");  // refused on a protocol 11 router, which is all the same here
  return client;
}

routersim::Router FourOnline() {
  routersim::Router router = routersim::Router::WithChannels(kChannels, kChannels);
  router.userMayRun = {};  // only the administrator logs in here
  return router;
}

void BM_Tick(benchmark::State& state) {
  routersim::ServerProcess server(FourOnline());
  LoadedExtra extra(server.Port());
  for (auto _ : state) extra.Tick();
  state.counters["exchanges"] = benchmark::Counter(16, benchmark::Counter::kDefaults);
}

void BM_TickWithPixmaps(benchmark::State& state) {
  routersim::ServerProcess server(FourOnline());
  LoadedExtra extra(server.Port());
  for (auto _ : state) {
    extra.Tick();
    benchmark::DoNotOptimize(extra.Pixmaps());
  }
}

void BM_Pixmaps(benchmark::State& state) {
  routersim::ServerProcess server(FourOnline());
  LoadedExtra extra(server.Port());
  for (int i = 0; i < 4; ++i) extra.Tick();  // bars of every height in the drawing
  for (auto _ : state) benchmark::DoNotOptimize(extra.Pixmaps());
}

void BM_TwoPixmaps(benchmark::State& state) {
  routersim::ServerProcess server(FourOnline());
  LoadedExtra extra(server.Port());
  for (int i = 0; i < 4; ++i) extra.Tick();
  for (auto _ : state) benchmark::DoNotOptimize(extra.TwoPixmaps());
}

void BM_BareExchanges(benchmark::State& state) {
  routersim::ServerProcess server(FourOnline());
  BareClient client = LoggedIn(server.Port());
  for (auto _ : state) Round(client);
  state.counters["exchanges"] = benchmark::Counter(16, benchmark::Counter::kDefaults);
}

BENCHMARK(BM_Tick)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_TickWithPixmaps)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_Pixmaps)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_TwoPixmaps)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_BareExchanges)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && (std::strcmp(argv[1], "--ticks") == 0 || std::strcmp(argv[1], "--bare") == 0)) {
    const int count = std::stoi(argv[2]);
    routersim::ServerProcess server(FourOnline());
    if (std::strcmp(argv[1], "--ticks") == 0) {
      LoadedExtra extra(server.Port());
      for (int i = 0; i < count; ++i) extra.Tick();
    } else {
      BareClient client = LoggedIn(server.Port());
      for (int i = 0; i < count; ++i) Round(client);
    }
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
