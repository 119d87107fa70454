#include "ProgramMenu.h"

#include "ExamplePreferences.h"
#include "text/Translation.h"

namespace zezar {

namespace {

constexpr int32_t kSeparatorId = 900;
constexpr int32_t kPreferencesId = 901;
constexpr int32_t kQuitId = 902;

}  // namespace

ProgramMenu::ProgramMenu(sd_event* io_pEvent, sd_bus* io_pBus, std::filesystem::path i_preferences,
                         Handlers i_handlers)
    : m_preferences(std::move(i_preferences)),
      m_handlers(std::move(i_handlers)),
      m_opener(io_pEvent, io_pBus, m_handlers.problem) {}

std::vector<ProgramMenu::Entry> ProgramMenu::Entries() {
  return {{kSeparatorId, "", true},
          // TRANSLATORS: the menu entry that opens the preferences file in an editor.
          {kPreferencesId, text::Tr("Preferences…"), false},
          {kQuitId, text::Tr("Quit"), false}};
}

bool ProgramMenu::Choose(int32_t i_iId) {
  if (i_iId == kPreferencesId) {
    if (const std::optional<std::string> problem = WriteExamplePreferences(m_preferences)) {
      m_handlers.problem(*problem);
    } else {
      m_opener.Open(m_preferences);
    }
    return true;
  }
  if (i_iId == kQuitId) {
    m_handlers.quit();
    return true;
  }
  return false;
}

}  // namespace zezar
