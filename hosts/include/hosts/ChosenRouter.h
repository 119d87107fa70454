#pragma once

// The machine's default router as the monitor may use it: only while the user's preferences
// can have chosen it. With a broken preferences file that was never good in this run, the
// user's choice is unknown (the file may well say AutoDetectRouter = false), so there is no
// default router to fall back on and the monitor connects nowhere until the file is fixed.

#include "preferences/Preferences.h"
#include "router/DefaultRouter.h"

namespace zezar {

class ChosenRouter final : public router::DefaultRouterSource {
 public:
  ChosenRouter(const router::DefaultRouterSource& i_machine,
               const preferences::PreferencesStore& i_preferences)
      : m_machine(i_machine), m_preferences(i_preferences) {}

  std::optional<std::string> DefaultIPv4Router() const override {
    if (m_preferences.Problem() && !m_preferences.HasGoodSettings()) return std::nullopt;
    return m_machine.DefaultIPv4Router();
  }

 private:
  const router::DefaultRouterSource& m_machine;
  const preferences::PreferencesStore& m_preferences;
};

}  // namespace zezar
