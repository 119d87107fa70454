#pragma once

// The bundle a menu extra was loaded from: its identifier, which names its preferences
// domain, and the folder of its resources.

#include <filesystem>
#include <optional>
#include <string>

class NSBundle {
 public:
  NSBundle(std::string i_strIdentifier, std::filesystem::path i_resourcePath)
      : m_strIdentifier(std::move(i_strIdentifier)), m_resourcePath(std::move(i_resourcePath)) {}

  const std::string& bundleIdentifier() const { return m_strIdentifier; }
  const std::filesystem::path& resourcePath() const { return m_resourcePath; }

  // "<name>.png" in the resource folder, when there is such a file.
  std::optional<std::filesystem::path> pathForImageResource(const std::string& i_strName) const;

 private:
  std::string m_strIdentifier;
  std::filesystem::path m_resourcePath;
};
