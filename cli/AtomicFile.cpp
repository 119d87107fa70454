#include "cli/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "cli/Failure.h"
#include "posix/UniqueFd.h"
#include "text/Translation.h"

namespace ctl {

void WriteFileAtomically(const std::filesystem::path& i_path, std::string_view i_bytes,
                         FileMode i_mode) {
  const auto fail = [&](const char* i_pWhat, const std::string& i_strWhy) {
    // TRANSLATORS: {2} says what failed ("cannot write"), {3} why.
    throw Failure(ExitCode::Failure, text::Format(text::Tr("{1}: {2}: {3}; nothing written"),
                                                  {i_path.string(), text::Tr(i_pWhat), i_strWhy}));
  };
  const auto failed = [&](const char* i_pWhat) { fail(i_pWhat, std::strerror(errno)); };

  std::filesystem::path target = i_path;
  std::error_code error;
  if (std::filesystem::is_symlink(i_path, error)) {
    target = std::filesystem::canonical(i_path, error);
    if (error) fail(N_("cannot follow the link"), error.message());
  }
  struct stat status {};
  if (::stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    throw Failure(
        ExitCode::Failure,
        text::Format(text::Tr("{1}: not a regular file; nothing written"), {i_path.string()}));
  }

  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  std::string strTemplate =
      (directory / ("." + target.filename().string() + ".zezarctl-XXXXXX")).string();
  posix::UniqueFd fd(::mkostemp(strTemplate.data(), O_CLOEXEC));
  if (!fd) failed(N_("cannot create a file beside it"));
  // Removes the temporary file unless it became the target.
  struct Remover {
    std::string path;
    bool bKeep = false;
    ~Remover() {
      if (!bKeep) ::unlink(path.c_str());
    }
  } remover{strTemplate};

  // Files the user creates get the usual permissions, not mkstemp's 0600, unless they are
  // for the owner alone.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const mode_t mode = i_mode == FileMode::OwnerOnly ? 0600 : 0666 & ~mask;
  if (::fchmod(fd.get(), mode) != 0) failed(N_("cannot set permissions"));
  for (std::size_t uDone = 0; uDone < i_bytes.size();) {
    const ssize_t n = ::write(fd.get(), i_bytes.data() + uDone, i_bytes.size() - uDone);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) failed(N_("cannot write"));
    uDone += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) failed(N_("cannot write"));
  if (::close(fd.release()) != 0) failed(N_("cannot write"));
  if (::rename(strTemplate.c_str(), target.c_str()) != 0) failed(N_("cannot replace"));
  remover.bKeep = true;
}

}  // namespace ctl
