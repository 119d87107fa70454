#pragma once

// The menu as a host shows it: entries with identities that survive rebuilds, so that a click
// on what the user saw reaches the item that stands for it now.
//
// A command (an item with a target) keeps one id for the host's life, however the menu around
// it changes; the other items (the channels' addresses) are numbered by position.

#include <cstdint>
#include <string>
#include <vector>

#include "appkit/NSMenuItem.h"

class NSMenu;

namespace appkit {

struct MenuEntry {
  int id;
  std::string title;  // UTF-8 with control characters replaced: safe to show anywhere
  bool enabled;
  int tag = 0;  // the item's
  bool operator==(const MenuEntry&) const = default;
};

struct BuiltMenu {
  uint32_t revision = 0;  // changes exactly when the entries do
  std::vector<MenuEntry> entries;
};

class MenuIdentities {
 public:
  static constexpr int kFirstCommandId = 1000;  // the items before it are numbered from 1

  // The menu's entries, giving each command it has not seen before an id of its own.
  std::vector<MenuEntry> Entries(const NSMenu& i_menu);
  // The item with this id in the menu as it is now, or null.
  NSMenuItem* Find(const NSMenu& i_menu, int i_iId) const;

 private:
  // The id of the item at the index, or 0 for a command not seen yet.
  int IdAt(const NSMenu& i_menu, int i_iIndex) const;

  std::vector<NSMenuItem::Action> m_commands;  // the command with id kFirstCommandId + index
};

}  // namespace appkit
