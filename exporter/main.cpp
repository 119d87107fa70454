// zezar-exporter: many routers for Prometheus, in the manner of the blackbox exporter. One
// process, the routers listed in a configuration file, /probe?target=NAME for each.
//
// Threads: the HTTP server's, one per probe under way, and this one, which only waits for
// signals: SIGHUP reloads the configuration, SIGINT and SIGTERM stop. Every thread but this
// one has all signals blocked.

#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "Config.h"
#include "Exporter.h"
#include "client/Zastra.h"

namespace {

constexpr int kRuntimeFailure = 1;
constexpr int kUsage = 2;

void Log(const std::string& i_strMessage) {
  std::fprintf(stderr, "zezar-exporter: %s\n", i_strMessage.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "Many routers for Prometheus: probes each configured router's monitor daemon on "
      "/probe?target=NAME.",
      "zezar-exporter");
  std::string strListen = ":10524";
  std::string strConfig = "/etc/zezar/exporter.toml";
  app.add_option("--web.listen-address", strListen,
                 "where to serve HTTP: :PORT, IPV4:PORT or [IPV6]:PORT")
      ->capture_default_str();
  app.add_option("--config.file", strConfig, "the routers, in TOML")->capture_default_str();
  app.set_version_flag("--version", "zezar-exporter " ZEZAR_VERSION);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    return app.exit(success);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kUsage;
  }

  // Before any thread starts, so that every thread has them blocked and only sigwait takes
  // them.
  sigset_t wanted;
  sigemptyset(&wanted);
  for (const int signal : {SIGHUP, SIGINT, SIGTERM}) sigaddset(&wanted, signal);
  pthread_sigmask(SIG_BLOCK, &wanted, nullptr);
  Zastra::InitSignalHandler();

  exporter::ListenAddress where;
  try {
    where = exporter::ListenAddress::Parse(strListen);
  } catch (const std::invalid_argument& error) {
    Log(std::string("--web.listen-address ") + error.what());
    return kUsage;
  }
  try {
    exporter::Exporter server(exporter::LoadConfig(strConfig), where);
    Log("listening on port " + std::to_string(server.Port()) + " with " +
        std::to_string(server.CurrentConfig()->routers.size()) + " routers");
    for (;;) {
      int signal = 0;
      if (sigwait(&wanted, &signal) != 0) continue;
      if (signal != SIGHUP) break;
      try {
        server.Reload(exporter::LoadConfig(strConfig));
        Log("reloaded " + strConfig + ": " +
            std::to_string(server.CurrentConfig()->routers.size()) + " routers");
      } catch (const exporter::ConfigError& error) {
        server.Reload(nullptr);
        Log(std::string(error.what()) + "; keeping the configuration in use");
      }
    }
  } catch (const exporter::ConfigError& error) {
    Log(error.what());
    return kRuntimeFailure;
  } catch (const std::exception& error) {
    Log(strListen + ": " + error.what());
    return kRuntimeFailure;
  }
  return 0;
}
