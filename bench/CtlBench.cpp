// zezarctl and file transfer against the simulated router (a child process), each beside the
// same exchanges made on a plain socket with a buffered reader, in the same run.
//
//   ctl_bench                     Google Benchmark: wall time of `zezarctl status --json`, of
//                                 starting any program, of the status exchanges on a plain
//                                 socket; throughput of a 10 MB download and upload through
//                                 the client and through a plain socket with the same blocks
//                                 and acknowledgements
//   ctl_bench --bare-status N     N rounds of the status exchanges, for counting system calls
//                                 (see bench/ctl_syscalls)
//   ctl_bench --serve             a simulator with the benchmark's router; prints its port

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "BareClient.h"
#include "client/Md5.h"
#include "client/Zastra.h"
#include "routersim/Server.h"
#include "routersim/ServerProcess.h"

extern char** environ;

namespace {

constexpr std::size_t kFileSize = 10'000'000;
constexpr std::size_t kBlock = 1024;
constexpr char kAck = 6;

routersim::Router BenchRouter() {
  routersim::Router router = routersim::Router::WithChannels(2, 1);
  router.pppoe = true;
  router.files["ten"] = std::string(kFileSize, 'z');
  return router;
}

// Runs a program to its end with its output thrown away; the exit code.
int Spawn(const std::vector<std::string>& i_arguments, const std::vector<std::string>& i_env) {
  std::vector<char*> argv, envp;
  std::vector<std::string> arguments = i_arguments, env = i_env;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  const int error = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("posix_spawn " + i_arguments[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using zezar_bench::BareClient;

// What `zezarctl status --json` asks, as the administrator of a protocol 11 router.
void StatusRound(BareClient& io_client) {
  io_client.Ask("version");
  io_client.Ask("md5pass");
  const std::string strSalt = io_client.Ask("salt").substr(3);
  io_client.Ask("md5pass " + Md5()(std::string("admin") + strSalt));
  io_client.Ask("uptime");
  io_client.Ask("channels");
  io_client.Ask("pppoe");
  for (const char* pName : {"pppoe", "1", "2"}) {
    if (io_client.Ask(std::string("status ") + pName) == "OK Online") {
      io_client.Ask(std::string("ip ") + pName);
      io_client.Ask(std::string("rate ") + pName);
    }
  }
  io_client.Ask("uptime");
}

void LogIn(BareClient& io_client) {
  io_client.Ask("version");
  const std::string strSalt = io_client.Ask("salt").substr(3);
  io_client.Ask("md5pass " + Md5()(std::string("admin") + strSalt));
}

void BM_CtlStatusJson(benchmark::State& state) {
  routersim::ServerProcess server(BenchRouter());
  const std::vector<std::string> arguments = {
      ZEZARCTL, "--router", "127.0.0.1:" + std::to_string(server.Port()), "status", "--json"};
  const std::vector<std::string> env = {"ZEZAR_PREFERENCES=/nonexistent", "ZEZAR_ADMIN_PASS=admin"};
  for (auto _ : state) {
    if (Spawn(arguments, env) != 0) state.SkipWithError("zezarctl failed");
  }
}

void BM_ProgramStart(benchmark::State& state) {
  for (auto _ : state) Spawn({"/bin/true"}, {});
}

void BM_BareStatusExchanges(benchmark::State& state) {
  routersim::ServerProcess server(BenchRouter());
  for (auto _ : state) {
    BareClient client(server.Port());  // a connection per round, as zezarctl makes
    StatusRound(client);
  }
}

void BM_ClientDownload(benchmark::State& state) {
  Zastra::InitSignalHandler();
  routersim::ServerProcess server(BenchRouter());
  Zastra client;
  client.Connect("127.0.0.1", server.Port());
  client.Pass("admin");
  for (auto _ : state) {
    if (client.GetFile("root", "ten").size() != kFileSize) state.SkipWithError("short");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_BareDownload(benchmark::State& state) {
  routersim::ServerProcess server(BenchRouter());
  BareClient client(server.Port());
  LogIn(client);
  char buffer[kBlock];
  for (auto _ : state) {
    client.Send("send ten root\r\n");
    const std::size_t uSize = std::stoul(client.Line().substr(3));
    for (std::size_t uGot = 0; uGot < uSize;) {
      uGot += client.Raw(buffer, std::min(kBlock, uSize - uGot));
      client.Send(std::string(1, kAck));
    }
    client.Line();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_ClientUpload(benchmark::State& state) {
  Zastra::InitSignalHandler();
  routersim::ServerProcess server(BenchRouter());
  Zastra client;
  client.Connect("127.0.0.1", server.Port());
  client.Pass("admin");
  const std::string strFile(kFileSize, 'u');
  for (auto _ : state) {
    if (!client.UploadFile("root", "up", strFile)) state.SkipWithError("refused");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_BareUpload(benchmark::State& state) {
  routersim::ServerProcess server(BenchRouter());
  BareClient client(server.Port());
  LogIn(client);
  const std::string strFile(kFileSize, 'u');
  char ack[4];
  for (auto _ : state) {
    client.Send("receive up " + std::to_string(kFileSize) + " root\r\n");
    client.Raw(ack, 1);
    for (std::size_t uSent = 0; uSent < kFileSize; uSent += kBlock) {
      client.Send(strFile.substr(uSent, std::min(kBlock, kFileSize - uSent)));
      client.Raw(ack, 1);
    }
    client.Line();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

BENCHMARK(BM_CtlStatusJson)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ProgramStart)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_BareStatusExchanges)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ClientDownload)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_BareDownload)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_ClientUpload)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_BareUpload)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--bare-status") == 0) {
    const int rounds = std::stoi(argv[2]);
    routersim::ServerProcess server(BenchRouter());
    for (int i = 0; i < rounds; ++i) {
      BareClient client(server.Port());
      StatusRound(client);
    }
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--serve") == 0) {
    routersim::Server server(BenchRouter(), "127.0.0.1", 0);
    std::printf("%u\n", server.Port());
    std::fflush(stdout);
    server.Serve(routersim::Server::Control{STDIN_FILENO, -1, true});  // until stdin ends
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
