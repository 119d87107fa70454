#pragma once

// zezarctl setup: the router, its passwords and whether Reboot and Halt are offered, asked in
// turn on a terminal (or given as options with --yes), each answer tried against the router
// before anything is kept; then the passwords go to the keyring and the rest to the
// preferences file (cli/PreferencesFile.h). Nothing is stored or written before the last
// answer: an interrupted setup leaves everything as it was.

#include <filesystem>
#include <optional>
#include <string>

#include "cli/Output.h"
#include "router/DefaultRouter.h"

namespace ctl {

struct SetupOptions {
  std::optional<std::string> router;  // HOST[:PORT]
  std::optional<std::filesystem::path> passwordFile;
  std::optional<std::filesystem::path> adminPasswordFile;
  bool rebootHalt = false;
  bool noKeyring = false;  // the passwords go into the preferences file
  bool yes = false;        // no questions: everything comes from the options
};

// Throws Failure: Usage for missing or bad options, NoConnection when no router monitor
// answers, LoginRefused for a password the router refuses, Failure for a keyring or a file
// that cannot take what it is given, or a cancelled setup.
Output Setup(const SetupOptions& i_options, const router::DefaultRouterSource& i_defaultRouter,
             const std::filesystem::path& i_preferences);

}  // namespace ctl
