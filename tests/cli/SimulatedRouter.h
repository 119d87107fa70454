#pragma once

// A simulated router for zezarctl to talk to, and the command lines that reach it.

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CtlProcess.h"
#include "routersim/ServerProcess.h"

namespace zezar_test {

struct SimulatedRouter {
  explicit SimulatedRouter(routersim::Router i_router = Standard()) : server(std::move(i_router)) {}

  // Two ISDN channels (the first online), a PPPoE link, two circuits, one file.
  static routersim::Router Standard() {
    routersim::Router router = routersim::Router::WithChannels(2, 1);
    router.pppoe = true;
    router.date = "Tue Dec  8 12:00:00 2026";
    router.channels[0].quantityIn = (uint64_t{2} << 32) + 10;
    router.channels[0].quantityOut = 20;
    router.files["hello.txt"] = "hello, world\n";
    return router;
  }

  // The arguments, after --router; as the administrator unless the environment says else.
  CtlResult Run(std::vector<std::string> i_arguments,
                std::map<std::string, std::string> i_environment = {{"ZEZAR_ADMIN_PASS", "admin"},
                                                                    {"ZEZAR_ROOT_PASS", "root"}},
                const std::string& i_strInput = "") {
    i_arguments.insert(i_arguments.begin(), {"--router", Address()});
    return RunCtl(i_arguments, i_environment, i_strInput);
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(server.Port()); }

  routersim::ServerProcess server;
};

inline nlohmann::json Parsed(const std::string& i_strText) {
  return nlohmann::json::parse(i_strText, nullptr, false);  // discarded on error
}

}  // namespace zezar_test
