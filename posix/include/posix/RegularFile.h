#pragma once

// Reading a file a user names without waiting on anything outside it: the name is opened
// non-blocking, so a FIFO without a writer or a device answers at once; anything but a
// regular file is refused before a byte is read; and no more than a bound is read. What went
// wrong comes back as facts, for each caller to phrase in its own words.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>

namespace posix {

// Up to a bound of bytes, and whether there were more.
struct BoundedBytes {
  std::string bytes;   // from the start, at most the bound
  bool bMore = false;  // the source held more than the bound
};

// Reads i_fd to its end or past i_uMax bytes, in pieces (a large bound is not allocated before
// the bytes come). Waits as a blocking reader would on a descriptor someone made non-blocking.
// The errno of a failed read, else 0.
int ReadUpTo(int i_fd, std::size_t i_uMax, BoundedBytes& o_read);

struct RegularFile : BoundedBytes {
  enum class Problem {
    None,
    CannotOpen,  // errnum says why: ENOENT, EACCES, ...
    NotRegular,  // a folder, a FIFO, a device, a socket: nothing read
    CannotRead,  // errnum says why
  };
  Problem problem = Problem::None;
  int errnum = 0;
  mode_t mode = 0;  // type and permissions, once opened
};

RegularFile ReadRegularFile(const std::filesystem::path& i_path, std::size_t i_uMax);

}  // namespace posix
