#include "preferences/Preferences.h"

#include <stdexcept>

namespace preferences {

namespace {
PreferencesStore* g_pInstalled = nullptr;  // set and cleared by the host
}  // namespace

PreferencesStore& Preferences() {
  if (g_pInstalled == nullptr) throw std::logic_error("no preferences store installed");
  return *g_pInstalled;
}

void InstallPreferences(PreferencesStore* i_pStore) { g_pInstalled = i_pStore; }

}  // namespace preferences
