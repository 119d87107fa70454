#pragma once

// Preferences held in memory, for tests: what Set stores becomes visible at the next
// AppSynchronize, as with a preferences editor writing behind the reader's back.

#include <map>

#include "preferences/Preferences.h"

namespace preferences {

class MemoryPreferences final : public PreferencesStore {
 public:
  explicit MemoryPreferences(std::string i_strDomain) : m_strDomain(std::move(i_strDomain)) {}

  void Set(const std::string& i_strKey, PreferenceValue i_value) {
    m_stored.insert_or_assign(i_strKey, std::move(i_value));
  }
  void Remove(const std::string& i_strKey) { m_stored.erase(i_strKey); }
  int Synchronizations() const { return m_iSynchronizations; }

  void AppSynchronize(const std::string& i_strDomain) override {
    ++m_iSynchronizations;
    if (i_strDomain == m_strDomain) m_visible = m_stored;
  }
  std::optional<PreferenceValue> CopyAppValue(const std::string& i_strKey,
                                              const std::string& i_strDomain) const override {
    if (i_strDomain != m_strDomain) return std::nullopt;
    const auto found = m_visible.find(i_strKey);
    if (found == m_visible.end()) return std::nullopt;
    return found->second;
  }

 private:
  std::string m_strDomain;
  std::map<std::string, PreferenceValue> m_stored;
  std::map<std::string, PreferenceValue> m_visible;
  int m_iSynchronizations = 0;
};

}  // namespace preferences
