// zezar-routersim: a simulated router monitor daemon on the local machine, for trying the
// monitor without a router.
//
//   zezar-routersim [--address A] [--port N] [--channels N] [--online N] [--protocol N]
//                   [--admin-password P] [--user-password P] [--pppoe]
//
// It prints the port it listens on, then serves until interrupted.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "routersim/Server.h"

namespace {

void Log(const std::string& i_strMessage) {
  std::fprintf(stderr, "zezar-routersim: %s\n", i_strMessage.c_str());
}

[[noreturn]] void Usage() {
  Log("usage: zezar-routersim [--address A] [--port N] [--channels N] [--online N] "
      "[--protocol N] [--admin-password P] [--user-password P] [--pppoe]");
  std::exit(2);
}

long Number(const char* i_pText, long i_lMin, long i_lMax) {
  char* pEnd = nullptr;
  const long value = std::strtol(i_pText, &pEnd, 10);
  if (pEnd == i_pText || *pEnd != '\0' || value < i_lMin || value > i_lMax) Usage();
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  std::string strAddress = "127.0.0.1";
  long port = 5000, channels = 2, online = 1, protocol = 11;
  std::string strAdmin = "admin", strUser = "user";
  bool bPppoe = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool bHasValue = i + 1 < argc;
    if (option == "--pppoe") {
      bPppoe = true;
    } else if (!bHasValue) {
      Usage();
    } else if (option == "--address") {
      strAddress = argv[++i];
    } else if (option == "--port") {
      port = Number(argv[++i], 0, 65535);
    } else if (option == "--channels") {
      channels = Number(argv[++i], 0, 255);
    } else if (option == "--online") {
      online = Number(argv[++i], 0, 255);
    } else if (option == "--protocol") {
      protocol = Number(argv[++i], 1, 99);
    } else if (option == "--admin-password") {
      strAdmin = argv[++i];
    } else if (option == "--user-password") {
      strUser = argv[++i];
    } else {
      Usage();
    }
  }
  routersim::Router router =
      routersim::Router::WithChannels(static_cast<int>(channels), static_cast<int>(online));
  router.protocol = static_cast<uint32_t>(protocol);
  router.adminPassword = strAdmin;
  router.userPassword = strUser;
  router.pppoe = bPppoe;
  router.varyRates = true;
  try {
    routersim::Server server(router, strAddress, static_cast<uint16_t>(port));
    std::printf("%u\n", server.Port());
    std::fflush(stdout);
    Log("listening on " + strAddress + ":" + std::to_string(server.Port()));
    server.Serve();
  } catch (const std::exception& error) {
    Log(error.what());
    return 1;
  }
  return 0;
}
