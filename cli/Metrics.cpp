#include "cli/Metrics.h"

#include <variant>

#include "cli/Settings.h"
#include "metrics/RouterMetrics.h"
#include "router/Commands.h"

namespace ctl {

void AddMetricsDetail(router::State& io_state, Zastra& io_client,
                      const preferences::PreferencesStore& i_preferences) {
  io_state.permissions = router::AskPermissions(io_client);
  double capacity = router::kDefaultChannelCapacity;
  const auto value = i_preferences.CopyAppValue("MaxChannelRate", kPreferencesDomain);
  if (value && std::holds_alternative<long>(*value) && std::get<long>(*value) >= 1)
    capacity =
        router::kBytesPerSecondPerMaxChannelRate * static_cast<double>(std::get<long>(*value));
  for (router::Channel& channel : io_state.channels) channel.capacity = capacity;
}

std::string Metrics(const std::optional<router::State>& i_state, const std::string& i_strRouter) {
  metrics::Exposition out({{"router", i_strRouter}});
  metrics::AddRouter(out, i_state);
  return std::move(out).Text();
}

}  // namespace ctl
