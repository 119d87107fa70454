// zezar-routersim: a simulated router monitor daemon on the local machine, for trying the
// monitor and zezarctl without a router.
//
// It prints the port it listens on as the first line on stdout, then serves until halted or
// interrupted. Lines on its standard input inject faults (see Faults.h). Passwords come from
// the configuration file only, never from the command line.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "posix/UniqueFd.h"
#include "router/DefaultRouter.h"
#include "routersim/RouterConfig.h"
#include "routersim/Server.h"

namespace {

constexpr const char* kUsage =
    "usage: zezar-routersim [--config FILE] [--address A] [--port N] [--channels N]\n"
    "                       [--online N] [--protocol N] [--pppoe] [--routers N]\n"
    "\n"
    "A simulated router monitor daemon. Prints the port it listens on (--port 0: any free\n"
    "port), then serves. --routers N simulates N routers alike, each with a port and state of\n"
    "its own (ports N from --port on, or any free ones), one port per line; a fault line\n"
    "\"K: FAULT\" goes to the Kth router alone, any other to all. Options override the\n"
    "configuration file (TOML), which also holds\n"
    "the passwords (default admin \"admin\", user \"user\", root \"root\"), levels,\n"
    "permissions, channels, circuits, files and limits. Default address 127.0.0.1, port\n"
    "5000.\n"
    "\n"
    "Limits ([limits] in the file): 900 connections (when all are taken, the one idle\n"
    "longest is closed for a new one); a connection idle for 300 s is closed, and so is one\n"
    "that leaves more than 64 KiB of answers untaken; uploads are stored up to 256 files\n"
    "and 64 MiB in all (beyond: \"ERR store full\").\n"
    "\n"
    "Faults, one per line on standard input: stall S, latency MS, garbage N, lie N, cut N,\n"
    "close, reboot S, clear. \"served [KEYWORD]\" logs the requests answered so far (with\n"
    "that keyword) and the connections accepted. Lines are logged printable and cut to 100\n"
    "bytes; a line longer than 4096 bytes is no fault.\n";

void Log(const std::string& i_strMessage) {
  std::fprintf(stderr, "zezar-routersim: %s\n", i_strMessage.c_str());
}

[[noreturn]] void Usage(const std::string& i_strProblem) {
  Log(i_strProblem);
  std::fputs(kUsage, stderr);
  std::exit(2);
}

long Number(const std::string& i_strOption, const char* i_pText, long i_lMin, long i_lMax) {
  char* pEnd = nullptr;
  errno = 0;
  const long value = std::strtol(i_pText, &pEnd, 10);
  if (pEnd == i_pText || *pEnd != '\0' || errno != 0 || value < i_lMin || value > i_lMax ||
      !(*i_pText >= '0' && *i_pText <= '9')) {
    Usage(i_strOption + " needs a number from " + std::to_string(i_lMin) + " to " +
          std::to_string(i_lMax));
  }
  return value;
}

constexpr long kMostRouters = 1000;

// Several routers in one process, each served by a thread of its own. Fault lines are read
// here and passed on through a pipe to the router they name, or to all; the end of standard
// input only ends that. Ends the process when every router was halted.
[[noreturn]] void ServeMany(const routersim::Router& i_router, const std::string& i_strAddress,
                            uint16_t i_firstPort, int i_iRouters) {
  // Three descriptors a router before its first client: as many as the system lets us have.
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  struct Served {
    std::unique_ptr<routersim::Server> server;
    posix::UniqueFd faultsIn, faultsOut;  // the pipe's ends: the server reads, this writes
  };
  std::vector<Served> served(static_cast<std::size_t>(i_iRouters));
  std::string strPorts;
  for (int i = 0; i < i_iRouters; ++i) {
    Served& one = served[static_cast<std::size_t>(i)];
    const uint16_t port = i_firstPort == 0 ? 0 : static_cast<uint16_t>(i_firstPort + i);
    one.server = std::make_unique<routersim::Server>(i_router, i_strAddress, port);
    one.server->SetLog([i](const std::string& i_strLine) {
      Log("router " + std::to_string(i + 1) + ": " + i_strLine);
    });
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
      throw std::system_error(errno, std::generic_category(), "pipe");
    one.faultsIn.reset(ends[0]);
    one.faultsOut.reset(ends[1]);
    // The writing end does not block: a halted router's pipe, full, drops what comes for it.
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    std::printf("%u\n", one.server->Port());
    strPorts += (i == 0 ? "" : ",") + std::to_string(one.server->Port());
  }
  std::fflush(stdout);
  Log("listening on " + i_strAddress + " ports " + strPorts + " (" + std::to_string(i_iRouters) +
      " routers)");
  std::vector<std::thread> threads;
  try {
    for (Served& one : served) {
      threads.emplace_back([&one] {
        one.server->Serve(routersim::Server::Control{one.faultsIn.get(), -1, false});
      });
    }
  } catch (const std::system_error& error) {  // the threads started are serving: end them all
    Log(std::string("no thread for every router: ") + error.what());
    std::_Exit(1);
  }
  // Detached: a thread blocked on standard input must not keep the process once all are halted.
  std::thread([&served, i_iRouters] {
    for (std::string strLine; std::getline(std::cin, strLine);) {
      // "K: FAULT" for the Kth router alone; any other line for all.
      const std::size_t uColon = std::min(strLine.find(':'), strLine.size());
      int which = 0;
      const char* pNumberEnd = strLine.data() + uColon;
      if (std::from_chars(strLine.data(), pNumberEnd, which).ptr != pNumberEnd || which < 1 ||
          which > i_iRouters)
        which = 0;
      std::string strFault = which == 0 ? strLine : strLine.substr(uColon + 1);
      strFault.erase(0, strFault.find_first_not_of(' '));
      strFault += '\n';
      for (int i = 0; i < i_iRouters; ++i) {
        if (which != 0 && i + 1 != which) continue;
        [[maybe_unused]] const ssize_t written = ::write(
            served[static_cast<std::size_t>(i)].faultsOut.get(), strFault.data(), strFault.size());
      }
    }
  }).detach();
  for (std::thread& thread : threads) thread.join();
  std::_Exit(0);  // the reader of standard input may still be blocked in it
}

}  // namespace

