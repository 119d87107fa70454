// zezar-terminal: shows the router status item in a terminal. The picture is the status
// item's own drawing; the menu opens with "m" (or Enter), an item is chosen by its number,
// and "q" quits.
//
//   zezar-terminal [--preferences FILE] [--resources DIR] [--scale N] [--light] [--once]
//
// Preferences come from $ZEZAR_PREFERENCES or ~/.config/zezar/preferences.toml unless given.

#include <systemd/sd-event.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "hosts/terminal/TerminalPicture.h"
#include "menuextra/menubarThingy.h"
#include "platform/CairoCanvas.h"
#include "platform/HeadlessHost.h"
#include "platform/NSBundle.h"
#include "platform/NSMenu.h"
#include "platform/SdEventRunLoop.h"
#include "platform/TomlPreferences.h"

namespace {

const std::string kBundleIdentifier = "org.zezar.menuextra";

void Log(const std::string& i_strMessage) {
  std::fprintf(stderr, "zezar-terminal: %s\n", i_strMessage.c_str());
}

struct Options {
  std::filesystem::path preferences = platform::TomlPreferences::DefaultPath();
  std::filesystem::path resources = ZEZAR_RESOURCE_DIR;
  double scale = 2.0;
  bool light = false;
  bool once = false;
};

std::optional<Options> Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool bHasValue = i + 1 < argc;
    if (option == "--once") {
      options.once = true;
    } else if (option == "--light") {
      options.light = true;
    } else if (option == "--preferences" && bHasValue) {
      options.preferences = argv[++i];
    } else if (option == "--resources" && bHasValue) {
      options.resources = argv[++i];
    } else if (option == "--scale" && bHasValue) {
      options.scale = std::strtod(argv[++i], nullptr);
      if (options.scale < 1 || options.scale > 4) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  return options;
}

// Keys arrive one at a time, unechoed, while the host runs; the terminal is restored after.
class RawKeys {
 public:
  RawKeys() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &m_saved) != 0) return;
    termios raw = m_saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    m_bActive = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~RawKeys() {
    if (m_bActive) tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
  }
  RawKeys(const RawKeys&) = delete;
  RawKeys& operator=(const RawKeys&) = delete;

 private:
  termios m_saved{};
  bool m_bActive = false;
};

class TerminalHost {
 public:
  explicit TerminalHost(const Options& i_options)
      : m_options(i_options),
        m_canvas(CairoCanvas::Options{
            .size = {22, 22},
            .scale = i_options.scale,
            .textScale = 12.0,
            .textColor = Panel().red > 0.5 ? RGBA{0, 0, 0, 1} : RGBA{1, 1, 1, 1}}),
        m_preferences(i_options.preferences, kBundleIdentifier),
        m_bundle(kBundleIdentifier, i_options.resources),
        m_host(platform::HeadlessHost::Services{m_loop, m_canvas, &m_preferences, nullptr}) {
    m_host.SetOnDraw([this] { Show(); });
  }

  int Run() {
    m_loop.ExitOnSignals({SIGINT, SIGTERM});
    sd_event_source* pKeys = nullptr;
    if (!m_options.once) {
      const int r = sd_event_add_io(m_loop.Event(), &pKeys, STDIN_FILENO, EPOLLIN,
                                    &TerminalHost::OnKey, this);
      if (r < 0) {
        Log(std::string("sd_event_add_io stdin: ") + std::strerror(-r) + ", ignoring keys");
      } else {
        sd_event_source_set_description(pKeys, "keys");
      }
    }
    if (m_host.Load<ZezarIZIDezev>(m_bundle) == nullptr) {
      Log("the status item did not start");
      return 1;
    }
    int code = 0;
    if (!m_options.once) code = m_loop.Run();
    m_host.Unload();
    sd_event_source_disable_unref(pKeys);
    return code;
  }

 private:
  RGBA Panel() const {
    return m_options.light ? RGBA{0.93, 0.93, 0.93, 1} : RGBA{0.16, 0.16, 0.16, 1};
  }

  // Exceptions never cross into sd-event.
  static int OnKey(sd_event_source*, int, uint32_t, void* i_pUserData) {
    auto* pHost = static_cast<TerminalHost*>(i_pUserData);
    try {
      pHost->Key();
    } catch (const std::exception& error) {
      Log(error.what());
      pHost->m_loop.Exit(1);
    }
    return 0;
  }

  void Key() {
    char key = 0;
    const ssize_t n = ::read(STDIN_FILENO, &key, 1);
    if (n <= 0 || key == 'q') {  // end of input quits too
      m_loop.Exit(0);
      return;
    }
    const int draws = m_host.Draws();
    if (key == 'm' || key == '\n' || key == ' ') {
      m_bMenuOpen = true;  // before opening: the drawing it causes shows the menu
      if (m_host.OpenMenu() == nullptr) m_bMenuOpen = false;
    } else if (m_bMenuOpen && key >= '1' && key <= '9') {
      m_bMenuOpen = false;
      m_host.ChooseOpenItem(key - '1');
    } else {
      m_bMenuOpen = false;
    }
    if (m_host.Draws() == draws) Show();  // a drawing has shown the screen already
  }

  void Show() {
    std::string strScreen = m_options.once ? "" : "\x1b[H\x1b[J";
    strScreen += terminal::Picture(m_canvas, Panel());
    for (const std::string& message : m_host.Shown()) strScreen += "preferences: " + message + "\n";
    const auto* pController = static_cast<ZezarIZIDezev*>(m_host.extra());
    if (pController != nullptr && pController->builtMenu() != nullptr) {
      const NSMenu& menu = *pController->builtMenu();
      if (m_bMenuOpen) {
        strScreen += menu.numberOfItems() == 0 ? "(the menu is empty)\n" : "";
        for (int i = 0; i < menu.numberOfItems(); ++i) {
          const NSMenuItem& item = *menu.itemAtIndex(i);
          strScreen += (item.isEnabled() ? "  " + std::to_string(i + 1) + "  " : "     ") +
                       item.title() + "\n";
        }
      } else if (!m_options.once) {
        strScreen += "m: menu   q: quit\n";
      }
    }
    std::fputs(strScreen.c_str(), stdout);
    std::fflush(stdout);
  }

  Options m_options;
  platform::SdEventRunLoop m_loop;
  CairoCanvas m_canvas;
  platform::TomlPreferences m_preferences;
  NSBundle m_bundle;
  platform::HeadlessHost m_host;
  bool m_bMenuOpen = false;
};

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = Parse(argc, argv);
  if (!options) {
    Log("usage: zezar-terminal [--preferences FILE] [--resources DIR] [--scale 1-4] [--light] "
        "[--once]");
    return 2;
  }
  try {
    RawKeys keys;
    TerminalHost host(*options);
    return host.Run();
  } catch (const std::exception& error) {
    Log(error.what());
    return 1;
  }
}
