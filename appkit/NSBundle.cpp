#include "appkit/NSBundle.h"

std::optional<std::filesystem::path> NSBundle::pathForImageResource(
    const std::string& i_strName) const {
  if (i_strName.empty() || i_strName.find('/') != std::string::npos) return std::nullopt;
  std::filesystem::path path = m_resourcePath / (i_strName + ".png");
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  return path;
}