int main(int argc, char** argv) {
  std::string strAddress = "127.0.0.1", strConfig;
  long port = router::kDefaultPort;
  std::optional<long> channels, online, protocol;
  long routers = 1;
  bool bPppoe = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (option == "--version") {
      std::puts("zezar-routersim 1.0");
      return 0;
    }
    if (option == "--pppoe") {
      bPppoe = true;
      continue;
    }
    if (option == "--admin-password" || option == "--user-password") {
      Usage(option +
            " is gone: passwords on a command line are visible to every user; "
            "put them in the configuration file ([passwords])");
    }
    if (i + 1 >= argc)
      Usage(option.rfind("--", 0) == 0 ? "missing value for " + option
                                       : "unexpected argument " + option);
    const char* pValue = argv[++i];
    if (option == "--config") {
      strConfig = pValue;
    } else if (option == "--address") {
      strAddress = pValue;
    } else if (option == "--port") {
      port = Number(option, pValue, 0, 65535);
    } else if (option == "--channels") {
      channels = Number(option, pValue, 0, 255);
    } else if (option == "--online") {
      online = Number(option, pValue, 0, 255);
    } else if (option == "--protocol") {
      protocol = Number(option, pValue, 1, 99);
    } else if (option == "--routers") {
      routers = Number(option, pValue, 1, kMostRouters);
    } else {
      Usage("unknown option " + option);
    }
  }

  routersim::Router router = routersim::Router::WithChannels(2, 1);
  try {
    if (!strConfig.empty()) router = routersim::LoadRouterConfig(strConfig);
  } catch (const routersim::ConfigError& error) {
    Log(error.what());
    return 2;
  }
  if (channels || online) {
    int count = static_cast<int>(channels.value_or(static_cast<long>(router.channels.size())));
    router.channels =
        routersim::Router::WithChannels(count, static_cast<int>(online.value_or(1))).channels;
  }
  if (protocol) router.protocol = static_cast<uint32_t>(*protocol);
  if (bPppoe) router.pppoe = true;
  router.varyRates = true;

  signal(SIGPIPE, SIG_IGN);
  if (routers > 1) {
    if (port != 0 && port + routers - 1 > 65535) Usage("--port and --routers go beyond port 65535");
    try {
      ServeMany(router, strAddress, static_cast<uint16_t>(port), static_cast<int>(routers));
    } catch (const std::exception& error) {
      Log(error.what());
      return 1;
    }
  }
  try {
    routersim::Server server(std::move(router), strAddress, static_cast<uint16_t>(port));
    server.SetLog(Log);
    std::printf("%u\n", server.Port());
    std::fflush(stdout);
    Log("listening on " + strAddress + ":" + std::to_string(server.Port()));
    // Faults come from standard input; its end (a demo's /dev/null) only ends that.
    server.Serve(routersim::Server::Control{STDIN_FILENO, -1, false});
  } catch (const std::exception& error) {
    Log(error.what());
    return 1;
  }
  return 0;
}
