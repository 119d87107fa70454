#include "appkit/NSMenuExtraView.h"

#include "appkit/NSGraphicsContext.h"
#include "appkit/NSMenuExtra.h"

NSMenuExtraView::~NSMenuExtraView() {
  // An extra that still shows this view must not draw it after it is gone.
  if (m_pMenuExtra != nullptr && m_pMenuExtra->view() == this) m_pMenuExtra->setView(nullptr);
}

NSMenuExtraView* NSMenuExtraView::initWithFrameMenuExtra(NSRect i_frame,
                                                         NSMenuExtra* i_pMenuExtra) {
  m_frame = i_frame;
  m_pMenuExtra = i_pMenuExtra;
  return this;
}

void NSMenuExtraView::drawRect(NSRect) {}

void NSMenuExtraView::display(NSGraphicsContext& io_context) {
  m_bNeedsDisplay = false;  // before drawing: the drawing may mark the view again
  CurrentGraphicsContext current(io_context);
  drawRect(bounds());
}
