#include "LocalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/AtomicFile.h"
#include "posix/UniqueFd.h"
#include "text/Translation.h"

namespace ctl {

namespace {

using text::Format;
using text::Tr;

[[noreturn]] void CannotRead(const std::string& i_strName, ExitCode i_code,
                             const std::string& i_strWhy) {
  throw Failure(i_code, Format(Tr("{1}: cannot be read: {2}"), {i_strName, i_strWhy}));
}

bool IsStream(mode_t i_mode) { return S_ISFIFO(i_mode) || S_ISCHR(i_mode); }

[[noreturn]] void NotWritable(const std::filesystem::path& i_path) {
  throw Failure(ExitCode::Failure,
                Format(Tr("{1}: not a regular file, a FIFO or a character device; nothing "
                          "written"),
                       {i_path.string()}));
}

}  // namespace

LocalContents ReadRegularFile(const std::filesystem::path& i_path, std::size_t i_uMax,
                              ExitCode i_code) {
  posix::RegularFile file = posix::ReadRegularFile(i_path, i_uMax);
  if (file.problem == posix::RegularFile::Problem::NotRegular)
    CannotRead(i_path.string(), i_code, Tr("not a regular file"));
  if (file.problem != posix::RegularFile::Problem::None)
    CannotRead(i_path.string(), i_code, std::strerror(file.errnum));
  LocalContents contents;
  contents.bytes = std::move(file.bytes);
  contents.bMore = file.bMore;
  contents.mode = file.mode;
  return contents;
}

LocalContents ReadStandardInput(std::size_t i_uMax) {
  LocalContents contents;
  if (const int iErrno = posix::ReadUpTo(STDIN_FILENO, i_uMax, contents))
    CannotRead(Tr("standard input"), ExitCode::Failure, std::strerror(iErrno));
  return contents;
}

void CheckWritable(const std::filesystem::path& i_path) {
  struct stat status {};
  if (::stat(i_path.c_str(), &status) != 0) return;  // a new name, or a reason the write says
  if (!S_ISREG(status.st_mode) && !IsStream(status.st_mode)) NotWritable(i_path);
}

void WriteLocalFile(const std::filesystem::path& i_path, std::string_view i_bytes) {
  CheckWritable(i_path);
  struct stat status {};
  if (::stat(i_path.c_str(), &status) != 0 || !IsStream(status.st_mode)) {
    WriteFileAtomically(i_path, i_bytes);
    return;
  }
  const auto fail = [&] {
    throw Failure(ExitCode::Failure, Format(Tr("{1}: cannot be written: {2}"),
                                            {i_path.string(), std::strerror(errno)}));
  };
  // Without O_TRUNC or O_CREAT: it is there, and no regular file may come of it.
  posix::UniqueFd fd(::open(i_path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd) fail();
  if (::fstat(fd.get(), &status) != 0) fail();
  if (!IsStream(status.st_mode)) NotWritable(i_path);  // it changed since
  for (std::size_t uDone = 0; uDone < i_bytes.size();) {
    const ssize_t n = ::write(fd.get(), i_bytes.data() + uDone, i_bytes.size() - uDone);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail();
    uDone += static_cast<std::size_t>(n);
  }
  if (::close(fd.release()) != 0) fail();
}

}  // namespace ctl
