#include "platform/NSColor.h"

#include "platform/NSGraphicsContext.h"

void NSColor::set() const {
  if (NSGraphicsContext* pContext = NSGraphicsContext::currentContext()) {
    pContext->graphicsPort()->SetColor(m_rgba);
  }
}
