#include "appkit/NSMenu.h"

NSMenuItem* NSMenu::addItemWithTitleActionKeyEquivalent(std::string i_strTitle,
                                                        NSMenuItem::Action i_action,
                                                        std::string i_strKeyEquivalent) {
  m_items.push_back(std::make_unique<NSMenuItem>(std::move(i_strTitle), std::move(i_action),
                                                 std::move(i_strKeyEquivalent)));
  return m_items.back().get();
}

void NSMenu::removeItemAtIndex(int i_iIndex) {
  if (i_iIndex < 0 || i_iIndex >= numberOfItems()) return;
  m_items.erase(m_items.begin() + i_iIndex);
}

NSMenuItem* NSMenu::itemAtIndex(int i_iIndex) const {
  if (i_iIndex < 0 || i_iIndex >= numberOfItems()) return nullptr;
  return m_items[static_cast<std::size_t>(i_iIndex)].get();
}
