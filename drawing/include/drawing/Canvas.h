#pragma once

// The drawing surface behind a graphics context: what the view's drawing comes down to. The
// cairo backend paints pixels; the recording backend logs each call for tests.

#include <string>
#include <string_view>
#include <vector>

#include "drawing/Geometry.h"

namespace drawing {
class Image;
}

struct RGBA {
  double red = 0, green = 0, blue = 0, alpha = 1;
  bool operator==(const RGBA&) const = default;
};

struct PathElement {
  enum Kind { MoveTo, LineTo };
  Kind kind;
  NSPoint point;
  bool operator==(const PathElement&) const = default;
};

enum NSCompositingOperation { NSCompositeCopy = 1, NSCompositeSourceOver = 2 };
enum CGTextEncoding { kCGEncodingFontSpecific = 0, kCGEncodingMacRoman = 1 };

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void SetColor(const RGBA& i_color) = 0;  // for strokes and text
  virtual void StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) = 0;
  virtual void DrawImage(const drawing::Image& i_image, NSPoint i_at,
                         NSCompositingOperation i_op) = 0;
  virtual void SelectFont(const std::string& i_strName, CGFloat i_size,
                          CGTextEncoding i_encoding) = 0;
  // Text in the selected font's encoding, at the baseline point, under the text matrix.
  virtual void ShowText(NSPoint i_at, std::string_view i_bytes) = 0;
};
