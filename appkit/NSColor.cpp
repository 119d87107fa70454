#include "appkit/NSColor.h"

#include "appkit/NSGraphicsContext.h"

void NSColor::set() const {
  if (NSGraphicsContext* pContext = NSGraphicsContext::currentContext()) {
    pContext->graphicsPort()->SetColor(m_rgba);
  }
}
