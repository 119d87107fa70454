#pragma once

// The routers that have once offered the salted login (protocol 11 or more), by HOST:PORT. A
// router that did and later offers only the plain-text form gets no password: the plain form
// would hand it to whoever answers at that address now. Older routers, which never offered
// the salted form, keep the plain login.

#include <filesystem>
#include <set>
#include <string>

#include "router/Installation.h"

namespace router {

class LoginPins {
 public:
  virtual ~LoginPins() = default;
  virtual bool Salted(const std::string& i_strWhere) const = 0;
  virtual void RememberSalted(const std::string& i_strWhere) = 0;
};

// In a file, one HOST:PORT a line, read anew for each question so that the monitor and
// zezarctl see each other's. A file that cannot be read or written remembers nothing; what
// it cannot take is not an error worth stopping a login for.
class FileLoginPins final : public LoginPins {
 public:
  static constexpr std::uintmax_t kMaxBytes = 64 * 1024;  // some thousand routers

  // The file in a state folder (preferences/Folders.h); nothing for no folder.
  static std::filesystem::path PathIn(const std::filesystem::path& i_stateFolder);

  explicit FileLoginPins(std::filesystem::path i_path) : m_path(std::move(i_path)) {}
  bool Salted(const std::string& i_strWhere) const override;
  void RememberSalted(const std::string& i_strWhere) override;

 private:
  std::set<std::string> Read() const;

  std::filesystem::path m_path;
};

// The process's pins, installed by the host like the default router; null without: then no
// router is pinned.
LoginPins* InstalledLoginPins();
void InstallLoginPins(LoginPins* i_pPins);
using LoginPinsInstallation = Installation<LoginPins, &InstallLoginPins>;

}  // namespace router
