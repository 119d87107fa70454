#pragma once

// The router monitor as every host of this program runs it: the status item's controller on
// the host core, with the preferences file, the machine's default router, the program's log,
// and the failure policy's clean start (the client disconnects, so the next tick reconnects).

#include <filesystem>

#include "menuextra/menubarThingy.h"
#include "platform/DefaultRouter.h"
#include "platform/MenuExtraHost.h"
#include "platform/NSBundle.h"
#include "platform/TomlPreferences.h"

namespace zezar {

class Monitor {
 public:
  static const char* const kBundleIdentifier;  // names the preferences domain

  // The resource folder of an installed program, else of the build tree.
  static std::filesystem::path DefaultResources();

  Monitor(platform::RunLoop& io_loop, const std::filesystem::path& i_preferences,
          const std::filesystem::path& i_resources);

  // Loads the controller; its first poll runs before this returns. Throws std::runtime_error
  // when it does not start.
  ZezarIZIDezev& Start();
  platform::MenuExtraHost& host() { return m_host; }

 private:
  platform::TomlPreferences m_preferences;
  platform::ProcNetRoute m_defaultRouter;
  NSBundle m_bundle;
  platform::MenuExtraHost m_host;
};

}  // namespace zezar
