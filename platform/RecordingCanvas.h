#pragma once

// A canvas that logs every call with its arguments, one line each, for tests:
//   color 1 0 0 1
//   stroke 1 M 1 2 L 1 8 M 2 2 L 2 2
//   image /path/online.png 0 0 2
//   font Times-Roman 1 1
//   text 6 6 "2"

#include <string>
#include <vector>

#include "platform/Canvas.h"

class RecordingCanvas final : public Canvas {
 public:
  const std::vector<std::string>& Log() const { return m_log; }
  void Clear() { m_log.clear(); }

  void SetColor(const RGBA& i_color) override;
  void StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) override;
  void DrawImage(const NSImage& i_image, NSPoint i_at, NSCompositingOperation i_op) override;
  void SelectFont(const std::string& i_strName, CGFloat i_size, CGTextEncoding i_encoding) override;
  void ShowText(NSPoint i_at, std::string_view i_bytes) override;

 private:
  std::vector<std::string> m_log;
};
