#include "router/DefaultRouter.h"

#include <arpa/inet.h>

#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace router {

namespace {

constexpr unsigned kRouteUp = 0x1;       // RTF_UP
constexpr unsigned kRouteGateway = 0x2;  // RTF_GATEWAY

bool ParseHex(const std::string& i_strText, uint32_t& o_value) {
  const char* pEnd = i_strText.data() + i_strText.size();
  const auto [ptr, error] = std::from_chars(i_strText.data(), pEnd, o_value, 16);
  return error == std::errc{} && ptr == pEnd;
}

const DefaultRouterSource* g_pInstalled = nullptr;  // set and cleared by the host

}  // namespace

std::optional<std::string> ProcNetRoute::DefaultIPv4Router() const {
  std::ifstream table(m_path);
  std::string strLine;
  std::getline(table, strLine);  // the header
  std::optional<uint32_t> best;
  unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
  while (std::getline(table, strLine)) {
    std::istringstream fields(strLine);
    std::string iface, destination, gateway, flags, refCount, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >>
          mask)) {
      continue;
    }
    uint32_t uDestination, uGateway, uFlags, uMask;
    if (!ParseHex(destination, uDestination) || !ParseHex(gateway, uGateway) ||
        !ParseHex(flags, uFlags) || !ParseHex(mask, uMask)) {
      continue;
    }
    unsigned long ulMetric = 0;
    if (std::from_chars(metric.data(), metric.data() + metric.size(), ulMetric).ec != std::errc{}) {
      continue;
    }
    const bool bDefault = uDestination == 0 && uMask == 0;
    const bool bUsable = (uFlags & (kRouteUp | kRouteGateway)) == (kRouteUp | kRouteGateway);
    if (bDefault && bUsable && uGateway != 0 && ulMetric < bestMetric) {
      best = uGateway;
      bestMetric = ulMetric;
    }
  }
  if (!best) return std::nullopt;
  // The kernel prints the address as the host-order reading of its network-order bytes.
  in_addr address{};
  address.s_addr = *best;
  char text[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return std::nullopt;
  return std::string(text);
}

const DefaultRouterSource& DefaultRouter() {
  if (g_pInstalled == nullptr) throw std::logic_error("no default-router source installed");
  return *g_pInstalled;
}

void InstallDefaultRouter(const DefaultRouterSource* i_pSource) { g_pInstalled = i_pSource; }

}  // namespace router
