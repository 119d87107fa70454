#pragma once

#include "drawing/Canvas.h"

class NSColor {
 public:
  static NSColor redColor() { return NSColor({1, 0, 0, 1}); }
  static NSColor greenColor() { return NSColor({0, 1, 0, 1}); }

  explicit NSColor(RGBA i_rgba) : m_rgba(i_rgba) {}
  // Makes this the colour of the current context's strokes and text.
  void set() const;

 private:
  RGBA m_rgba;
};
