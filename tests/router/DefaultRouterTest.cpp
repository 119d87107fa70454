#include "router/DefaultRouter.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "router/testing/FixedRouter.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

const std::string kHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

std::string Route(const char* i_pIface, const char* i_pDestination, const char* i_pGateway,
                  const char* i_pFlags, int i_iMetric, const char* i_pMask) {
  return std::string(i_pIface) + "\t" + i_pDestination + "\t" + i_pGateway + "\t" + i_pFlags +
         "\t0\t0\t" + std::to_string(i_iMetric) + "\t" + i_pMask + "\t0\t0\t0\n";
}

TEST(TheDefaultRouter, IsTheGatewayOfTheBestDefaultRoute) {
  struct Row {
    const char* name;
    std::string table;
    std::optional<std::string> router;
  } rows[] = {
      {"one default route, gateway in the kernel's byte order",
       Route("eth0", "00000000", "0102A8C0", "0003", 100, "00000000") +
           Route("eth0", "0002A8C0", "00000000", "0001", 100, "00FFFFFF"),
       "192.168.2.1"},
      {"the lowest metric wins",
       Route("wlan0", "00000000", "FE01A8C0", "0003", 600, "00000000") +
           Route("eth0", "00000000", "0100000A", "0003", 100, "00000000") +
           Route("usb0", "00000000", "0101A8C0", "0003", 700, "00000000"),
       "10.0.0.1"},
      {"no default route", Route("eth0", "0002A8C0", "00000000", "0001", 0, "00FFFFFF"),
       std::nullopt},
      {"a route that is down", Route("eth0", "00000000", "0102A8C0", "0002", 0, "00000000"),
       std::nullopt},
      {"a default route without a gateway",
       Route("ppp0", "00000000", "00000000", "0001", 0, "00000000"), std::nullopt},
      {"a garbled line is skipped",
       "eth0\tzzzz\n" + Route("eth0", "00000000", "0101A8C0", "0003", 0, "00000000"),
       "192.168.1.1"},
      {"an empty table", "", std::nullopt},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto file = dir.Write("route", kHeader + row.table);
    EXPECT_EQ(router::ProcNetRoute(file).DefaultIPv4Router(), row.router);
  }
  EXPECT_EQ(router::ProcNetRoute(dir.path() / "absent").DefaultIPv4Router(), std::nullopt);
}

TEST(TheDefaultRouter, ComesFromTheInstalledSource) {
  router::FixedRouter fixed("10.1.2.3");
  router::InstallDefaultRouter(&fixed);
  EXPECT_EQ(router::DefaultRouter().DefaultIPv4Router(), "10.1.2.3");
  fixed.Set(std::nullopt);
  EXPECT_EQ(router::DefaultRouter().DefaultIPv4Router(), std::nullopt);
  router::InstallDefaultRouter(nullptr);
  // Forgotten, it is an error, not the machine's own routing table.
  EXPECT_THROW(router::DefaultRouter(), std::logic_error);
}

}  // namespace
}  // namespace zezar_test
