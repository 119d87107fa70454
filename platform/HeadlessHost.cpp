#include "platform/HeadlessHost.h"

#include "platform/NSGraphicsContext.h"
#include "platform/NSMenu.h"
#include "platform/NSMenuExtraView.h"

namespace platform {

HeadlessHost::HeadlessHost(Services i_services, NSRect i_statusItemFrame)
    : m_services(i_services), m_statusItemFrame(i_statusItemFrame) {
  RunLoop::SetCurrent(&m_services.runLoop);
  InstallPreferences(m_services.preferences);
  InstallDefaultRouter(m_services.defaultRouter);
  m_services.runLoop.SetAfterDispatch([this] { AfterEvent(); });
}

HeadlessHost::~HeadlessHost() {
  Unload();
  m_services.runLoop.SetAfterDispatch(nullptr);
  InstallDefaultRouter(nullptr);
  InstallPreferences(nullptr);
  RunLoop::SetCurrent(nullptr);
}

NSMenuExtra* HeadlessHost::Adopt(std::unique_ptr<NSMenuExtra> i_extra, NSBundle& io_bundle) {
  Unload();
  m_extra = std::move(i_extra);
  if (m_extra->initWithBundle(io_bundle) == nullptr) {
    m_extra.reset();
    return nullptr;
  }
  AfterEvent();
  return m_extra.get();
}

void HeadlessHost::AfterEvent() {
  DrawIfNeeded();
  if (m_services.preferences != nullptr) {
    std::optional<std::string> problem = m_services.preferences->Problem();
    if (problem && problem != m_lastProblem) m_shown.push_back(*problem);
    m_lastProblem = std::move(problem);
  }
}

bool HeadlessHost::DrawIfNeeded() {
  if (!m_extra) return false;
  NSMenuExtraView* pView = m_extra->view();
  if (pView == nullptr || !pView->needsDisplay()) return false;
  NSGraphicsContext context(m_services.canvas);
  pView->display(context);
  ++m_iDraws;
  if (m_onDraw) m_onDraw();
  return true;
}

NSMenu* HeadlessHost::OpenMenu() {
  if (!m_extra) return nullptr;
  m_pOpenMenu = m_extra->menu();
  AfterEvent();
  return m_pOpenMenu;
}

bool HeadlessHost::Choose(const std::string& i_strTitle) {
  NSMenu* pMenu = OpenMenu();
  if (pMenu == nullptr) return false;
  for (int i = 0; i < pMenu->numberOfItems(); ++i) {
    const NSMenuItem* pItem = pMenu->itemAtIndex(i);
    if (pItem->title() == i_strTitle && pItem->isEnabled()) return ChooseOpenItem(i);
  }
  return false;
}

bool HeadlessHost::ChooseOpenItem(int i_iIndex) {
  if (!m_extra || m_pOpenMenu == nullptr) return false;
  NSMenuItem* pItem = m_pOpenMenu->itemAtIndex(i_iIndex);
  if (pItem == nullptr || !pItem->isEnabled()) return false;
  pItem->performAction();  // may rebuild the menu: pItem is not used afterwards
  AfterEvent();
  return true;
}

void HeadlessHost::Unload() {
  if (!m_extra) return;
  m_extra->willUnload();
  m_extra->unload();
  m_pOpenMenu = nullptr;
  m_extra.reset();
}

}  // namespace platform
