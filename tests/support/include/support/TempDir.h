#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "posix/UniqueFd.h"

namespace zezar_test {

// A folder of its own for a test, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zezar-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path Write(const std::string& i_strName, const std::string& i_strText) const {
    const std::filesystem::path file = m_path / i_strName;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << i_strText;
    return file;
  }
  // A Unix socket bound at i_strName in the folder, for as long as the descriptor lives.
  posix::UniqueFd BindSocket(const std::string& i_strName) const {
    const std::string strPath = (m_path / i_strName).string();
    posix::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strPath.copy(address.sun_path, sizeof address.sun_path - 1);
    if (!fd || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("bind " + strPath);
    return fd;
  }

 private:
  std::filesystem::path m_path;
};

}  // namespace zezar_test
