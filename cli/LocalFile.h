#pragma once

// Files the user names to zezarctl, read and written with care.
//
// Reading takes a regular file only, opened without blocking (a FIFO without a writer would
// hold zezarctl for ever, /dev/zero would give without end), and never more than the reader's
// bound; every read is checked.
//
// Writing replaces a regular file, or makes a new one, whole or not at all (AtomicFile.h). A
// FIFO or a character device the user named (/dev/stdout, /dev/null, the pipe behind a
// shell's ">(command)") gets the bytes written into it, as a program writes to its output:
// replacing it would be the wrong thing, and refusing it would refuse what was plainly meant.
// Anything else (a socket, a block device, a folder) is refused.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "cli/Failure.h"
#include "posix/RegularFile.h"

namespace ctl {

struct LocalContents : posix::BoundedBytes {
  mode_t mode = 0;  // a file's permissions
};

// Up to i_uMax bytes of the regular file at i_path. Throws Failure(i_code) naming the file when
// it cannot be opened or read, or is no regular file.
LocalContents ReadRegularFile(const std::filesystem::path& i_path, std::size_t i_uMax,
                              ExitCode i_code);
// Up to i_uMax bytes of standard input, to its end. Throws Failure(Failure) when it cannot be
// read.
LocalContents ReadStandardInput(std::size_t i_uMax);

// Throws Failure(Failure) naming the file when zezarctl will not write there. Said before a
// download, so that nothing is fetched for a place that cannot take it.
void CheckWritable(const std::filesystem::path& i_path);
// Writes the bytes to i_path as above. Throws Failure(Failure) naming the file and the reason.
void WriteLocalFile(const std::filesystem::path& i_path, std::string_view i_bytes);

}  // namespace ctl
