#pragma once

// The context a view draws into. The host makes one current around each drawRect.

#include "drawing/Canvas.h"

using CGContextRef = Canvas*;

class NSGraphicsContext {
 public:
  explicit NSGraphicsContext(Canvas& io_canvas) : m_canvas(io_canvas) {}

  // The context being drawn into, or null outside the host's drawing. Process-wide, like the
  // one thread's drawing state it stands for; only the host sets it.
  static NSGraphicsContext* currentContext();
  static void setCurrentContext(NSGraphicsContext* i_pContext);

  CGContextRef graphicsPort() const { return &m_canvas; }

 private:
  Canvas& m_canvas;
};

// Makes a context current for a scope and restores the previous one.
class CurrentGraphicsContext {
 public:
  explicit CurrentGraphicsContext(NSGraphicsContext& i_context)
      : m_pPrevious(NSGraphicsContext::currentContext()) {
    NSGraphicsContext::setCurrentContext(&i_context);
  }
  ~CurrentGraphicsContext() { NSGraphicsContext::setCurrentContext(m_pPrevious); }
  CurrentGraphicsContext(const CurrentGraphicsContext&) = delete;
  CurrentGraphicsContext& operator=(const CurrentGraphicsContext&) = delete;

 private:
  NSGraphicsContext* m_pPrevious;
};

// The two text calls, on a context's port. A null port draws nothing.
void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size,
                         CGTextEncoding textEncoding);
void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* string,
                              std::size_t length);
