#pragma once

// The machine's current default IPv4 router, as dotted text, or nothing.

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

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

// A fixed answer, for tests.
class FixedRouter final : public DefaultRouterSource {
 public:
  explicit FixedRouter(std::optional<std::string> i_router) : m_router(std::move(i_router)) {}
  void Set(std::optional<std::string> i_router) { m_router = std::move(i_router); }
  std::optional<std::string> DefaultIPv4Router() const override { return m_router; }

 private:
  std::optional<std::string> m_router;
};

// The process's source, installed by the host like the preferences store; without one the
// kernel's routing table is read.
const DefaultRouterSource& DefaultRouter();
void InstallDefaultRouter(const DefaultRouterSource* i_pSource);

}  // namespace platform
