#pragma once

// A menu: an ordered list of items the menu owns.

#include <memory>
#include <string>
#include <vector>

#include "appkit/NSMenuItem.h"

class NSMenu {
 public:
  explicit NSMenu(std::string i_strTitle) : m_strTitle(std::move(i_strTitle)) {}

  const std::string& title() const { return m_strTitle; }
  // The extra switches automatic enabling off and sets each item's state itself.
  void setAutoenablesItems(bool i_bAuto) { m_bAutoenables = i_bAuto; }
  bool autoenablesItems() const { return m_bAutoenables; }

  int numberOfItems() const { return static_cast<int>(m_items.size()); }
  // Appends an item and returns it; the menu owns it.
  NSMenuItem* addItemWithTitleActionKeyEquivalent(std::string i_strTitle,
                                                  NSMenuItem::Action i_action,
                                                  std::string i_strKeyEquivalent);
  void removeItemAtIndex(int i_iIndex);         // an index out of range removes nothing
  NSMenuItem* itemAtIndex(int i_iIndex) const;  // null out of range

 private:
  std::string m_strTitle;
  bool m_bAutoenables = true;
  std::vector<std::unique_ptr<NSMenuItem>> m_items;
};
