#include "appkit/MenuExtraHost.h"

#include <typeinfo>

#include "appkit/NSGraphicsContext.h"
#include "appkit/NSMenu.h"
#include "appkit/NSMenuExtraView.h"
#include "text/Printable.h"

namespace appkit {

MenuExtraHost::MenuExtraHost(Services i_services, NSRect i_statusItemFrame)
    : m_services(std::move(i_services)), m_statusItemFrame(i_statusItemFrame) {
  runloop::RunLoop::SetCurrent(&m_services.runLoop);
  preferences::InstallPreferences(&m_services.preferences);
  m_services.runLoop.SetFailureHandler(
      [this](std::exception_ptr i_failure) { Failed("tick", std::move(i_failure)); });
  m_services.runLoop.SetAfterDispatch([this] { AfterEvent(); });
}

MenuExtraHost::~MenuExtraHost() {
  Unload();
  m_services.runLoop.SetAfterDispatch(nullptr);
  m_services.runLoop.SetFailureHandler(nullptr);
  preferences::InstallPreferences(nullptr);
  runloop::RunLoop::SetCurrent(nullptr);
}

NSMenuExtra* MenuExtraHost::Adopt(std::unique_ptr<NSMenuExtra> i_extra, NSBundle& io_bundle) {
  Unload();
  m_extra = std::move(i_extra);
  try {
    // The first tick runs inside: its failures meet the policy through the run loop.
    if (m_extra->initWithBundle(io_bundle) == nullptr) {
      m_extra.reset();
      return nullptr;
    }
  } catch (...) {
    Unload();  // an extra that could not start is not left half-running
    throw;
  }
  AfterEvent();
  return m_extra.get();
}

template <class F>
void MenuExtraHost::Guarded(const char* i_pWhat, F&& i_call) {
  try {
    i_call();
  } catch (...) {
    Failed(i_pWhat, std::current_exception());
  }
}

void MenuExtraHost::Failed(const char* i_pWhat, std::exception_ptr i_failure) {
  std::string strKind;
  std::string strWhat;
  try {
    std::rethrow_exception(i_failure);
  } catch (const std::exception& error) {
    strKind = typeid(error).name();
    strWhat = error.what();
  } catch (...) {
    strKind = "unknown";
    strWhat = "an unknown failure";
  }
  if (m_failureKinds.insert(strKind + '\n' + strWhat).second && m_services.log)
    m_services.log(std::string(i_pWhat) + ": " + text::Printable(strWhat) + ", ignoring");
  if (m_services.recover) m_services.recover();
  if (m_extra && m_extra->view() != nullptr) m_extra->view()->setNeedsDisplay(true);
}

drawing::Pixmap MenuExtraHost::Render(double i_scale, const RGBA& i_textColor) const {
  return CairoCanvas::Render(m_drawing, {.size = m_statusItemFrame.size,
                                         .scale = i_scale,
                                         .textColor = i_textColor,
                                         .textCache = &m_textCaches[i_scale]});
}

void MenuExtraHost::OpenMenu() {
  if (!m_extra) return;
  Guarded("menu", [&] { m_extra->menu(); });
  AfterEvent();
}

void MenuExtraHost::Perform(const char* i_pWhat, const std::function<void()>& i_call) {
  if (!m_extra) return;
  Guarded(i_pWhat, i_call);
  AfterEvent();
}

bool MenuExtraHost::Choose(int i_iId) {
  if (!m_extra || m_extra->builtMenu() == nullptr) return false;
  NSMenuItem* pItem = m_identities.Find(*m_extra->builtMenu(), i_iId);
  if (pItem == nullptr || !pItem->isEnabled()) return false;
  Guarded("menu action", [&] { pItem->performAction(); });  // may rebuild: pItem is gone after
  AfterEvent();
  return true;
}

void MenuExtraHost::AfterEvent() {
  if (!m_extra) return;
  Changes changes;
  DrawIfNeeded(changes);

  std::vector<MenuEntry> entries;
  if (const NSMenu* pMenu = m_extra->builtMenu()) entries = m_identities.Entries(*pMenu);
  if (entries != m_menu.entries) {
    m_menu.entries = std::move(entries);
    ++m_menu.revision;
    changes.menu = true;
  }

  std::optional<std::string> problem = m_services.preferences.Problem();
  if (problem) problem = text::Printable(*problem);
  if (problem != m_problem) {
    m_problem = std::move(problem);
    changes.problem = true;
  }

  if ((changes.drawn || changes.menu || changes.problem) && m_onChange) m_onChange(changes);
}

void MenuExtraHost::DrawIfNeeded(Changes& io_changes) {
  NSMenuExtraView* pView = m_extra->view();
  if (pView == nullptr || !pView->needsDisplay()) return;
  drawing::DisplayList drawing;
  NSGraphicsContext context(drawing);
  Guarded("drawing", [&] { pView->display(context); });
  ++m_iDraws;
  io_changes.drawn = true;
  if (drawing == m_drawing) return;
  m_drawing = std::move(drawing);
  io_changes.drawing = true;
}

void MenuExtraHost::Unload() {
  if (!m_extra) return;
  Guarded("unload", [&] {
    m_extra->willUnload();
    m_extra->unload();
  });
  m_extra.reset();
}

}  // namespace appkit
