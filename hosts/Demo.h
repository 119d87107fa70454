#pragma once

// A simulated router for trying the monitor without one: the simulator in a child process on
// an ephemeral loopback port, and a temporary preferences file that points at it. Both go when
// the demo does.

#include <filesystem>

#include "routersim/ServerProcess.h"

namespace zezar {

class Demo {
 public:
  Demo();  // throws std::system_error
  ~Demo();
  Demo(const Demo&) = delete;
  Demo& operator=(const Demo&) = delete;

  const std::filesystem::path& Preferences() const { return m_preferences; }
  // Where the demo's timeline goes: not into the user's own.
  // Where the demo's monitor keeps what it remembers.
  const std::filesystem::path& StateFolder() const { return m_dir; }

 private:
  routersim::ServerProcess m_router;
  std::filesystem::path m_dir;
  std::filesystem::path m_preferences;
};

}  // namespace zezar
