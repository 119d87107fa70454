#include "preferences/TomlPreferences.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "preferences/TomlFile.h"

namespace preferences {

namespace {

PreferenceValue ValueOf(const toml::node& i_node) {
  if (const auto* pInteger = i_node.as_integer()) {
    const int64_t value = pInteger->get();
    return static_cast<long>(value);
  }
  if (const auto* pFloat = i_node.as_floating_point()) {
    const double value = pFloat->get();
    // Truncated towards zero and held to the range of a long; not-a-number is 0.
    if (std::isnan(value)) return 0L;
    if (value >= static_cast<double>(std::numeric_limits<long>::max())) {
      return std::numeric_limits<long>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<long>::min())) {
      return std::numeric_limits<long>::min();
    }
    return static_cast<long>(value);
  }
  if (const auto* pBoolean = i_node.as_boolean()) return pBoolean->get();
  if (const auto* pString = i_node.as_string()) return pString->get();
  return OtherValue{};
}

}  // namespace

std::filesystem::path TomlPreferences::DefaultPath() {
  if (const char* pExplicit = std::getenv("ZEZAR_PREFERENCES"); pExplicit && *pExplicit) {
    return pExplicit;
  }
  std::filesystem::path base;
  if (const char* pConfig = std::getenv("XDG_CONFIG_HOME"); pConfig && *pConfig) {
    base = pConfig;
  } else if (const char* pHome = std::getenv("HOME"); pHome && *pHome) {
    base = std::filesystem::path(pHome) / ".config";
  } else {
    base = ".config";
  }
  return base / "zezar" / "preferences.toml";
}

TomlPreferences::TomlPreferences(std::filesystem::path i_path, std::string i_strDomain)
    : m_path(std::move(i_path)), m_strDomain(std::move(i_strDomain)) {
  Load();
}

void TomlPreferences::AppSynchronize(const std::string& i_strDomain) {
  if (i_strDomain == m_strDomain) Load();
}

std::optional<PreferenceValue> TomlPreferences::CopyAppValue(const std::string& i_strKey,
                                                             const std::string& i_strDomain) const {
  if (i_strDomain != m_strDomain) return std::nullopt;
  const auto found = m_values.find(i_strKey);
  if (found == m_values.end()) return std::nullopt;
  return found->second;
}

void TomlPreferences::Load() {
  std::optional<std::string> text;
  try {
    text = ReadTomlText(m_path, kMaxFileSize);
  } catch (const TomlFileError& error) {
    m_lastText.reset();
    m_problem = error.what();
    return;
  }
  // The text parsed last time gives what it gave then: a file that has not changed, as on most
  // ticks, is not parsed again.
  if (text && text == m_lastText) return;
  m_lastText = text;
  if (!text && m_bGoodSettings) {
    // Gone while in use (deleted, or its folder): the defaults would choose the machine's router,
    // which the user may never have chosen. An empty file is how to ask for the defaults.
    m_problem = m_path.string() + ": removed; its last settings stay until it is back";
    return;
  }
  if (!text) {  // no file yet: no keys, and no problem
    m_values.clear();
    m_problem.reset();
    return;
  }
  std::map<std::string, PreferenceValue, std::less<>> values;
  try {
    ParseTomlText(*text, m_path, [&](const toml::table& i_table) {
      for (const auto& [key, node] : i_table) values.emplace(std::string(key.str()), ValueOf(node));
    });
  } catch (const TomlFileError& error) {
    m_problem = error.what();
    return;
  }
  m_values = std::move(values);
  m_problem.reset();
  m_bGoodSettings = true;
}

}  // namespace preferences
