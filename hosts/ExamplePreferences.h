#pragma once

// The commented example preferences file, the same text as the installed example.

#include <filesystem>
#include <optional>
#include <string>

namespace zezar {

extern const char* const kExamplePreferences;

// Writes the example to the path when nothing is there yet, creating its folder; the file is
// the user's alone (mode 0600), as it may come to hold passwords. Something already at the
// path, whatever it is, is left alone. Returns the problem in words, or nothing.
std::optional<std::string> WriteExamplePreferences(const std::filesystem::path& i_path);

}  // namespace zezar
