#include "TerminalHost.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "TerminalPicture.h"
#include "hosts/Log.h"
#include "runloop/SdCheck.h"
#include "text/Translation.h"

namespace zezar {

namespace {

constexpr std::size_t kMessagesShown = 3;

// Keys arrive one at a time, unechoed, with "q" as the quit character; the terminal is
// restored afterwards.
class RawKeys {
 public:
  RawKeys() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &m_saved) != 0) return;
    termios raw = m_saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_lflag |= ISIG;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    raw.c_cc[VQUIT] = 'q';
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

}  // namespace

TerminalHost::TerminalHost(runloop::SdEventRunLoop& io_loop, Monitor& io_monitor,
                           const Options& i_options)
    : m_loop(io_loop),
      m_monitor(io_monitor),
      m_options(i_options),
      m_program(io_loop.Event(), nullptr, io_monitor.PreferencesPath(),
                {.quit = [this] { m_loop.Exit(0); },
                 .problem = [](const std::string& i_strProblem) { Log(i_strProblem); }}) {}

int TerminalHost::Run() {
  m_loop.ExitOnSignals({SIGINT, SIGTERM, SIGHUP, SIGQUIT});
  SetLogSink([this](const std::string& i_strLine) {
    m_messages.push_back(i_strLine);
    if (m_messages.size() > kMessagesShown) m_messages.pop_front();
  });
  struct SinkReset {
    ~SinkReset() { SetLogSink(nullptr); }
  } sinkReset;

  if (m_options.once) {
    m_monitor.Start();
    Show();
    m_monitor.Stop();
    return 0;
  }

  RawKeys keys;
  sd_event_source* pKeys = nullptr;
  const int r =
      sd_event_add_io(m_loop.Event(), &pKeys, STDIN_FILENO, EPOLLIN, &TerminalHost::OnKey, this);
  const runloop::SdEventSourcePtr keySource(pKeys);
  if (r == -EPERM) {
    // A file or /dev/null, which epoll refuses: it never blocks, so its keys are read at once,
    // and its end is the end of input.
    m_loop.Defer([this] {
      char key = 0;
      while (::read(STDIN_FILENO, &key, 1) == 1) Key(key);
      m_loop.Exit(0);
    });
  } else {
    runloop::Check(r, "sd_event_add_io stdin");
    sd_event_source_set_description(pKeys, "keys");
  }

  m_monitor.SetOnChange([this](const Monitor::Update&) { Show(); });
  m_monitor.Start();
  m_monitor.WatchPreferences(m_loop.Event());
  m_monitor.WatchSleep(m_loop.Event());
  Show();
  const int code = m_loop.Run();
  m_monitor.SetOnChange(nullptr);
  m_monitor.Stop();
  std::fputs("\n", stdout);
  return code;
}

// Exceptions never cross into sd-event.
int TerminalHost::OnKey(sd_event_source*, int i_fd, uint32_t, void* i_pUserData) {
  auto* pHost = static_cast<TerminalHost*>(i_pUserData);
  char key = 0;
  const ssize_t got = ::read(i_fd, &key, 1);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return 0;  // no key after all; wait on
  try {
    if (got <= 0) {
      pHost->m_loop.Exit(0);  // end of input
    } else {
      pHost->Key(key);
    }
  } catch (const std::exception& error) {
    Log(std::string("keys: ") + error.what() + ", ignoring");
  } catch (...) {
    Log("keys: an unknown failure, ignoring");
  }
  return 0;
}

void TerminalHost::Key(char i_key) {
  appkit::MenuExtraHost& host = m_monitor.host();
  if (i_key == 'q') {  // "q" from a pipe; on a terminal it is a signal
    m_loop.Exit(0);
    return;
  }
  if (i_key == 'm' || i_key == '\n' || i_key == ' ') {
    m_bMenuOpen = true;  // before opening: the drawing it causes shows the menu
    host.OpenMenu();
  } else if (m_bMenuOpen && i_key >= '1' && i_key <= '9') {
    m_bMenuOpen = false;
    const auto numbered = Numbered();
    const auto chosen = static_cast<std::size_t>(i_key - '1');
    if (chosen < numbered.size() && !m_program.Choose(numbered[chosen].first))
      m_monitor.Choose(numbered[chosen].first);
  } else {
    m_bMenuOpen = false;
  }
  Show();
}

std::vector<std::pair<int, std::string>> TerminalHost::Numbered() const {
  std::vector<std::pair<int, std::string>> numbered;
  for (const appkit::MenuEntry& entry : m_monitor.host().Menu().entries)
    if (entry.enabled) numbered.emplace_back(entry.id, entry.title);
  for (const ProgramMenu::Entry& entry : ProgramMenu::Entries())
    if (!entry.separator) numbered.emplace_back(entry.id, entry.title);
  return numbered;
}

RGBA TerminalHost::Panel() const {
  return m_options.light ? RGBA{0.93, 0.93, 0.93, 1} : RGBA{0.16, 0.16, 0.16, 1};
}

RGBA TerminalHost::TextColor() const {
  return m_options.light ? RGBA{0, 0, 0, 1} : RGBA{1, 1, 1, 1};
}

void TerminalHost::Show() {
  const appkit::MenuExtraHost& host = m_monitor.host();
  std::string strScreen = m_options.once ? "" : "\x1b[H\x1b[J";
  strScreen += TerminalPicture(host.Render(m_options.scale, TextColor()), Panel());
  const std::string strStatusLine = m_monitor.StatusLine();
  strScreen += strStatusLine + "\n";
  if (host.PreferencesProblem())
    strScreen += text::Format(text::Tr("Preferences: {1}"), {*host.PreferencesProblem()}) + "\n";
  for (const std::string& message : m_messages)
    if (message != strStatusLine) strScreen += message + "\n";  // the reason, logged, is shown
  if (m_bMenuOpen) {
    // Numbered as Numbered() counts.
    int number = 0;
    for (const appkit::MenuEntry& entry : host.Menu().entries) {
      strScreen += entry.enabled ? "  " + std::to_string(++number) + "  " : "     ";
      strScreen += entry.title + "\n";
    }
    for (const ProgramMenu::Entry& entry : ProgramMenu::Entries()) {
      strScreen += entry.separator ? "     ─────\n"
                                   : "  " + std::to_string(++number) + "  " + entry.title + "\n";
    }
  } else if (!m_options.once) {
    // TRANSLATORS: the keys of the terminal's display; the letters stay "m" and "q".
    strScreen += std::string(text::Tr("m: menu   q: quit")) + "\n";
  }
  std::fputs(strScreen.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace zezar
