#include "drawing/DisplayList.h"

#include <charconv>

namespace drawing {

namespace {

// The shortest form that reads back as the same number: 8, 14.5, 0.3333333333333333, and a
// float's rounding shows (3.799999952316284).
std::string Number(double i_value) {
  char text[32];
  const std::to_chars_result result = std::to_chars(text, text + sizeof text, i_value);
  return std::string(text, result.ptr);
}

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

void DisplayList::Replay(Canvas& io_canvas) const {
  for (const Operation& operation : m_operations) {
    std::visit(
        Overloaded{
            [&](const SetColorOp& i_op) { io_canvas.SetColor(i_op.color); },
            [&](const StrokeOp& i_op) { io_canvas.StrokePath(i_op.elements, i_op.lineWidth); },
            [&](const ImageOp& i_op) { io_canvas.DrawImage(i_op.image, i_op.at, i_op.operation); },
            [&](const FontOp& i_op) { io_canvas.SelectFont(i_op.name, i_op.size, i_op.encoding); },
            [&](const TextOp& i_op) { io_canvas.ShowText(i_op.at, i_op.bytes); },
        },
        operation);
  }
}

std::vector<std::string> DisplayList::Describe() const {
  std::vector<std::string> lines;
  for (const Operation& operation : m_operations) {
    lines.push_back(
        std::visit(Overloaded{
                       [](const SetColorOp& i_op) {
                         const RGBA& c = i_op.color;
                         return "color " + Number(c.red) + " " + Number(c.green) + " " +
                                Number(c.blue) + " " + Number(c.alpha);
                       },
                       [](const StrokeOp& i_op) {
                         std::string strLine = "stroke " + Number(i_op.lineWidth);
                         for (const PathElement& element : i_op.elements) {
                           strLine += element.kind == PathElement::MoveTo ? " M " : " L ";
                           strLine += Number(element.point.x) + " " + Number(element.point.y);
                         }
                         return strLine;
                       },
                       [](const ImageOp& i_op) {
                         return "image " + i_op.image.path().string() + " " + Number(i_op.at.x) +
                                " " + Number(i_op.at.y) + " " + std::to_string(i_op.operation);
                       },
                       [](const FontOp& i_op) {
                         return "font " + i_op.name + " " + Number(i_op.size) + " " +
                                std::to_string(i_op.encoding);
                       },
                       [](const TextOp& i_op) {
                         return "text " + Number(i_op.at.x) + " " + Number(i_op.at.y) + " \"" +
                                i_op.bytes + "\"";
                       },
                   },
                   operation));
  }
  return lines;
}

void DisplayList::SetColor(const RGBA& i_color) { m_operations.emplace_back(SetColorOp{i_color}); }

void DisplayList::StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) {
  m_operations.emplace_back(StrokeOp{i_elements, i_lineWidth});
}

void DisplayList::DrawImage(const Image& i_image, NSPoint i_at, NSCompositingOperation i_op) {
  m_operations.emplace_back(ImageOp{i_image, i_at, i_op});
}

void DisplayList::SelectFont(const std::string& i_strName, CGFloat i_size,
                             CGTextEncoding i_encoding) {
  m_operations.emplace_back(FontOp{i_strName, i_size, i_encoding});
}

void DisplayList::ShowText(NSPoint i_at, std::string_view i_bytes) {
  m_operations.emplace_back(TextOp{i_at, std::string(i_bytes)});
}

}  // namespace drawing
