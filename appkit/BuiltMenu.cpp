#include "appkit/BuiltMenu.h"

#include <algorithm>

#include "appkit/NSMenu.h"
#include "text/Printable.h"

namespace appkit {

namespace {
bool IsCommand(const NSMenuItem& i_item) {
  return i_item.target() != nullptr && static_cast<bool>(i_item.action());
}
}  // namespace

int MenuIdentities::IdAt(const NSMenu& i_menu, int i_iIndex) const {
  const NSMenuItem& item = *i_menu.itemAtIndex(i_iIndex);
  if (IsCommand(item)) {
    const auto found = std::find(m_commands.begin(), m_commands.end(), item.action());
    if (found == m_commands.end()) return 0;
    return kFirstCommandId + static_cast<int>(found - m_commands.begin());
  }
  int position = 1;
  for (int i = 0; i < i_iIndex; ++i)
    if (!IsCommand(*i_menu.itemAtIndex(i))) ++position;
  return position;
}

std::vector<MenuEntry> MenuIdentities::Entries(const NSMenu& i_menu) {
  std::vector<MenuEntry> entries;
  for (int i = 0; i < i_menu.numberOfItems(); ++i) {
    const NSMenuItem& item = *i_menu.itemAtIndex(i);
    int id = IdAt(i_menu, i);
    if (id == 0) {
      m_commands.push_back(item.action());
      id = kFirstCommandId + static_cast<int>(m_commands.size()) - 1;
    }
    entries.push_back({id, text::Printable(item.title()), item.isEnabled(), item.tag()});
  }
  return entries;
}

NSMenuItem* MenuIdentities::Find(const NSMenu& i_menu, int i_iId) const {
  for (int i = 0; i < i_menu.numberOfItems(); ++i)
    if (IdAt(i_menu, i) == i_iId) return i_menu.itemAtIndex(i);
  return nullptr;
}

}  // namespace appkit
