#include "ExamplePreferences.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

#include "posix/UniqueFd.h"
#include "text/Translation.h"

namespace zezar {

std::optional<std::string> WriteExamplePreferences(const std::filesystem::path& i_path) {
  const auto failed = [&](int i_iErrno) -> std::optional<std::string> {
    return text::Format(text::Tr("cannot write the example preferences to {1}: {2}"),
                        {i_path.string(), std::strerror(i_iErrno)});
  };
  std::error_code error;
  if (i_path.has_parent_path()) std::filesystem::create_directories(i_path.parent_path(), error);
  if (error) return failed(error.value());
  // O_EXCL: a file that appeared meanwhile, a FIFO or a link stays as it is.
  posix::UniqueFd file(
      ::open(i_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file) {
    if (errno == EEXIST) return std::nullopt;
    return failed(errno);
  }
  std::string_view rest = kExamplePreferences;
  while (!rest.empty()) {
    const ssize_t written = ::write(file.get(), rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int iErrno = written < 0 ? errno : EIO;
      file.reset();
      ::unlink(i_path.c_str());  // no half example left to mislead the next look
      return failed(iErrno);
    }
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
  return std::nullopt;
}

}  // namespace zezar
