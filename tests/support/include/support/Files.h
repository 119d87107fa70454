#pragma once

// What a test finds on disk after a program wrote there.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zezar_test {

// The whole file, byte for byte; "" when it cannot be read.
inline std::string Contents(const std::filesystem::path& i_path) {
  std::ifstream file(i_path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The names in a folder, sorted: a temporary file left behind shows up here.
inline std::vector<std::string> Entries(const std::filesystem::path& i_dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(i_dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace zezar_test
