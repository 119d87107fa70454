#include "Demo.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace zezar {

namespace {

routersim::Router DemoRouter() {
  routersim::Router router = routersim::Router::WithChannels(3, 2);
  router.varyRates = true;  // a lively graph
  return router;
}

std::filesystem::path MakeTemporaryDirectory() {
  const char* pBase = std::getenv("TMPDIR");
  std::string strTemplate =
      std::string(pBase != nullptr && *pBase ? pBase : "/tmp") + "/zezar-demo.XXXXXX";
  if (mkdtemp(strTemplate.data()) == nullptr)
    throw std::system_error(errno, std::generic_category(), "mkdtemp " + strTemplate);
  return strTemplate;
}

}  // namespace

Demo::Demo() : m_router(DemoRouter()), m_dir(MakeTemporaryDirectory()) {
  m_preferences = m_dir / "preferences.toml";
  std::ofstream file(m_preferences);  // in a directory only we can enter
  file << "UpdateInterval = 1\n"      // a lively graph
       << "AutoDetectRouter = false\n"
       << "RouterIPAddress = \"127.0.0.1\"\n"
       << "RouterPort = " << m_router.Port() << "\n"
       << "RouterAdminPass = \"" << DemoRouter().adminPassword << "\"\n"
       << "RebootHaltEnabled = true\n";
  if (!file.flush()) {
    std::error_code error;
    std::filesystem::remove_all(m_dir, error);
    throw std::system_error(EIO, std::generic_category(), "write " + m_preferences.string());
  }
}

Demo::~Demo() {
  std::error_code error;
  std::filesystem::remove_all(m_dir, error);
}

}  // namespace zezar
