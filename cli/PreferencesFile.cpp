#include "cli/PreferencesFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "cli/AtomicFile.h"
#include "cli/Failure.h"
#include "preferences/TomlFile.h"
#include "text/Translation.h"

namespace ctl {

namespace {

using text::Format;
using text::Tr;

constexpr std::size_t kMaxBytes = 16 * 1024;  // what the monitor reads

std::string Literal(const preferences::PreferenceValue& i_value) {
  if (const long* pNumber = std::get_if<long>(&i_value)) return std::to_string(*pNumber);
  if (const bool* pBool = std::get_if<bool>(&i_value)) return *pBool ? "true" : "false";
  std::string strQuoted = "\"";
  for (const unsigned char c : std::get<std::string>(i_value)) {
    switch (c) {
      case '"':
        strQuoted += "\\\"";
        break;
      case '\\':
        strQuoted += "\\\\";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", c);
          strQuoted += escape;
        } else {
          strQuoted += static_cast<char>(c);
        }
    }
  }
  return strQuoted + "\"";
}

std::string Line(const PreferenceEdit& i_edit) {
  return i_edit.key + " = " + Literal(*i_edit.value);
}

// The key a top-level line sets, bare as we write them; "" for any other line.
std::string KeyOf(const std::string& i_strLine) {
  const std::size_t uStart = i_strLine.find_first_not_of(" \t");
  if (uStart == std::string::npos) return {};
  const std::size_t uEnd = i_strLine.find_first_not_of(
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-", uStart);
  if (uEnd == uStart || uEnd == std::string::npos) return {};
  const std::size_t uEquals = i_strLine.find_first_not_of(" \t", uEnd);
  if (uEquals == std::string::npos || i_strLine[uEquals] != '=') return {};
  return i_strLine.substr(uStart, uEnd - uStart);
}

bool IsTableHeader(const std::string& i_strLine) {
  const std::size_t uStart = i_strLine.find_first_not_of(" \t");
  return uStart != std::string::npos && i_strLine[uStart] == '[';
}

// Whether the text is TOML whose top level holds exactly what the edits say.
bool Holds(const std::string& i_strText, const std::vector<PreferenceEdit>& i_edits) {
  bool bHolds = true;
  try {
    preferences::ParseTomlText(i_strText, "preferences", [&](const toml::table& i_table) {
      for (const PreferenceEdit& edit : i_edits) {
        const toml::node* pNode = i_table.get(edit.key);
        if (!edit.value) {
          bHolds = bHolds && pNode == nullptr;
        } else if (const long* pNumber = std::get_if<long>(&*edit.value)) {
          bHolds = bHolds && pNode != nullptr && pNode->value<int64_t>() == *pNumber;
        } else if (const bool* pBool = std::get_if<bool>(&*edit.value)) {
          bHolds = bHolds && pNode != nullptr && pNode->value<bool>() == *pBool;
        } else {
          bHolds = bHolds && pNode != nullptr &&
                   pNode->value<std::string>() == std::get<std::string>(*edit.value);
        }
      }
    });
  } catch (const preferences::TomlFileError&) {
    return false;
  }
  return bHolds;
}

}  // namespace

std::optional<std::string> EditPreferences(const std::string& i_strText,
                                           const std::vector<PreferenceEdit>& i_edits) {
  std::vector<std::string> lines;
  std::istringstream in(i_strText);
  for (std::string strLine; std::getline(in, strLine);) lines.push_back(strLine);
  std::vector<bool> done(i_edits.size(), false);
  std::vector<std::string> out;
  std::size_t uTopEnd = std::string::npos;  // where the top level ends: the first table
  for (const std::string& strLine : lines) {
    if (uTopEnd == std::string::npos && IsTableHeader(strLine)) uTopEnd = out.size();
    const std::string strKey = uTopEnd == std::string::npos ? KeyOf(strLine) : "";
    bool bReplaced = false;
    for (std::size_t i = 0; i < i_edits.size() && !strKey.empty(); ++i) {
      if (i_edits[i].key != strKey) continue;
      if (i_edits[i].value && !done[i]) out.push_back(Line(i_edits[i]));
      done[i] = true;
      bReplaced = true;
    }
    if (!bReplaced) out.push_back(strLine);
  }
  std::vector<std::string> added;
  for (std::size_t i = 0; i < i_edits.size(); ++i) {
    if (done[i] || !i_edits[i].value) continue;
    if (!i_edits[i].comment.empty()) added.push_back("# " + i_edits[i].comment);
    added.push_back(Line(i_edits[i]));
  }
  if (uTopEnd == std::string::npos) uTopEnd = out.size();
  if (!added.empty() && uTopEnd == out.size() && !out.empty() && !out.back().empty())
    added.insert(added.begin(), "");
  if (!added.empty() && uTopEnd < out.size()) added.push_back("");
  out.insert(out.begin() + static_cast<std::ptrdiff_t>(uTopEnd), added.begin(), added.end());
  std::string strText;
  for (const std::string& strLine : out) strText += strLine + "\n";
  if (!Holds(strText, i_edits)) return std::nullopt;
  return strText;
}

std::string NewPreferences(const std::vector<PreferenceEdit>& i_edits) {
  std::string strText =
      "# The router monitor's preferences, written by zezarctl setup. Every key is described\n"
      "# in zezar(1); the monitor reads this file again at every connection attempt.\n";
  for (const PreferenceEdit& edit : i_edits) {
    if (!edit.value) continue;
    strText += "\n";
    if (!edit.comment.empty()) strText += "# " + edit.comment + "\n";
    strText += Line(edit) + "\n";
  }
  return strText;
}

namespace {

std::optional<std::string> OldText(const std::filesystem::path& i_path) {
  std::error_code error;
  if (std::filesystem::is_symlink(i_path, error)) {
    const std::filesystem::path target = std::filesystem::canonical(i_path, error);
    struct stat status {};
    if (error || ::stat(target.c_str(), &status) != 0 || status.st_uid != ::getuid()) {
      throw Failure(ExitCode::Usage,
                    Format(Tr("{1}: a symbolic link to a file that is not yours (or not there); "
                              "not following it"),
                           {i_path.string()}));
    }
  }
  try {
    return preferences::ReadTomlText(i_path, kMaxBytes);
  } catch (const preferences::TomlFileError& problem) {
    throw Failure(ExitCode::Failure, problem.what());
  }
}

}  // namespace

void CheckPreferencesFile(const std::filesystem::path& i_path) { OldText(i_path); }

Written WritePreferences(const std::filesystem::path& i_path,
                         const std::vector<PreferenceEdit>& i_edits) {
  const std::optional<std::string> old = OldText(i_path);
  std::error_code error;
  Written written;
  std::optional<std::string> edited = old ? EditPreferences(*old, i_edits) : std::nullopt;
  if (old && !edited) {
    WriteFileAtomically(i_path.string() + ".bak", *old, FileMode::OwnerOnly);
    written.bBackup = true;
  }
  std::filesystem::create_directories(i_path.parent_path(), error);
  WriteFileAtomically(i_path, edited ? *edited : NewPreferences(i_edits), FileMode::OwnerOnly);
  return written;
}

}  // namespace ctl
