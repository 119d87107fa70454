#include "appkit/NSBezierPath.h"

#include "appkit/NSGraphicsContext.h"

void NSBezierPath::stroke() const {
  if (NSGraphicsContext* pContext = NSGraphicsContext::currentContext()) {
    pContext->graphicsPort()->StrokePath(m_elements, m_lineWidth);
  }
}
