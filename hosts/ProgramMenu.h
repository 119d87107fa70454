#pragma once

// The program's own entries, under the router's in every host's menu: a separator, then
// "Preferences…" and "Quit", and what choosing them does. They are the program's, not the
// router's, so the controller's menu never holds them; their ids lie apart from its items'
// (addresses from 1, commands from 1000) and from a host's status line (999).
//
// Preferences… writes the commented example when there is no file yet and opens the file with
// the desktop's handler, never waiting for it; Quit ends the host as SIGTERM does.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DesktopOpener.h"

namespace zezar {

class ProgramMenu {
 public:
  struct Entry {
    int32_t id;
    std::string title;  // in the user's language; empty for the separator
    bool separator;
  };

  struct Handlers {
    std::function<void()> quit;
    std::function<void(const std::string&)> problem;  // a failure to open, in words
  };

  // io_pBus: the session bus on io_pEvent, or null (see DesktopOpener).
  ProgramMenu(sd_event* io_pEvent, sd_bus* io_pBus, std::filesystem::path i_preferences,
              Handlers i_handlers);

  // Separator, Preferences…, Quit, in that order.
  static std::vector<Entry> Entries();

  // Performs the action of the entry with this id; false when it is none of the program's
  // (or the separator).
  bool Choose(int32_t i_iId);

 private:
  std::filesystem::path m_preferences;
  Handlers m_handlers;
  DesktopOpener m_opener;
};

}  // namespace zezar
