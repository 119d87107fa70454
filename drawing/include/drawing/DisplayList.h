#pragma once

// A drawing recorded as typed operations. The host draws the view once per redraw into a
// list, then replays it into as many canvases as it shows: pixmaps of any size, a terminal, a
// PNG. The list keeps what it needs (images by shared reference), so it stays valid after the
// extra that drew it is gone.
//
// Two lists are equal when they hold the same operations: images by the identity of their
// pixels, numbers exactly. The same inputs draw the same numbers, so an equal list renders
// the same pixels, and a host that compares lists renders only after a change. (A NaN equals
// nothing: a list holding one counts as changed, which costs no more than a rendering.)

#include <string>
#include <variant>
#include <vector>

#include "drawing/Canvas.h"
#include "drawing/Image.h"

namespace drawing {

class DisplayList final : public Canvas {
 public:
  struct SetColorOp {
    RGBA color;
    bool operator==(const SetColorOp&) const = default;
  };
  struct StrokeOp {
    std::vector<PathElement> elements;
    CGFloat lineWidth;
    bool operator==(const StrokeOp&) const = default;
  };
  struct ImageOp {
    Image image;
    NSPoint at;
    NSCompositingOperation operation;
    bool operator==(const ImageOp&) const = default;
  };
  struct FontOp {
    std::string name;
    CGFloat size;
    CGTextEncoding encoding;
    bool operator==(const FontOp&) const = default;
  };
  struct TextOp {
    NSPoint at;
    std::string bytes;  // in the selected font's encoding
    bool operator==(const TextOp&) const = default;
  };
  using Operation = std::variant<SetColorOp, StrokeOp, ImageOp, FontOp, TextOp>;

  void Replay(Canvas& io_canvas) const;
  bool operator==(const DisplayList& i_other) const { return m_operations == i_other.m_operations; }

  // One line per operation, for tests and logs:
  //   color 1 0 0 1
  //   stroke 1 M 1 2 L 1 8 M 2 2 L 2 2
  //   image /path/online.png 0 0 2
  //   font Times-Roman 1 1
  //   text 6 6 "2"
  std::vector<std::string> Describe() const;

  void SetColor(const RGBA& i_color) override;
  void StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) override;
  void DrawImage(const Image& i_image, NSPoint i_at, NSCompositingOperation i_op) override;
  void SelectFont(const std::string& i_strName, CGFloat i_size, CGTextEncoding i_encoding) override;
  void ShowText(NSPoint i_at, std::string_view i_bytes) override;

 private:
  std::vector<Operation> m_operations;
};

}  // namespace drawing
