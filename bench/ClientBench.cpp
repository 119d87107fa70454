// The client beside a bare socket, in the same run, against the same local peer (a child
// process): one exchange (a command and its six-byte answer, "OK 37\n") and a 1 MiB download
// in acknowledged blocks of 1024 bytes. The bare socket reads whatever has arrived into a
// buffer of its own; it has no time-outs and could not share its descriptor with raw blocks.
//
//   client_bench                    Google Benchmark: wall and CPU time
//   client_bench MODE N             exactly N rounds of one MODE (exchange, bare-exchange,
//                                   download, bare-download), for counting system calls with
//                                   bench/client_syscalls

#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "BareClient.h"
#include "BenchPeer.h"
#include "client/Zastra.h"

namespace {

using zezar_bench::BenchPeer;

using zezar_bench::BareClient;

// The download protocol of Zastra::GetFile on the bare socket: a size line, blocks of 1024
// bytes each acknowledged, a closing line. The reader may hold part of a block already, so it
// acknowledges each whole block rather than each read.
std::string Download(BareClient& io_client) {
  const std::size_t uSize = std::stoul(io_client.Ask("send f pw").substr(3));
  std::string strFile;
  char buffer[1024];
  while (strFile.size() < uSize) {
    const std::size_t uBlockEnd = std::min(uSize, (strFile.size() / 1024 + 1) * 1024);
    strFile.append(buffer, io_client.Raw(buffer, uBlockEnd - strFile.size()));
    if (strFile.size() == uBlockEnd) io_client.Send("\x06");
  }
  io_client.Line();
  return strFile;
}

// A connected client.
struct ConnectedZastra {
  explicit ConnectedZastra(uint16_t i_port) {
    client.Connect("127.0.0.1", i_port);
    if (client.CPU() != 37) throw std::runtime_error("the peer did not answer");
  }
  Zastra client;
};

void CheckFile(const std::string& i_strFile) {
  if (i_strFile.size() != BenchPeer::kFileSize) throw std::runtime_error("short download");
}

void BM_Exchange(benchmark::State& state) {
  BenchPeer peer;
  ConnectedZastra connected(peer.Port());
  for (auto _ : state) benchmark::DoNotOptimize(connected.client.CPU());
}

void BM_BareExchange(benchmark::State& state) {
  BenchPeer peer;
  BareClient client(peer.Port());
  for (auto _ : state) benchmark::DoNotOptimize(client.Ask("cpu"));
}

void BM_Download1MiB(benchmark::State& state) {
  BenchPeer peer;
  ConnectedZastra connected(peer.Port());
  for (auto _ : state) CheckFile(connected.client.GetFile("pw", "f"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * BenchPeer::kFileSize));
}

void BM_BareDownload1MiB(benchmark::State& state) {
  BenchPeer peer;
  BareClient client(peer.Port());
  for (auto _ : state) CheckFile(Download(client));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * BenchPeer::kFileSize));
}

BENCHMARK(BM_Exchange)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_BareExchange)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_Download1MiB)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_BareDownload1MiB)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// N rounds of one mode, after the connection is made, for bench/client_syscalls.
int Rounds(const std::string& i_strMode, int i_iCount) {
  BenchPeer peer;
  const std::map<std::string, std::function<void()>> modes = {
      {"exchange",
       [&] {
         ConnectedZastra connected(peer.Port());
         for (int i = 0; i < i_iCount; ++i) connected.client.CPU();
       }},
      {"bare-exchange",
       [&] {
         BareClient client(peer.Port());
         client.Ask("cpu");
         for (int i = 0; i < i_iCount; ++i) client.Ask("cpu");
       }},
      {"download",
       [&] {
         ConnectedZastra connected(peer.Port());
         for (int i = 0; i < i_iCount; ++i) CheckFile(connected.client.GetFile("pw", "f"));
       }},
      {"bare-download",
       [&] {
         BareClient client(peer.Port());
         client.Ask("cpu");
         for (int i = 0; i < i_iCount; ++i) CheckFile(Download(client));
       }},
  };
  const auto found = modes.find(i_strMode);
  if (found == modes.end()) return 2;
  found->second();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Zastra::InitSignalHandler();
  if (argc == 3 && argv[1][0] != '-') return Rounds(argv[1], std::stoi(argv[2]));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
