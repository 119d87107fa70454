#include "Probe.h"

#include <optional>
#include <stdexcept>

#include "client/Zastra.h"
#include "metrics/RouterMetrics.h"
#include "router/Commands.h"
#include "router/Login.h"
#include "text/MacRoman.h"

namespace exporter {

namespace {

using Clock = std::chrono::steady_clock;

// The router's state through a logged-in connection; nothing when it is gone by the end.
std::optional<router::State> Read(Zastra& io_client, const RouterConfig& i_router,
                                  uint16_t i_level) {
  router::State state;
  state.reachable = true;
  state.where = i_router.address + ":" + std::to_string(i_router.port);
  const Zastra::Version_t version = io_client.Version();  // asked by the login already
  state.protocol = version.protocol;
  state.version = text::MacRomanToUtf8(version.version);
  state.level = i_level;
  state.permissions = router::AskPermissions(io_client);
  for (Zastra::Channel* pChannel : io_client.GetChannels()) {
    router::Channel& channel = state.channels.emplace_back();
    channel.type = router::TypeOf(pChannel->Type());
    channel.capacity = i_router.channelCapacity;
    channel.online = pChannel->Status() == Zastra::Channel::Online;
    if (channel.online) {
      const Zastra::Channel::Traffic_t rate = pChannel->Rate();
      channel.rate = {rate.in, rate.out};
    }
    const Zastra::Channel::Traffic_t quantity = pChannel->Quantity();
    channel.quantity = router::Traffic{quantity.in, quantity.out};
  }
  router::NameChannels(state.channels);
  state.uptime = io_client.Uptime();
  state.cpu = io_client.CPU();
  // A router that went away meanwhile answered some questions with nothing: no state at all
  // rather than zeros that look like news. One up for no time at all is not taken as logged
  // in, as the monitor's login does not take it.
  if (!io_client.IsConnected() || state.uptime == 0) return std::nullopt;
  return state;
}

std::optional<router::State> Ask(const RouterConfig& i_router, router::LoginPins& io_pins,
                                 Clock::time_point i_deadline) {
  Zastra client;
  client.SetDeadline(i_deadline);
  try {
    client.Connect(i_router.address, i_router.port);
    const router::LoginOptions options{i_router.address + ":" + std::to_string(i_router.port),
                                       &io_pins, false};
    const std::optional<uint16_t> level = router::LogInUser(client, i_router.password, options);
    if (!level) return std::nullopt;
    return Read(client, i_router, *level);
  } catch (const Zastra::ConnectError&) {
    return std::nullopt;
  } catch (const std::overflow_error&) {  // an uptime beyond 64 bits: a broken answer
    return std::nullopt;
  }
}

}  // namespace

ProbeResult Probe(const RouterConfig& i_router, router::LoginPins& io_pins) {
  const Clock::time_point start = Clock::now();
  const std::optional<router::State> state = Ask(i_router, io_pins, start + kProbeBudget);
  ProbeResult result;
  result.up = state.has_value();
  result.duration = Clock::now() - start;
  metrics::Exposition page;
  metrics::AddRouter(page, state);
  page.Family("zezar_probe_duration_seconds", metrics::Type::Gauge,
              "How long the probe took, connection and login included.");
  page.Sample("zezar_probe_duration_seconds", {}, result.duration.count());
  result.page = std::move(page).Text();
  return result;
}

}  // namespace exporter
