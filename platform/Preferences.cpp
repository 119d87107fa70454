#include "platform/Preferences.h"

namespace platform {

namespace {

class EmptyStore final : public PreferencesStore {
 public:
  void AppSynchronize(const std::string&) override {}
  std::optional<PreferenceValue> CopyAppValue(const std::string&,
                                              const std::string&) const override {
    return std::nullopt;
  }
};

EmptyStore g_empty;
PreferencesStore* g_pInstalled = nullptr;  // set and cleared by the host

}  // namespace

PreferencesStore& Preferences() { return g_pInstalled != nullptr ? *g_pInstalled : g_empty; }

void InstallPreferences(PreferencesStore* i_pStore) { g_pInstalled = i_pStore; }

}  // namespace platform
