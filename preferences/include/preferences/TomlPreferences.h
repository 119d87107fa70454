#pragma once

// Preferences kept in a TOML file, one file for the one domain this process serves. TOML's
// integers, booleans and strings are the number, boolean and string types; a float reads as a
// number. Every synchronize reads the file again.
//
// A file that is not there yet holds no keys and is no problem. A file with a problem is one:
// not TOML (the problem says where), not a regular file of at most 16 KiB (refused unread;
// reading never blocks), not readable, or removed after a good read. Through a problem the store
// keeps the values it held, so that a typo or a deletion cannot turn AutoDetectRouter = false
// back into its default: those of the last file read without a problem in this run.
// HasGoodSettings says whether there are such values; before any there are none.

#include <filesystem>
#include <map>

#include "preferences/Preferences.h"

namespace preferences {

class TomlPreferences final : public PreferencesStore {
 public:
  // $ZEZAR_PREFERENCES, else $XDG_CONFIG_HOME/zezar/preferences.toml, else
  // ~/.config/zezar/preferences.toml.
  static std::filesystem::path DefaultPath();

  TomlPreferences(std::filesystem::path i_path, std::string i_strDomain);

  void AppSynchronize(const std::string& i_strDomain) override;
  std::optional<PreferenceValue> CopyAppValue(const std::string& i_strKey,
                                              const std::string& i_strDomain) const override;
  std::optional<std::string> Problem() const override { return m_problem; }
  bool HasGoodSettings() const override { return m_bGoodSettings; }

 private:
  // Eight keys take a few hundred bytes. The bound keeps a hostile file from taking memory, and
  // the parser's stack small (preferences/TomlFile.h).
  static constexpr std::size_t kMaxFileSize = 16 * 1024;

  void Load();

  std::filesystem::path m_path;
  std::string m_strDomain;
  std::optional<std::string> m_lastText;  // the file as it was parsed last
  std::map<std::string, PreferenceValue, std::less<>> m_values;
  std::optional<std::string> m_problem;  // "file:line:column: what", for the host to show
  bool m_bGoodSettings = false;          // m_values come from a file read without a problem
};

}  // namespace preferences
