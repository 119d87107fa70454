#pragma once

// One function per zezarctl command that speaks to the router. Each checks the permission it
// needs before it sends anything, and throws Failure when the router refuses.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cli/Output.h"
#include "cli/RouterConnection.h"
#include "router/Commands.h"

namespace ctl {

// channels and circuits
Output Status(RouterConnection& io_router);
Output Channels(RouterConnection& io_router);
Output ChannelDetails(RouterConnection& io_router, const std::string& i_strName);
Output Circuits(RouterConnection& io_router);
Output HupTimeout(RouterConnection& io_router, int i_iCircuit, std::optional<long> i_lSeconds);

// router settings and information
Output DialmodeCommand(RouterConnection& io_router, const std::optional<std::string>& i_strMode);
Output RouteCommand(RouterConnection& io_router, std::optional<int> i_iRoute);
Output Links(RouterConnection& io_router);
Output Cpu(RouterConnection& io_router);
Output Uptime(RouterConnection& io_router);
Output Date(RouterConnection& io_router);
Output Timetable(RouterConnection& io_router);
Output Support(RouterConnection& io_router);

// commands that change the router's connections or run state
// Asks a person whether to go on; false cancels.
using Confirmation = std::function<bool(const std::string& i_strQuestion)>;
// Checks the command's permission, asks first when it takes the router away, and sends it.
Output Control(RouterConnection& io_router, const router::Command& i_command,
               const Confirmation& i_confirm);

// file transfer; "-" is standard output or input. RemoteNameProblem says why a remote name
// cannot travel in a command line, or gives "".
std::string RemoteNameProblem(const std::string& i_strRemote);
Output Get(RouterConnection& io_router, const std::string& i_strRemote,
           const std::string& i_strLocal, bool i_bProgress);
// What put sends: a regular file or standard input, read whole and checked before the router
// is asked anything. Throws Failure(Failure) when it cannot be read or is no regular file, and
// Failure(Usage) when it holds more than the router may take (16 MiB).
std::string ReadUpload(const std::string& i_strLocal);
// i_strBytes from ReadUpload(i_strLocal).
Output Put(RouterConnection& io_router, const std::string& i_strLocal, std::string i_strBytes,
           const std::string& i_strRemote, bool i_bProgress);

}  // namespace ctl
