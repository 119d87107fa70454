#pragma once

// Where zezarctl finds its router and passwords. The router: --router HOST[:PORT], else the
// monitor's preferences (AutoDetectRouter, RouterIPAddress, RouterPort). The administrator
// and user passwords: --password-file, else $ZEZAR_ADMIN_PASS / $ZEZAR_USER_PASS, else
// RouterAdminPass / RouterUserPass. The root password: --root-password-file, else
// $ZEZAR_ROOT_PASS. Never the command line itself. Text goes to the router in Mac OS Roman.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "preferences/Preferences.h"
#include "router/DefaultRouter.h"

namespace ctl {

inline constexpr const char* kPreferencesDomain = "org.zezar.menuextra";

struct Options {
  std::optional<std::string> router;  // HOST[:PORT]
  std::optional<std::filesystem::path> passwordFile;
  std::optional<std::filesystem::path> rootPasswordFile;
};

// Where a login's password came from, for `password where` and for messages.
enum class PasswordOrigin { None, PasswordFile, Environment, Preferences, Keyring };

struct Settings {
  std::string host;  // Mac OS Roman
  uint16_t port = router::kDefaultPort;
  std::optional<std::string> adminPassword;  // Mac OS Roman, like every password here
  std::optional<std::string> userPassword;
  std::optional<std::string> rootPassword;
  PasswordOrigin adminFrom = PasswordOrigin::None;
  PasswordOrigin userFrom = PasswordOrigin::None;
  std::string keyringProblem;  // for people: why the keyring gave no password it should have
  bool allowPlainText = false;  // AllowPlainTextLogin: the plain login even to a pinned router
  std::vector<std::string> warnings;  // for people, once each: a password file others may read
  std::string Where() const;          // "host:port", for messages
  // The root password for i_strCommand (support, get, put); throws Failure(Usage) without one.
  const std::string& RootPassword(const std::string& i_strCommand) const;
};

// A variable of the environment, or nothing; empty counts as unset.
using Environment = std::function<std::optional<std::string>(const char* i_pName)>;
Environment ProcessEnvironment();

// Throws Failure(Usage) when something given is unusable or no router is named.
Settings ResolveSettings(const Options& i_options, const Environment& i_environment,
                         const preferences::PreferencesStore& i_preferences,
                         const router::DefaultRouterSource& i_defaultRouter);

}  // namespace ctl
