#pragma once

// The status item in a terminal: its own drawing as 24-bit-colour half blocks, the current
// preferences problem and recent messages under it, and its menu on "m" (or Enter): the
// router's items, then Preferences… and Quit; a number chooses an item, any other key closes
// it. "q", end of input, SIGINT, SIGTERM and SIGHUP quit.
//
// While it runs, "q" is the terminal's quit character, so the key arrives as a signal and takes
// effect within moments even while a tick waits on a slow router; other keys wait for the tick.

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "Monitor.h"
#include "ProgramMenu.h"
#include "runloop/SdEventRunLoop.h"

namespace zezar {

class TerminalHost {
 public:
  struct Options {
    double scale = 2.0;  // pixels per point
    bool light = false;  // a light panel with dark text, else a dark one with light text
    bool once = false;   // draw the first poll's picture and end
  };

  TerminalHost(runloop::SdEventRunLoop& io_loop, Monitor& io_monitor, const Options& i_options);

  // Runs until the user quits; returns the exit code.
  int Run();

 private:
  static int OnKey(sd_event_source* i_pSource, int i_fd, uint32_t i_events, void* i_pUserData);
  void Key(char i_key);
  void Show();
  // The numbered entries of the open menu: the router's enabled items, then the program's.
  std::vector<std::pair<int, std::string>> Numbered() const;
  RGBA Panel() const;
  RGBA TextColor() const;

  runloop::SdEventRunLoop& m_loop;
  Monitor& m_monitor;
  Options m_options;
  ProgramMenu m_program;
  bool m_bMenuOpen = false;
  std::deque<std::string> m_messages;  // the last few log lines
};

}  // namespace zezar
