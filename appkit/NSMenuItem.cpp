#include "appkit/NSMenuItem.h"

void NSMenuItem::performAction() {
  NSObject* const pTarget = m_pTarget;
  if (pTarget == nullptr || !m_action) return;
  const Action action = m_action;
  action.Send(*pTarget, this);
}
