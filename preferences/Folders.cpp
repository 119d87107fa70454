#include "preferences/Folders.h"

#include <cstdlib>

namespace preferences {

std::filesystem::path StateFolder() {
  if (const char* pState = std::getenv("XDG_STATE_HOME"); pState && *pState)
    return std::filesystem::path(pState) / "zezar";
  if (const char* pHome = std::getenv("HOME"); pHome && *pHome)
    return std::filesystem::path(pHome) / ".local" / "state" / "zezar";
  return {};  // nowhere that is the user's
}

}  // namespace preferences
