#pragma once

// Where the router is: the machine's current default IPv4 router, as dotted text, or nothing;
// and the port its monitor daemon listens on unless the user says otherwise.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "router/Installation.h"

namespace router {

inline constexpr uint16_t kDefaultPort = 5000;

class DefaultRouterSource {
 public:
  virtual ~DefaultRouterSource() = default;
  virtual std::optional<std::string> DefaultIPv4Router() const = 0;
};

// The gateway of the kernel's default route. With several default routes, the one of lowest
// metric; a default route without a gateway names no router.
class ProcNetRoute final : public DefaultRouterSource {
 public:
  explicit ProcNetRoute(std::filesystem::path i_path = "/proc/net/route")
      : m_path(std::move(i_path)) {}
  std::optional<std::string> DefaultIPv4Router() const override;

 private:
  std::filesystem::path m_path;
};

// The process's source, installed by the host like the preferences store. Without one,
// DefaultRouter() throws std::logic_error: a host that forgot it must not read the machine's
// real routing table by accident.
const DefaultRouterSource& DefaultRouter();
void InstallDefaultRouter(const DefaultRouterSource* i_pSource);

using DefaultRouterInstallation = Installation<const DefaultRouterSource, &InstallDefaultRouter>;

}  // namespace router
