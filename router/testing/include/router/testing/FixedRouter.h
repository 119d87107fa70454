#pragma once

// A default router that says what the test tells it.

#include "router/DefaultRouter.h"

namespace router {

class FixedRouter final : public DefaultRouterSource {
 public:
  explicit FixedRouter(std::optional<std::string> i_router) : m_router(std::move(i_router)) {}
  void Set(std::optional<std::string> i_router) { m_router = std::move(i_router); }
  std::optional<std::string> DefaultIPv4Router() const override { return m_router; }

 private:
  std::optional<std::string> m_router;
};

}  // namespace router
