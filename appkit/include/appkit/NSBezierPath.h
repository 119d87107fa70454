#pragma once

// A path of separate straight segments, kept and refilled by its owner; removeAllPoints keeps
// the storage, so refilling allocates nothing once the path has held as much before.

#include <vector>

#include "drawing/Canvas.h"

class NSBezierPath {
 public:
  void moveToPoint(NSPoint i_point) { m_elements.push_back({PathElement::MoveTo, i_point}); }
  void lineToPoint(NSPoint i_point) { m_elements.push_back({PathElement::LineTo, i_point}); }
  void removeAllPoints() { m_elements.clear(); }
  void setLineWidth(CGFloat i_width) { m_lineWidth = i_width; }
  const std::vector<PathElement>& elements() const { return m_elements; }
  // Strokes the path in the current context's colour.
  void stroke() const;

 private:
  std::vector<PathElement> m_elements;
  CGFloat m_lineWidth = 1.0;
};
