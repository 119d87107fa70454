#pragma once

// Writes a whole file or nothing: the bytes go to a temporary file beside the target, which
// is flushed to disk and then renamed over it. A failure leaves no partial file behind. Only
// a regular file or a new name is replaced so: a rename would put a file in the place of a
// device, a FIFO or a socket (as root, of /dev/null). A symbolic link stays: the file it
// names is replaced.

#include <filesystem>
#include <string_view>

namespace ctl {

enum class FileMode {
  Usual,      // what the user's umask gives a new file
  OwnerOnly,  // 0600: the file may hold passwords
};

// Throws Failure(Failure) naming the file and the reason; anything but a regular file is
// refused untouched.
void WriteFileAtomically(const std::filesystem::path& i_path, std::string_view i_bytes,
                         FileMode i_mode = FileMode::Usual);

}  // namespace ctl
