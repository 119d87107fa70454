#pragma once

// The status item in the desktop's status area: a StatusNotifierItem with a dbusmenu menu on
// the session bus, on the same sd-event loop as the poll timer, in one thread.
//
// The bus has priority over the timer, and is served between the exchanges of a poll too, so
// a panel's call waits at most for the one exchange in progress (the client's one-second
// bound), however long the router takes over a whole poll. Opening the menu answers from the
// menu as built and polls afterwards; a click is answered and then acted on; each change of
// the pictures, the tooltip or the menu is announced once.

#include <filesystem>
#include <memory>
#include <string>

#include "Monitor.h"
#include "Notifier.h"
#include "ProgramMenu.h"
#include "hosts/tray/StatusNotifierItem.h"
#include "hosts/tray/DbusMenu.h"
#include "hosts/tray/NotificationPolicy.h"
#include "runloop/SdBus.h"
#include "runloop/SdEventRunLoop.h"

namespace zezar {

class TrayHost {
 public:
  struct Options {
    bool light = false;  // dark text for a light panel; light text by default
    // The router it watches: a second tray for the same preferences file steps aside.
    std::filesystem::path preferences;
  };

  // The id of the disabled line above the menu's items that says since when the router is in
  // the state it is in; with it the menu is never empty.
  static constexpr int32_t kStatusLineId = 999;

  TrayHost(runloop::SdEventRunLoop& io_loop, Monitor& io_monitor, const Options& i_options);
  ~TrayHost();

  // Connects to the session bus and shows the item until Quit, SIGINT, SIGTERM or SIGHUP; returns
  // the exit code. Throws std::runtime_error with one clear line when it cannot start. When
  // another tray shows the router of the same preferences file (the autostart entry and the
  // user unit both started), it says so and returns 0 at once.
  int Run();

 private:
  void Show(const Monitor::Update& i_update);
  std::vector<DbusMenu::Item> MenuItems() const;
  void Choose(int32_t i_iId);  // an item of the router's or of the program's
  void PollSoon();
  void TellNoStatusArea();
  static void ServeBus(void* i_pTray);  // between two exchanges of a poll
  static int OnDisconnected(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);

  runloop::SdEventRunLoop& m_loop;
  Monitor& m_monitor;
  Options m_options;
  ZezarIZIDezev* m_pController = nullptr;
  runloop::SdBusPtr m_bus;
  runloop::SdBusSlotPtr m_disconnected;
  std::unique_ptr<StatusNotifierItem> m_item;
  std::unique_ptr<DbusMenu> m_menu;
  std::unique_ptr<Notifier> m_notifier;  // unless Notifications = false
  std::unique_ptr<Notifier> m_statusAreaNotifier;  // once there has been none for a while
  std::unique_ptr<ProgramMenu> m_program;
  std::optional<std::string> m_openProblem;  // until the user chooses from the menu again
  NotificationPolicy m_notices;
  std::optional<std::string> m_toldProblem;  // the preferences problem last logged
  std::string m_strStatusLine;               // the menu's first line, as the last change left it
  struct WordsFrom {                         // the words shown, and what they were put together from
    router::State sample;
    std::string statusLine;
    std::optional<std::string> problem;
    StatusNotifierItem::Words words;
  };
  std::optional<WordsFrom> m_wordsFrom;
  bool m_bPollPending = false;  // several openings in a row make one poll
};

}  // namespace zezar
