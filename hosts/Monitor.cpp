#include "hosts/Monitor.h"

#include <unistd.h>

#include <stdexcept>
#include <system_error>

#include "hosts/Log.h"

namespace zezar {

const char* const Monitor::kBundleIdentifier = "org.zezar.menuextra";

std::filesystem::path Monitor::DefaultResources() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed =
        exe.parent_path().parent_path() / ZEZAR_INSTALLED_RESOURCES;
    if (std::filesystem::is_regular_file(installed / "online.png", error)) return installed;
  }
  return ZEZAR_BUILD_RESOURCES;
}

Monitor::Monitor(platform::RunLoop& io_loop, const std::filesystem::path& i_preferences,
                 const std::filesystem::path& i_resources)
    : m_preferences(i_preferences, kBundleIdentifier),
      m_bundle(kBundleIdentifier, i_resources),
      m_host({.runLoop = io_loop,
              .preferences = m_preferences,
              .defaultRouter = m_defaultRouter,
              .log = [](const std::string& i_strLine) { Log(i_strLine); },
              .recover =
                  [] {
                    if (globalZastra != nullptr) globalZastra->Disconnect();
                  }}) {}

ZezarIZIDezev& Monitor::Start() {
  ZezarIZIDezev* pController = m_host.Load<ZezarIZIDezev>(m_bundle);
  if (pController == nullptr) throw std::runtime_error("the status item did not start");
  return *pController;
}

}  // namespace zezar
