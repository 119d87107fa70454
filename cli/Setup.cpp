#include "cli/Setup.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <vector>

#include "LocalFile.h"
#include "cli/Failure.h"
#include "cli/KeyringPasswords.h"
#include "cli/PreferencesFile.h"
#include "cli/Settings.h"
#include "client/Zastra.h"
#include "keyring/RouterPasswords.h"
#include "preferences/Folders.h"
#include "router/Commands.h"
#include "router/Login.h"
#include "text/MacRoman.h"
#include "text/Printable.h"
#include "text/Translation.h"

namespace ctl {

namespace {

using text::Format;
using text::Tr;

constexpr int kMostTries = 5;  // for each question, before setup gives up

// No preferences: the router comes from the answer alone.
class NoPreferences final : public preferences::PreferencesStore {
 public:
  void AppSynchronize(const std::string&) override {}
  std::optional<preferences::PreferenceValue> CopyAppValue(const std::string&,
                                                           const std::string&) const override {
    return std::nullopt;
  }
};

Settings RouterOf(const std::string& i_strRouter,
                  const router::DefaultRouterSource& i_defaultRouter) {
  const NoPreferences none;
  return ResolveSettings(
      {.router = i_strRouter, .passwordFile = {}, .rootPasswordFile = {}},
      [](const char*) { return std::optional<std::string>(); }, none, i_defaultRouter);
}

void Say(const std::string& i_strText) {
  std::fprintf(stderr, "%s\n", text::Printable(i_strText).c_str());
  std::fflush(stderr);
}

// One line from the person at the terminal; the end of input cancels.
std::string Ask(const std::string& i_strQuestion) {
  std::fprintf(stderr, "%s", i_strQuestion.c_str());
  std::fflush(stderr);
  std::string strAnswer;
  if (!std::getline(std::cin, strAnswer)) {
    std::fputc('\n', stderr);
    throw Failure(ExitCode::Failure, Tr("cancelled"));
  }
  return strAnswer;
}

bool AskYes(const std::string& i_strQuestion) {
  const std::string strAnswer = Ask(i_strQuestion + " " + Tr("[y/N]") + " ");
  return strAnswer == "y" || strAnswer == "Y" || strAnswer == "yes" || strAnswer == Tr("y") ||
         strAnswer == Tr("yes");
}

struct Probed {
  bool bRouter = false;
  ExitCode failure = ExitCode::NoConnection;
  std::string words;
};

// What listens at the router's address: its monitor says its protocol and version.
Probed Probe(const Settings& i_router) {
  Zastra client;
  try {
    client.Connect(i_router.host, i_router.port);
  } catch (const Zastra::ConnectError& error) {
    return {false, ExitCode::NoConnection,
            Format(Tr("nothing answers at {1}: {2}"), {i_router.Where(), error.GetMessage()})};
  }
  const Zastra::Version_t version = client.Version();
  if (version.protocol == 0) {
    return {
        false, ExitCode::RouterRefused,
        Format(Tr("something at {1} answers, but not as a router monitor"), {i_router.Where()})};
  }
  return {true, ExitCode::Ok,
          Format(Tr("a router monitor at {1}: protocol {2}, {3}"),
                 {i_router.Where(), std::to_string(version.protocol),
                  text::MacRomanToUtf8(version.version)})};
}

struct Tried {
  bool bUser = false;  // the password gives user rights at least
  std::string words;
};

// Logs in with the one password (UTF-8) and says what it grants.
Tried TryPassword(const Settings& i_router, const std::string& i_strPassword) {
  Zastra client;
  try {
    client.Connect(i_router.host, i_router.port);
  } catch (const Zastra::ConnectError& error) {
    return {false,
            Format(Tr("cannot connect to {1}: {2}"), {i_router.Where(), error.GetMessage()})};
  }
  router::FileLoginPins pins(router::FileLoginPins::PathIn(preferences::StateFolder()));
  const router::Login login =
      router::LogIn(client, {.admin = text::Utf8ToMacRoman(i_strPassword), .user = {}},
                    {.where = i_router.Where(), .pins = &pins, .allowPlainText = false});
  if (login != router::Login::User || !client.IsConnected())
    return {false, Format(Tr("{1} refused the login"), {i_router.Where()})};
  const uint16_t level = client.Pass("");
  std::string strPermitted;
  for (const router::Command& command : router::kCommands) {
    if (!(client.*command.allowed)()) continue;
    if (!strPermitted.empty()) strPermitted += ", ";
    strPermitted += command.name;
  }
  if (strPermitted.empty()) strPermitted = Tr("no command");
  // TRANSLATORS: {1} is the level's number, {2} its name, {3} the commands permitted.
  return {true, Format(Tr("level {1} ({2}); permits: {3}"),
                       {std::to_string(level), Tr(router::LevelName(level)), strPermitted})};
}

std::string PasswordFromFile(const std::filesystem::path& i_path) {
  const LocalContents contents =
      ReadRegularFile(i_path, keyring::kMaxPasswordBytes + 2, ExitCode::Usage);
  std::string strLine = contents.bytes.substr(0, contents.bytes.find('\n'));
  if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
  if (const std::string strProblem = keyring::PasswordProblem(strLine); !strProblem.empty())
    throw Failure(ExitCode::Usage, Format("{1}: {2}", {i_path.string(), strProblem}));
  return strLine;
}

struct Answers {
  Settings router;
  std::string userPassword;
  std::optional<std::string> adminPassword;
  bool rebootHalt = false;
};

Answers FromOptions(const SetupOptions& i_options,
                    const router::DefaultRouterSource& i_defaultRouter) {
  if (!i_options.router || !i_options.passwordFile) {
    throw Failure(ExitCode::Usage,
                  Tr("setup --yes needs --router HOST[:PORT] and --password-file FILE"));
  }
  Answers answers{RouterOf(*i_options.router, i_defaultRouter), "", std::nullopt,
                  i_options.rebootHalt};
  const Probed probed = Probe(answers.router);
  if (!probed.bRouter) throw Failure(probed.failure, probed.words);
  Say(probed.words);
  answers.userPassword = PasswordFromFile(*i_options.passwordFile);
  if (i_options.adminPasswordFile)
    answers.adminPassword = PasswordFromFile(*i_options.adminPasswordFile);
  for (const std::optional<std::string>& password :
       {std::optional<std::string>(answers.userPassword), answers.adminPassword}) {
    if (!password) continue;
    const Tried tried = TryPassword(answers.router, *password);
    if (!tried.bUser) throw Failure(ExitCode::LoginRefused, tried.words);
    Say(tried.words);
  }
  return answers;
}

Answers FromQuestions(const SetupOptions& i_options,
                      const router::DefaultRouterSource& i_defaultRouter) {
  Answers answers;
  const std::optional<std::string> machine = i_defaultRouter.DefaultIPv4Router();
  for (int i = 0;; ++i) {
    if (i == kMostTries) throw Failure(ExitCode::Failure, Tr("cancelled"));
    std::string strRouter = i_options.router.value_or("");
    if (i > 0 || strRouter.empty()) {
      strRouter = Ask(machine ? Format(Tr("Router (HOST[:PORT]) [{1}]: "), {*machine})
                              : std::string(Tr("Router (HOST[:PORT]): ")));
      if (strRouter.empty() && machine) strRouter = *machine;
    }
    try {
      answers.router = RouterOf(strRouter, i_defaultRouter);
    } catch (const Failure& problem) {
      Say(problem.what());
      continue;
    }
    const Probed probed = Probe(answers.router);
    Say(probed.words);
    if (probed.bRouter || AskYes(Tr("Use it all the same?"))) break;
  }
  const auto ask = [&](const char* i_pLogin, bool i_bOptional) -> std::optional<std::string> {
    for (int i = 0; i < kMostTries; ++i) {
      // TRANSLATORS: {1} is the login (user or administrator), {2} the router's HOST:PORT.
      std::string strPrompt =
          Format(Tr("{1} password for {2}: "), {i_pLogin, answers.router.Where()});
      if (i_bOptional)
        strPrompt =
            Format(Tr("{1} password for {2} (empty: none): "), {i_pLogin, answers.router.Where()});
      std::string strPassword;
      try {
        strPassword =
            ReadPassword(strPrompt, i_bOptional ? EmptyPassword::None : EmptyPassword::Refused);
      } catch (const Failure& problem) {
        if (problem.Code() != ExitCode::Usage) throw;
        Say(problem.what());
        continue;
      }
      if (strPassword.empty()) return std::nullopt;
      const Tried tried = TryPassword(answers.router, strPassword);
      Say(tried.words);
      if (tried.bUser) return strPassword;
    }
    throw Failure(ExitCode::Failure, Tr("cancelled"));
  };
  answers.userPassword = *ask(Tr("user"), false);
  answers.adminPassword = ask(Tr("administrator"), true);
  answers.rebootHalt = AskYes(Tr("Offer Reboot and Halt in the menu?"));
  return answers;
}

}  // namespace

Output Setup(const SetupOptions& i_options, const router::DefaultRouterSource& i_defaultRouter,
             const std::filesystem::path& i_preferences) {
  const bool bTerminal = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1;
  if (!i_options.yes && !bTerminal) {
    throw Failure(ExitCode::Usage,
                  Tr("not on a terminal, so nothing asks; give --router, --password-file and "
                     "--yes"));
  }
  CheckPreferencesFile(i_preferences);
  const Answers answers = i_options.yes ? FromOptions(i_options, i_defaultRouter)
                                        : FromQuestions(i_options, i_defaultRouter);

  // The keyring first: should it fail, the file can still take the passwords.
  bool bIntoFile = i_options.noKeyring;
  if (!bIntoFile) {
    std::vector<std::pair<keyring::Role, std::string>> stored = {
        {keyring::Role::User, answers.userPassword}};
    if (answers.adminPassword) stored.emplace_back(keyring::Role::Admin, *answers.adminPassword);
    for (const auto& [role, strPassword] : stored) {
      const std::string strProblem =
          keyring::Store({answers.router.Where(), role}, strPassword, kKeyringPromptBound);
      if (strProblem.empty()) continue;
      Say(Format(Tr("keyring: {1}"), {strProblem}));
      if (i_options.yes) {
        throw Failure(ExitCode::Failure,
                      Tr("the passwords are not stored; with --no-keyring they go into the "
                         "preferences file"));
      }
      if (!AskYes(Tr("Write the passwords into the preferences file (readable by you alone)?")))
        throw Failure(ExitCode::Failure, Tr("cancelled"));
      bIntoFile = true;
      break;
    }
  }

  const auto password = [&](const std::optional<std::string>& i_password)
      -> std::optional<preferences::PreferenceValue> {
    if (!bIntoFile || !i_password) return std::nullopt;  // none, so the keyring's counts
    return *i_password;
  };
  const std::vector<PreferenceEdit> edits = {
      {"AutoDetectRouter", false, "The router below, not the machine's default router."},
      {"RouterIPAddress", text::MacRomanToUtf8(answers.router.host),
       "The router's name or address."},
      {"RouterPort", static_cast<long>(answers.router.port), "Its monitor daemon's port."},
      {"RebootHaltEnabled", answers.rebootHalt, "Whether the menu offers Reboot and Halt."},
      {"RouterUserPass", password(answers.userPassword),
       "The user's password (zezarctl password set keeps it in the keyring instead)."},
      {"RouterAdminPass", password(answers.adminPassword), "The administrator's password."},
  };
  const Written written = WritePreferences(i_preferences, edits);

  Output output;
  output.json = {{"router", answers.router.Where()},
                 {"preferences", i_preferences.string()},
                 {"backup", written.bBackup},
                 {"passwords", bIntoFile ? "preferences" : "keyring"}};
  if (written.bBackup) {
    output.text += Format(Tr("{1} could not be kept as it was; it is now {1}.bak\n"),
                          {i_preferences.string()});
  }
  output.text += Format(bIntoFile ? Tr("wrote {1}, with the passwords\n")
                                  : Tr("wrote {1}; the passwords are in the keyring\n"),
                        {i_preferences.string()});
  return output;
}

}  // namespace ctl
