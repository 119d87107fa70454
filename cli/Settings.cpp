#include "cli/Settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "LocalFile.h"
#include "cli/Failure.h"
#include "text/MacRoman.h"
#include "text/Translation.h"

namespace ctl {

namespace {

using text::Format;
using text::Tr;

[[noreturn]] void Usage(const std::string& i_strMessage) {
  throw Failure(ExitCode::Usage, i_strMessage);
}

// A password goes into one protocol line: no line ends, no NUL, and a form in Mac OS Roman.
std::string Password(const std::string& i_strText, const std::string& i_strSource) {
  if (i_strText.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    Usage(Format(Tr("{1}: a password cannot hold a line end or a NUL byte"), {i_strSource}));
  }
  const std::optional<std::string> bytes = text::Utf8ToMacRoman(i_strText);
  if (!bytes) {
    Usage(Format(Tr("{1}: the password has a character the router cannot take"), {i_strSource}));
  }
  return *bytes;
}

// The first line of the file, without its line end. Only so much is read: the line must end
// within it.
constexpr std::size_t kMaxPasswordFileRead = 4096;  // bytes

std::string PasswordFile(const std::filesystem::path& i_path,
                         std::vector<std::string>& io_warnings) {
  const LocalContents contents = ReadRegularFile(i_path, kMaxPasswordFileRead, ExitCode::Usage);
  const std::size_t uEnd = contents.bytes.find('\n');
  if (uEnd == std::string::npos && contents.bMore) {
    Usage(Format(Tr("{1}: the first line is longer than {2} bytes"),
                 {i_path.string(), std::to_string(kMaxPasswordFileRead)}));
  }
  std::string strLine = contents.bytes.substr(0, uEnd);
  if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
  if (strLine.empty())
    Usage(Format(Tr("{1}: holds no password on its first line"), {i_path.string()}));
  std::string strPassword = Password(strLine, i_path.string());
  if ((contents.mode & (S_IRGRP | S_IROTH)) != 0) {
    const std::string strWarning =
        Format(Tr("{1}: the group or others may read this password file; keep it to yourself "
                  "(chmod 600)"),
               {i_path.string()});
    if (std::find(io_warnings.begin(), io_warnings.end(), strWarning) == io_warnings.end())
      io_warnings.push_back(strWarning);
  }
  return strPassword;
}

template <typename T>
std::optional<T> Preference(const preferences::PreferencesStore& i_preferences,
                            const char* i_pKey) {
  const std::optional<preferences::PreferenceValue> value =
      i_preferences.CopyAppValue(i_pKey, kPreferencesDomain);
  if (!value || !std::holds_alternative<T>(*value)) return std::nullopt;  // absent
  return std::get<T>(*value);
}

uint16_t Port(const std::string& i_strText, const std::string& i_strSource) {
  char* pEnd = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(i_strText.c_str(), &pEnd, 10);
  if (i_strText.empty() || i_strText[0] < '0' || i_strText[0] > '9' || *pEnd != '\0' ||
      errno != 0 || value < 1 || value > 65535) {
    Usage(
        Format(Tr("{1}: port \"{2}\" is not a number from 1 to 65535"), {i_strSource, i_strText}));
  }
  return static_cast<uint16_t>(value);
}

}  // namespace

std::string Settings::Where() const {
  return text::MacRomanToUtf8(host) + ":" + std::to_string(port);
}

const std::string& Settings::RootPassword(const std::string& i_strCommand) const {
  if (!rootPassword) {
    Usage(Format(Tr("{1} needs the root password: $ZEZAR_ROOT_PASS or --root-password-file"),
                 {i_strCommand}));
  }
  return *rootPassword;
}

Environment ProcessEnvironment() {
  return [](const char* i_pName) -> std::optional<std::string> {
    const char* pValue = std::getenv(i_pName);
    if (pValue == nullptr || *pValue == '\0') return std::nullopt;
    return std::string(pValue);
  };
}

Settings ResolveSettings(const Options& i_options, const Environment& i_environment,
                         const preferences::PreferencesStore& i_preferences,
                         const router::DefaultRouterSource& i_defaultRouter) {
  if (const std::optional<std::string> problem = i_preferences.Problem()) {
    Usage(Format(Tr("preferences: {1}"), {*problem}));
  }
  Settings settings;

  if (i_options.router) {
    const std::string& strRouter = *i_options.router;
    const std::size_t uColon = strRouter.rfind(':');
    std::string strHost = strRouter.substr(0, uColon);
    if (uColon != std::string::npos) settings.port = Port(strRouter.substr(uColon + 1), "--router");
    if (strHost.empty())
      Usage(Format(Tr("--router: no host in \"{1}\" (HOST[:PORT])"), {strRouter}));
    const std::optional<std::string> host = text::Utf8ToMacRoman(strHost);
    if (!host || host->find_first_of(" \r\n") != std::string::npos) {
      Usage(Format(Tr("--router: \"{1}\" is no host name or address"), {strHost}));
    }
    settings.host = *host;
  } else {
    if (Preference<bool>(i_preferences, "AutoDetectRouter").value_or(true)) {
      const std::optional<std::string> router = i_defaultRouter.DefaultIPv4Router();
      if (!router) {
        Usage(
            Tr("no router: this machine has no default router; use --router HOST[:PORT], or "
               "set AutoDetectRouter = false and RouterIPAddress in the preferences"));
      }
      settings.host = *router;
    } else {
      const auto address = Preference<std::string>(i_preferences, "RouterIPAddress");
      const auto host = address ? text::Utf8ToMacRoman(*address) : std::nullopt;
      if (!host || host->empty()) {
        Usage(
            Tr("no router: RouterIPAddress is not set in the preferences; use --router "
               "HOST[:PORT]"));
      }
      settings.host = *host;
    }
    if (const auto port = Preference<long>(i_preferences, "RouterPort")) {
      if (*port < 1 || *port > 65535) {
        Usage(Format(Tr("preferences: RouterPort {1} is not from 1 to 65535"),
                     {std::to_string(*port)}));
      }
      settings.port = static_cast<uint16_t>(*port);
    }
  }

  if (i_options.passwordFile) {
    // One password: the router's answer says whether it is the administrator's or a user's.
    settings.adminPassword = PasswordFile(*i_options.passwordFile, settings.warnings);
    settings.adminFrom = PasswordOrigin::PasswordFile;
  } else {
    const auto fromPreferences = [&](const char* i_pKey) -> std::optional<std::string> {
      const auto value = Preference<std::string>(i_preferences, i_pKey);
      if (!value) return std::nullopt;
      return text::Utf8ToMacRoman(*value);  // none: absent, as in the monitor
    };
    if (const auto admin = i_environment("ZEZAR_ADMIN_PASS")) {
      settings.adminPassword = Password(*admin, "$ZEZAR_ADMIN_PASS");
      settings.adminFrom = PasswordOrigin::Environment;
    } else if ((settings.adminPassword = fromPreferences("RouterAdminPass"))) {
      settings.adminFrom = PasswordOrigin::Preferences;
    }
    if (const auto user = i_environment("ZEZAR_USER_PASS")) {
      settings.userPassword = Password(*user, "$ZEZAR_USER_PASS");
      settings.userFrom = PasswordOrigin::Environment;
    } else if ((settings.userPassword = fromPreferences("RouterUserPass"))) {
      settings.userFrom = PasswordOrigin::Preferences;
    }
  }

  settings.allowPlainText = Preference<bool>(i_preferences, "AllowPlainTextLogin").value_or(false);

  if (i_options.rootPasswordFile) {
    settings.rootPassword = PasswordFile(*i_options.rootPasswordFile, settings.warnings);
  } else if (const auto root = i_environment("ZEZAR_ROOT_PASS")) {
    settings.rootPassword = Password(*root, "$ZEZAR_ROOT_PASS");
  }
  return settings;
}

}  // namespace ctl
