// zezarctl: the router monitor daemon's whole command set from the shell, for people,
// scripts, status bars and Prometheus. One thread; the client's own time-outs bound every wait.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <iostream>
#include <limits>
#include <optional>
#include <stdexcept>

#include "Commands.h"
#include "TimelineReport.h"
#include "cli/Failure.h"
#include "cli/KeyringPasswords.h"
#include "cli/Metrics.h"
#include "cli/Settings.h"
#include "cli/Setup.h"
#include "cli/Watch.h"
#include "client/Zastra.h"
#include "preferences/TomlPreferences.h"
#include "text/Printable.h"
#include "text/Translation.h"
#include "timeline/TimelineFile.h"

namespace {

using ctl::ExitCode;
using ctl::Failure;
using ctl::Output;
using ctl::RouterConnection;
using text::Format;
using text::Tr;

constexpr const char* kExitCodes =
    N_("Exit codes:\n"
       "  0  success\n"
       "  1  a local file or the output could not be read or written; cancelled\n"
       "  2  usage: bad command line, password file or preferences; no router address\n"
       "  3  no connection: the router cannot be reached, or stopped answering\n"
       "  4  login refused: the passwords give no user rights\n"
       "  5  not permitted: the login may not run the command\n"
       "  6  the router refused the command or answered nonsense\n"
       "  7  a file transfer was cut off\n"
       "\n"
       "Router: --router, else the monitor's preferences ($ZEZAR_PREFERENCES, else\n"
       "~/.config/zezar/preferences.toml). Passwords: --password-file, $ZEZAR_ADMIN_PASS,\n"
       "$ZEZAR_USER_PASS, the preferences or the keyring; root password ($ZEZAR_ROOT_PASS or\n"
       "--root-password-file) for support, get and put. Never on the command line.");

// What it quotes (a file's name, a resolver's words) cannot steer the terminal.
void Say(const std::string& i_strMessage) {
  std::fprintf(stderr, "zezarctl: %s\n", text::Printable(i_strMessage).c_str());
}

bool IsTerminal(int i_fd) { return ::isatty(i_fd) == 1; }

// reboot and halt ask on a terminal; elsewhere only --yes lets them go ahead.
ctl::Confirmation Confirmer(bool i_bYes) {
  return [i_bYes](const std::string& i_strQuestion) {
    if (i_bYes) return true;
    if (!IsTerminal(STDIN_FILENO) || !IsTerminal(STDERR_FILENO)) {
      throw Failure(ExitCode::Usage,
                    Format(Tr("not on a terminal, so nothing asks \"{1}\"; add --yes to go ahead"),
                           {i_strQuestion}));
    }
    // TRANSLATORS: the answers to a yes-or-no question; "y" and "yes" are always taken too.
    std::fprintf(stderr, "%s %s ", i_strQuestion.c_str(), Tr("[y/N]"));
    std::fflush(stderr);
    std::string strAnswer;
    std::getline(std::cin, strAnswer);
    return strAnswer == "y" || strAnswer == "Y" || strAnswer == "yes" || strAnswer == Tr("y") ||
           strAnswer == Tr("yes");
  };
}

void Report(const Output& i_output, bool i_bJson) {
  ctl::Write(i_output.bReportToStderr ? stderr : stdout,
             i_bJson ? ctl::Dump(i_output.json, 2) + "\n" : i_output.text);
}

// A positional argument that may be left out: its value when it was given.
template <typename T>
std::optional<T> IfGiven(const CLI::Option* i_pOption, const T& i_value) {
  return i_pOption->count() > 0 ? std::optional<T>(i_value) : std::nullopt;
}

// The channel argument: "pppoe" or a number from 1 to 255.
std::string ChannelName(const std::string& i_strText) {
  if (i_strText == "pppoe") return {};
  if (!i_strText.empty() && i_strText.size() <= 3 &&
      i_strText.find_first_not_of("0123456789") == std::string::npos) {
    const int number = std::stoi(i_strText);
    if (number >= 1 && number <= 255) return {};
  }
  return Tr("must be pppoe or a channel number from 1 to 255");
}

int Run(int argc, char** argv) {
  CLI::App app{Tr("Speaks to a router's monitor daemon: its state, settings, commands and files."),
               "zezarctl"};
  app.footer(Tr(kExitCodes));
  app.set_version_flag("--version", "zezarctl 0.1.0");
  app.require_subcommand(1, 1);
  app.fallthrough();  // global options after the subcommand, too

  bool bJson = false, bYes = false;
  bool bNeedsRoot = false;  // support, get and put
  ctl::Options options;
  std::string strRouter, strPasswordFile, strRootPasswordFile;
  app.add_flag("--json", bJson, Tr("one JSON document on standard output"));
  app.add_option("--router", strRouter, Tr("the router's HOST[:PORT], over the preferences"));
  app.add_option("--password-file", strPasswordFile,
                 Tr("the login password: the first line of FILE"));
  app.add_option("--root-password-file", strRootPasswordFile,
                 Tr("the root password of support, get and put: the first line of FILE"));
  app.add_flag("--yes,-y", bYes, Tr("reboot and halt without asking; setup without questions"));

  using Command = std::function<Output(RouterConnection&)>;
  Command command;
  enum class Special { None, Watch, Metrics, Timeline, Password, Setup } special = Special::None;
  const auto simple = [&](const char* i_pName, const char* i_pHelp, Command i_command) {
    app.add_subcommand(i_pName, i_pHelp)->callback([&command, i_command] { command = i_command; });
  };

  simple("status", Tr("version, login, channels with state, address and rates"), ctl::Status);
  simple("channels", Tr("every channel with state, address, rates and quantities"), ctl::Channels);
  std::string strChannel;
  app.add_subcommand("channel", Tr("everything the router tells about one channel"))
      ->callback([&] {
        command = [&](RouterConnection& r) { return ctl::ChannelDetails(r, strChannel); };
      })
      ->add_option("N", strChannel, Tr("pppoe or the channel number"))
      ->required()
      ->check(CLI::Validator(ChannelName, "pppoe|1-255"));
  simple("circuits", Tr("the circuits with name, device and hang-up time-out"), ctl::Circuits);

  int circuit = 0;
  long seconds = 0;
  CLI::App* pHup =
      app.add_subcommand("hup-timeout", Tr("show or set a circuit's hang-up time-out"));
  pHup->add_option("N", circuit, Tr("the circuit number"))->required()->check(CLI::Range(1, 255));
  CLI::Option* pSeconds =
      pHup->add_option("SECONDS", seconds, Tr("the new time-out in seconds"))
          ->check(CLI::Range(1L, static_cast<long>(std::numeric_limits<int32_t>::max())));
  pHup->callback([&] {
    command = [&, pSeconds](RouterConnection& r) {
      return ctl::HupTimeout(r, circuit, IfGiven(pSeconds, seconds));
    };
  });

  std::string strMode;
  CLI::App* pDialmode = app.add_subcommand("dialmode", Tr("show or set the dial mode"));
  CLI::Option* pMode = pDialmode->add_option("MODE", strMode, Tr("off, manual or auto"))
                           ->check(CLI::IsMember({"off", "manual", "auto"}));
  pDialmode->callback([&] {
    command = [&, pMode](RouterConnection& r) {
      return ctl::DialmodeCommand(r, IfGiven(pMode, strMode));
    };
  });

  int route = 0;
  CLI::App* pRoute = app.add_subcommand("route", Tr("show or set the route"));
  CLI::Option* pRouteNumber = pRoute->add_option("N", route, Tr("the new route number"))
                                  ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  pRoute->callback([&] {
    command = [&, pRouteNumber](RouterConnection& r) {
      return ctl::RouteCommand(r, IfGiven(pRouteNumber, route));
    };
  });

  simple("links", Tr("the number of links on the current route"), ctl::Links);
  simple("cpu", Tr("the router's processor load"), ctl::Cpu);
  simple("uptime", Tr("the time since the router started"), ctl::Uptime);
  simple("date", Tr("the router's date and time"), ctl::Date);
  simple("timetable", Tr("the router's timetable"), ctl::Timetable);
  app.add_subcommand("support", Tr("the support dump (root password)"))->callback([&] {
    bNeedsRoot = true;
    command = ctl::Support;
  });

  for (const router::Command& routerCommand : router::kCommands) {
    const std::string strHelp =
        routerCommand.Disruptive() ? Format(Tr("{1} (asks first)"), {Tr(routerCommand.description)})
                                   : std::string(Tr(routerCommand.description));
    app.add_subcommand(std::string(routerCommand.name), strHelp)
        ->callback([&command, &bYes, &routerCommand] {
          command = [&bYes, &routerCommand](RouterConnection& r) {
            return ctl::Control(r, routerCommand, Confirmer(bYes));
          };
        });
  }

  std::string strRemote, strLocal;
  std::optional<std::string> upload;  // put's bytes, read before the router is asked
  CLI::App* pGet = app.add_subcommand("get", Tr("download a file (root password)"));
  const CLI::Validator remoteName(ctl::RemoteNameProblem, "REMOTE");
  pGet->add_option("REMOTE", strRemote, Tr("the file on the router"))
      ->required()
      ->check(remoteName);
  pGet->add_option("LOCAL", strLocal, Tr("where to put it, - for standard output"));
  pGet->callback([&] {
    bNeedsRoot = true;
    command = [&](RouterConnection& r) {
      return ctl::Get(r, strRemote, strLocal, IsTerminal(STDERR_FILENO));
    };
  });
  CLI::App* pPut = app.add_subcommand("put", Tr("upload a file (root password)"));
  pPut->add_option("LOCAL", strLocal, Tr("the file to send, - for standard input"))->required();
  pPut->add_option("REMOTE", strRemote, Tr("its name on the router"))
      ->required()
      ->check(remoteName);
  pPut->callback([&] {
    bNeedsRoot = true;
    upload.emplace();
    command = [&](RouterConnection& r) {
      return ctl::Put(r, strLocal, std::move(*upload), strRemote, IsTerminal(STDERR_FILENO));
    };
  });

  ctl::WatchOptions watch;
  double interval = 2.0;
  std::string strFormat = "json";
  CLI::App* pWatch = app.add_subcommand("watch", Tr("one line per interval: JSON or a bar's"));
  pWatch->add_option("--interval", interval, Tr("seconds between lines (default 2)"))
      ->check(CLI::Range(0.1, 86400.0));
  pWatch->add_option("--format", strFormat, Tr("json, waybar or i3bar"))
      ->check(CLI::IsMember({"json", "waybar", "i3bar"}));
  pWatch->add_option("--count", watch.count, Tr("stop after this many lines (default: never)"));
  pWatch->callback([&] { special = Special::Watch; });
  app.add_subcommand("metrics", Tr("the router's state for Prometheus (textfile collector)"))
      ->callback([&] { special = Special::Metrics; });
  std::string strSince;
  std::string strTimelineFile = timeline::TimelineFile::DefaultPath().string();
  CLI::App* pTimeline =
      app.add_subcommand("timeline", Tr("the monitor's record of the connection, outages per day"));
  pTimeline->add_option("--since", strSince,
                        Tr("from a day (2026-12-08), a time (2026-12-08T09:00) "
                           "or a span back (3d, 12h, 30m)"));
  pTimeline->add_option("--file", strTimelineFile, Tr("the record (default: the monitor's)"));
  pTimeline->callback([&] { special = Special::Timeline; });

  bool bAdmin = false;
  std::function<ctl::Output(const ctl::Settings&)> passwordCommand;
  CLI::App* pPassword =
      app.add_subcommand("password", Tr("the router's passwords in the desktop's keyring"));
  pPassword->require_subcommand(1, 1);
  pPassword->fallthrough();  // --admin after set, forget or where
  const auto passwordSubcommand = [&](const char* i_pName, const char* i_pHelp,
                                      std::function<ctl::Output(const ctl::Settings&)> i_run) {
    pPassword->add_subcommand(i_pName, i_pHelp)->callback([&, i_run] {
      special = Special::Password;
      passwordCommand = i_run;
    });
  };
  pPassword->add_flag("--admin", bAdmin, Tr("the administrator's password, not the user's"));
  const auto role = [&] { return bAdmin ? keyring::Role::Admin : keyring::Role::User; };
  passwordSubcommand(
      "set",
      Tr("store a password, read from the terminal without echo or from "
         "standard input"),
      [&](const ctl::Settings& i_settings) { return ctl::SetPassword(i_settings, role()); });
  passwordSubcommand(
      "forget", Tr("remove a password from the keyring"),
      [&](const ctl::Settings& i_settings) { return ctl::ForgetPassword(i_settings, role()); });
  passwordSubcommand("where", Tr("where each login's password comes from (never the password)"),
                     [&](const ctl::Settings& i_settings) {
                       return ctl::WherePasswords(
                           i_settings, preferences::TomlPreferences::DefaultPath().string(),
                           strPasswordFile);
                     });

  ctl::SetupOptions setup;
  std::string strAdminPasswordFile;
  CLI::App* pSetup = app.add_subcommand(
      "setup", Tr("set the monitor up: the router, its passwords (into the keyring), Reboot and "
                  "Halt; asks on a terminal, or takes the options with --yes"));
  pSetup->add_option("--admin-password-file", strAdminPasswordFile,
                     Tr("with --yes: the administrator's password, the first line of FILE"));
  pSetup->add_flag("--reboot-halt", setup.rebootHalt, Tr("with --yes: offer Reboot and Halt"));
  pSetup->add_flag("--no-keyring", setup.noKeyring,
                   Tr("the passwords into the preferences file, not the keyring"));
  pSetup->callback([&] { special = Special::Setup; });

  // CLI11 would call an unknown command a missing one.
  for (int i = 1; i < argc; ++i) {
    const std::string strArgument = argv[i];
    const CLI::Option* pOption = app.get_option_no_throw(strArgument);
    if (pOption != nullptr && pOption->get_items_expected_min() > 0) {
      ++i;  // its value
      continue;
    }
    if (strArgument.empty() || strArgument[0] == '-') continue;
    bool bKnown = false;
    for (const CLI::App* pSubcommand : app.get_subcommands({})) {
      bKnown = bKnown || pSubcommand->get_name() == strArgument;
    }
    if (!bKnown) {
      throw Failure(ExitCode::Usage,
                    Format(Tr("unknown command \"{1}\" (see zezarctl --help)"), {strArgument}));
    }
    break;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::Success& success) {
    return app.exit(success);  // --version
  } catch (const CLI::ParseError& error) {
    throw Failure(ExitCode::Usage, Format(Tr("{1} (see zezarctl --help)"), {error.what()}));
  }
  // Output for programs speaks English throughout, errors included, whatever the language.
  if (bJson || special == Special::Metrics || (special == Special::Watch && strFormat == "json"))
    text::UseEnglish();

  if (special == Special::Timeline) {  // the monitor's file: the router is not asked
    const auto now = timeline::Clock::now();
    std::optional<timeline::Clock::time_point> since;
    if (!strSince.empty()) {
      since = ctl::ParseSince(strSince, now);
      if (!since)
        throw Failure(ExitCode::Usage,
                      Format(Tr("--since {1}: not a day, time or span"), {strSince}));
    }
    if (strTimelineFile.empty())
      throw Failure(ExitCode::Usage,
                    Tr("no timeline file: set HOME or XDG_STATE_HOME, or give --file"));
    Report(ctl::TimelineReport(strTimelineFile, since, now), bJson);
    return 0;
  }

  if (special == Special::Setup) {
    if (!strRouter.empty()) setup.router = strRouter;
    if (!strPasswordFile.empty()) setup.passwordFile = strPasswordFile;
    if (!strAdminPasswordFile.empty()) setup.adminPasswordFile = strAdminPasswordFile;
    setup.yes = bYes;
    Report(ctl::Setup(setup, router::ProcNetRoute(), preferences::TomlPreferences::DefaultPath()),
           bJson);
    return 0;
  }

  if (!strRouter.empty()) options.router = strRouter;
  if (!strPasswordFile.empty()) options.passwordFile = strPasswordFile;
  if (!strRootPasswordFile.empty()) options.rootPasswordFile = strRootPasswordFile;
  const preferences::TomlPreferences preferences(preferences::TomlPreferences::DefaultPath(),
                                                 ctl::kPreferencesDomain);
  const router::ProcNetRoute defaultRouter;
  ctl::Settings settings =
      ctl::ResolveSettings(options, ctl::ProcessEnvironment(), preferences, defaultRouter);

  for (const std::string& strWarning : settings.warnings) Say(strWarning);
  if (special == Special::Password) {
    Report(passwordCommand(settings), bJson);
    return 0;
  }
  // A person at a terminal may be asked to unlock the keyring; a script is not held up.
  ctl::AddKeyringPasswords(
      settings, IsTerminal(STDIN_FILENO) ? keyring::Unlock::Prompt : keyring::Unlock::Never);
  // Said before the router is asked anything; a slow source cannot hold the connection open.
  if (bNeedsRoot) settings.RootPassword(app.get_subcommands().front()->get_name());
  if (upload) upload = ctl::ReadUpload(strLocal);

  if (special == Special::Watch) {
    watch.interval = std::chrono::milliseconds(static_cast<long>(interval * 1000));
    watch.format = strFormat == "waybar"  ? ctl::WatchFormat::Waybar
                   : strFormat == "i3bar" ? ctl::WatchFormat::I3bar
                                          : ctl::WatchFormat::Json;
    ctl::Watch(settings, watch);
    return 0;
  }
  if (special == Special::Metrics) {
    // Metrics are written even without a router: zezar_up 0 is news too.
    std::optional<router::State> snapshot;
    std::optional<Failure> failure;
    try {
      RouterConnection router(settings);
      snapshot = ctl::TakeSnapshot(router, ctl::Detail::Quantities);
      ctl::AddMetricsDetail(*snapshot, router.client(), preferences);
    } catch (const Failure& error) {
      failure = error;
    }
    ctl::Write(stdout, ctl::Metrics(snapshot, settings.Where()));
    if (failure) throw *failure;
    return 0;
  }

  RouterConnection router(settings);
  Report(command(router), bJson);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  text::InitTranslations();
  Zastra::InitSignalHandler();
  try {
    return Run(argc, argv);
  } catch (const Failure& failure) {
    Say(failure.what());
    return static_cast<int>(failure.Code());
  } catch (const std::overflow_error&) {
    Say(text::Tr(ctl::kOverflowMessage));
    return static_cast<int>(ExitCode::RouterRefused);
  } catch (const std::exception& error) {
    Say(error.what());
    return static_cast<int>(ExitCode::Failure);
  }
}
