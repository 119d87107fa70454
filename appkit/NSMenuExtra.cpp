#include "appkit/NSMenuExtra.h"

#include "appkit/NSMenuExtraView.h"

NSMenuExtra::NSMenuExtra(NSRect i_statusItemFrame) : m_statusItemFrame(i_statusItemFrame) {}

NSMenuExtra::~NSMenuExtra() {
  m_pView = nullptr;  // the default view's destructor looks for itself here
}

NSMenuExtra* NSMenuExtra::initWithBundle(NSBundle& io_bundle) {
  m_pBundle = &io_bundle;
  m_defaultView = std::make_unique<NSMenuExtraView>();
  m_defaultView->initWithFrameMenuExtra(m_statusItemFrame, this);
  m_pView = m_defaultView.get();
  return this;
}
