#include "appkit/NSGraphicsContext.h"

namespace {
NSGraphicsContext* g_pCurrent = nullptr;  // set by the host around drawing
}  // namespace

NSGraphicsContext* NSGraphicsContext::currentContext() { return g_pCurrent; }

void NSGraphicsContext::setCurrentContext(NSGraphicsContext* i_pContext) {
  g_pCurrent = i_pContext;
}

void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size,
                         CGTextEncoding textEncoding) {
  if (c != nullptr && name != nullptr) c->SelectFont(name, size, textEncoding);
}

void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* string,
                              std::size_t length) {
  if (c != nullptr && string != nullptr) c->ShowText({x, y}, std::string_view(string, length));
}
