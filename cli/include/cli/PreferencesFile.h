#pragma once

// The preferences file as zezarctl setup writes it: top-level keys set or removed in the
// user's own text, every other line (comments, keys we do not know, tables) kept. Where a
// text cannot be edited line by line (it is not TOML, or a key's old value spans lines), a new
// file is written instead and the old one kept beside it as FILE.bak.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "preferences/Preferences.h"

namespace ctl {

struct PreferenceEdit {
  std::string key;
  std::optional<preferences::PreferenceValue> value;  // a number, boolean or string; none: remove
  std::string comment;                                // above a key that is new
};

// The edited text, or nothing when it cannot be edited in place.
std::optional<std::string> EditPreferences(const std::string& i_strText,
                                           const std::vector<PreferenceEdit>& i_edits);
// A new file: a few lines on what it is, then each key with its comment.
std::string NewPreferences(const std::vector<PreferenceEdit>& i_edits);

struct Written {
  bool bBackup = false;  // the old text could not be kept: it is in FILE.bak
};
// Writes the edits into the file (mode 0600, whole or not at all). A symbolic link is followed
// only to a file of the user's own. Throws Failure(Failure) for what it cannot write, and
// Failure(Usage) for a link it will not follow.
Written WritePreferences(const std::filesystem::path& i_path,
                         const std::vector<PreferenceEdit>& i_edits);
// Throws as WritePreferences does for a link it will not follow or a file it cannot read:
// said before anything else is changed.
void CheckPreferencesFile(const std::filesystem::path& i_path);

}  // namespace ctl
