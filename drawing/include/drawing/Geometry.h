#pragma once

// Points, sizes and rectangles in a view's own coordinates: origin bottom-left, y up.

using CGFloat = double;

struct NSPoint {
  CGFloat x = 0;
  CGFloat y = 0;
  bool operator==(const NSPoint&) const = default;
};

struct NSSize {
  CGFloat width = 0;
  CGFloat height = 0;
  bool operator==(const NSSize&) const = default;
};

struct NSRect {
  NSPoint origin;
  NSSize size;
  bool operator==(const NSRect&) const = default;
};
