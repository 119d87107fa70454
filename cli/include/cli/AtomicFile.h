#pragma once

// Writes a whole file or nothing: the bytes go to a temporary file beside the target, which
// is flushed to disk and then renamed over it. A failure leaves no partial file behind.

#include <filesystem>
#include <string_view>

namespace ctl {

// Throws Failure(Failure) naming the file and the reason.
void WriteFileAtomically(const std::filesystem::path& i_path, std::string_view i_bytes);

}  // namespace ctl
