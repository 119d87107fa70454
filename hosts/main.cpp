// zezar: shows a router's state in the desktop's status area or in a terminal.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "Demo.h"
#include "Monitor.h"
#include "hosts/KeyringPasswords.h"
#include "hosts/Log.h"
#include "hosts/tray/StatusNotifierItem.h"
#include "preferences/Folders.h"
#include "router/PasswordSource.h"
#include "runloop/SdEventRunLoop.h"
#include "terminal/TerminalHost.h"
#include "text/Translation.h"
#include "tray/TrayHost.h"

namespace {

constexpr const char* kUsage =
    "usage: zezar [--host tray|terminal|auto] [--preferences FILE] [--demo] [--snapshot FILE.png]\n"
    "             [--scale 1-8] [--light] [--once] [--resources DIR] [--help] [--version]\n";

constexpr const char* kHelp =
    "Shows the state of a router's monitor daemon: whether it is reachable, how many\n"
    "channels are online, and a bar graph of recent load; its menu lists the online\n"
    "channels' addresses and the router commands the login may run.\n"
    "\n"
    "  --host HOST         where to show it: tray (the desktop's status area), terminal\n"
    "                      (m opens the menu, q quits), or auto (default): the status area\n"
    "                      when one is on the session bus, else this terminal\n"
    "  --preferences FILE  the preferences file (default: $ZEZAR_PREFERENCES, else\n"
    "                      $XDG_CONFIG_HOME/zezar/preferences.toml)\n"
    "  --demo              watch a simulated router on this machine instead\n"
    "  --snapshot FILE     poll once, write the status icon as a PNG file, and end\n"
    "  --scale N           pixels per point, 1 to 8 (default 2)\n"
    "  --light             dark text, for a light panel (default: light text)\n"
    "  --once              in a terminal, show the first poll and end\n"
    "  --resources DIR     the status images' folder\n"
    "\n"
    "Exit status: 0 on a normal quit, 1 on a failure, 2 on a usage error.\n";

enum class Host { Tray, Terminal, Auto };

struct Options {
  Host host = Host::Auto;
  std::optional<std::filesystem::path> preferences;
  std::filesystem::path resources = zezar::Monitor::DefaultResources();
  bool demo = false;
  std::optional<std::filesystem::path> snapshot;
  zezar::TerminalHost::Options terminal;
};

[[noreturn]] void UsageError(const std::string& i_strWhat) {
  zezar::Log(i_strWhat);
  std::fputs(kUsage, stderr);
  std::exit(2);
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) UsageError(option + " needs a value");
      return argv[++i];
    };
    if (option == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      std::exit(0);
    } else if (option == "--version") {
      std::printf("zezar %s\n", ZEZAR_VERSION);
      std::exit(0);
    } else if (option == "--host") {
      const std::string host = value();
      if (host == "tray") {
        options.host = Host::Tray;
      } else if (host == "terminal") {
        options.host = Host::Terminal;
      } else if (host == "auto") {
        options.host = Host::Auto;
      } else {
        UsageError("unknown host " + host + " (tray, terminal or auto)");
      }
    } else if (option == "--preferences") {
      options.preferences = value();
    } else if (option == "--resources") {
      options.resources = value();
    } else if (option == "--snapshot") {
      options.snapshot = value();
    } else if (option == "--demo") {
      options.demo = true;
    } else if (option == "--scale") {
      const std::string text = value();
      char* pEnd = nullptr;
      const double scale = std::strtod(text.c_str(), &pEnd);
      if (pEnd == text.c_str() || *pEnd != '\0' || !(scale >= 1 && scale <= 8))
        UsageError("--scale takes a number from 1 to 8, not " + text);
      options.terminal.scale = scale;
    } else if (option == "--light") {
      options.terminal.light = true;
    } else if (option == "--once") {
      options.terminal.once = true;
    } else {
      UsageError("unknown option " + option);
    }
  }
  if (options.demo && options.preferences) UsageError("--demo brings its own preferences");
  return options;
}

int Run(const Options& i_options) {
  // The simulator's process starts before anything else this process opens.
  std::unique_ptr<zezar::Demo> demo;
  if (i_options.demo) demo = std::make_unique<zezar::Demo>();
  const std::filesystem::path preferences =
      demo ? demo->Preferences()
           : i_options.preferences.value_or(preferences::TomlPreferences::DefaultPath());

  runloop::SdEventRunLoop loop;
  zezar::Monitor monitor(loop, preferences, i_options.resources,
                         demo ? demo->StateFolder() : preferences::StateFolder());
  // Preferences without a password ask the keyring, without waiting for it.
  zezar::KeyringPasswords keyring(loop.Event(), [&] {
    monitor.host().OpenMenu();
    if (i_options.snapshot) loop.Exit(0);
  });
  const router::PasswordSourceInstallation installedKeyring(keyring);
  if (i_options.snapshot) {
    monitor.Start();
    // One picture, of the login the keyring's answer brings: it comes within the lookup's bound.
    if (keyring.Pending()) loop.Run();
    const RGBA text = i_options.terminal.light ? RGBA{0, 0, 0, 1} : RGBA{1, 1, 1, 1};
    if (!drawing::WritePng(monitor.host().Render(i_options.terminal.scale, text),
                           *i_options.snapshot)) {
      zezar::Log("cannot write " + i_options.snapshot->string());
      return 1;
    }
    return 0;
  }
  Host host = i_options.host;
  if (host == Host::Auto) {
    if (zezar::StatusNotifierItem::WatcherPresent()) {
      host = Host::Tray;
    } else if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
      host = Host::Terminal;
    } else {
      zezar::Log(
          "no status area on the session bus and no terminal to show the router in; "
          "try --host tray to wait for a status area");
      return 1;
    }
  }
  if (host == Host::Tray) {
    zezar::TrayHost tray(loop, monitor,
                         {.light = i_options.terminal.light, .preferences = preferences});
    return tray.Run();
  }
  zezar::TerminalHost terminal(loop, monitor, i_options.terminal);
  return terminal.Run();
}

}  // namespace

int main(int argc, char** argv) {
  text::InitTranslations();
  const Options options = Parse(argc, argv);
  try {
    return Run(options);
  } catch (const std::exception& error) {
    zezar::Log(error.what());
  } catch (...) {
    zezar::Log("an unknown failure");
  }
  return 1;
}
