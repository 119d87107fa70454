// zezar-routersim: a simulated router monitor daemon on the local machine, for trying the
// monitor and zezarctl without a router.
//
// It prints the port it listens on as the first line on stdout, then serves until halted or
// interrupted. Lines on its standard input inject faults (see Faults.h). Passwords come from
// the configuration file only, never from the command line.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "router/DefaultRouter.h"
#include "routersim/RouterConfig.h"
#include "routersim/Server.h"

namespace {

constexpr const char* kUsage =
    "usage: zezar-routersim [--config FILE] [--address A] [--port N] [--channels N]\n"
    "                       [--online N] [--protocol N] [--pppoe]\n"
    "\n"
    "A simulated router monitor daemon. Prints the port it listens on (--port 0: any free\n"
    "port), then serves. Options override the configuration file (TOML), which also holds\n"
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

}  // namespace

int main(int argc, char** argv) {
  std::string strAddress = "127.0.0.1", strConfig;
  long port = router::kDefaultPort;
  std::optional<long> channels, online, protocol;
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
