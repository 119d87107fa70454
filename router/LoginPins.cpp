#include "router/LoginPins.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "posix/UniqueFd.h"

namespace router {

namespace {

LoginPins* g_pInstalled = nullptr;  // set by the host around its extra's life

}  // namespace

std::filesystem::path FileLoginPins::PathIn(const std::filesystem::path& i_stateFolder) {
  return i_stateFolder.empty() ? i_stateFolder : i_stateFolder / "salted-logins";
}

std::set<std::string> FileLoginPins::Read() const {
  std::set<std::string> routers;
  // Non-blocking and bounded: a FIFO or a huge file put there costs nothing.
  const posix::UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  if (!fd) return routers;
  struct stat status {};
  std::string strText;
  if (::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode)) {
    strText.resize(kMaxBytes);
    const ssize_t got = ::read(fd.get(), strText.data(), strText.size());
    strText.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  std::size_t uStart = 0;
  while (uStart < strText.size()) {
    std::size_t uEnd = strText.find('\n', uStart);
    if (uEnd == std::string::npos) break;  // a line cut short is no router's
    if (uEnd > uStart) routers.insert(strText.substr(uStart, uEnd - uStart));
    uStart = uEnd + 1;
  }
  return routers;
}

bool FileLoginPins::Salted(const std::string& i_strWhere) const {
  return Read().count(i_strWhere) > 0;
}

void FileLoginPins::RememberSalted(const std::string& i_strWhere) {
  if (m_path.empty() || i_strWhere.find('\n') != std::string::npos || Salted(i_strWhere)) return;
  std::error_code error;
  std::filesystem::create_directories(m_path.parent_path(), error);
  const posix::UniqueFd fd(
      ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) return;
  const std::string strLine = i_strWhere + "\n";  // one write: whole or absent
  [[maybe_unused]] const ssize_t written = ::write(fd.get(), strLine.data(), strLine.size());
}

LoginPins* InstalledLoginPins() { return g_pInstalled; }

void InstallLoginPins(LoginPins* i_pPins) { g_pInstalled = i_pPins; }

}  // namespace router
