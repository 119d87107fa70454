#include "posix/RegularFile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "posix/UniqueFd.h"

namespace posix {

namespace {

constexpr std::size_t kPiece = 64 << 10;  // bytes asked of one read

}  // namespace

int ReadUpTo(int i_fd, std::size_t i_uMax, BoundedBytes& o_read) {
  std::string& bytes = o_read.bytes;
  while (bytes.size() <= i_uMax) {
    const std::size_t uBefore = bytes.size();
    bytes.resize(uBefore + std::min(kPiece, i_uMax + 1 - uBefore));
    const ssize_t n = ::read(i_fd, bytes.data() + uBefore, bytes.size() - uBefore);
    const int iErrno = errno;
    bytes.resize(uBefore + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n == 0) return 0;
    if (n > 0 || iErrno == EINTR) continue;
    if (iErrno == EAGAIN) {
      pollfd entry{i_fd, POLLIN, 0};
      ::poll(&entry, 1, -1);
      continue;
    }
    return iErrno;
  }
  o_read.bMore = true;
  bytes.resize(i_uMax);
  return 0;
}

RegularFile ReadRegularFile(const std::filesystem::path& i_path, std::size_t i_uMax) {
  RegularFile file;
  const UniqueFd fd(::open(i_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat status {};
  if (!fd || ::fstat(fd.get(), &status) != 0) {
    file.problem = RegularFile::Problem::CannotOpen;
    file.errnum = errno;
    return file;
  }
  file.mode = status.st_mode;
  if (!S_ISREG(status.st_mode)) {
    file.problem = RegularFile::Problem::NotRegular;
    return file;
  }
  if ((file.errnum = ReadUpTo(fd.get(), i_uMax, file)) != 0)
    file.problem = RegularFile::Problem::CannotRead;
  return file;
}

}  // namespace posix
