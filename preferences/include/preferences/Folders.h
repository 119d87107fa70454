#pragma once

// Where the programs keep what they remember between runs (the timeline, the routers that
// offered the salted login): $XDG_STATE_HOME/zezar, else ~/.local/state/zezar. Empty when the
// environment names neither: then nothing is remembered.

#include <filesystem>

namespace preferences {

std::filesystem::path StateFolder();

}  // namespace preferences
