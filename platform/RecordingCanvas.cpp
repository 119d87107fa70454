#include "platform/RecordingCanvas.h"

#include <sstream>

#include "platform/NSImage.h"

namespace {

// Shortest exact-enough form: 8, 14.5, 0.333333.
std::string Number(double i_value) {
  std::ostringstream text;
  text << i_value;
  return text.str();
}

}  // namespace

void RecordingCanvas::SetColor(const RGBA& i_color) {
  m_log.push_back("color " + Number(i_color.red) + " " + Number(i_color.green) + " " +
                  Number(i_color.blue) + " " + Number(i_color.alpha));
}

void RecordingCanvas::StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) {
  std::string strLine = "stroke " + Number(i_lineWidth);
  for (const PathElement& element : i_elements) {
    strLine += element.kind == PathElement::MoveTo ? " M " : " L ";
    strLine += Number(element.point.x) + " " + Number(element.point.y);
  }
  m_log.push_back(std::move(strLine));
}

void RecordingCanvas::DrawImage(const NSImage& i_image, NSPoint i_at, NSCompositingOperation i_op) {
  m_log.push_back("image " + i_image.path().string() + " " + Number(i_at.x) + " " + Number(i_at.y) +
                  " " + std::to_string(i_op));
}

void RecordingCanvas::SelectFont(const std::string& i_strName, CGFloat i_size,
                                 CGTextEncoding i_encoding) {
  m_log.push_back("font " + i_strName + " " + Number(i_size) + " " + std::to_string(i_encoding));
}

void RecordingCanvas::ShowText(NSPoint i_at, std::string_view i_bytes) {
  m_log.push_back("text " + Number(i_at.x) + " " + Number(i_at.y) + " \"" + std::string(i_bytes) +
                  "\"");
}
