#pragma once

// The canvas that paints pixels: a cairo ARGB32 image surface of the view's size times a scale
// factor, flipped once so that drawing uses the view's coordinates (origin bottom-left, y up,
// one unit per point). Each canvas starts transparent with the fill colour set to the panel's
// text colour, as a menu bar prepares a view for each drawing.
//
// Two touches of a status-area renderer, neither of which moves what the view drew:
// - strokes that run along a pixel axis are centred on pixels, so one-point bars stay crisp at
//   1x as well as at 2x;
// - text goes on a layer above everything else, with a one-pixel halo in the contrasting
//   shade, so the count stays legible over the bars drawn after it and on light and dark
//   panels.

#include <filesystem>
#include <memory>

#include "drawing/CairoPtr.h"
#include "drawing/Canvas.h"
#include "drawing/Pixmap.h"

namespace drawing {
class DisplayList;
}

class CairoCanvas final : public Canvas {
 public:
  struct Options {
    NSSize size{22, 22};         // in points
    double scale = 1.0;          // pixels per point
    RGBA textColor{0, 0, 0, 1};  // the panel's text colour: the fill colour before any is set
  };
  // The text matrix: a font of size 1 is this many points tall.
  static constexpr double kTextScale = 12.0;

  // One drawing on a fresh canvas.
  static drawing::Pixmap Render(const drawing::DisplayList& i_drawing, const Options& i_options);

  explicit CairoCanvas(const Options& i_options);
  // The pixels as they stand, the text laid over them; the canvas is done with afterwards.
  drawing::Pixmap ToPixmap();

  void SetColor(const RGBA& i_color) override;
  void StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) override;
  void DrawImage(const drawing::Image& i_image, NSPoint i_at, NSCompositingOperation i_op) override;
  void SelectFont(const std::string& i_strName, CGFloat i_size, CGTextEncoding i_encoding) override;
  void ShowText(NSPoint i_at, std::string_view i_bytes) override;

 private:
  using Surface = drawing::CairoSurfacePtr;
  using Context = drawing::CairoPtr;
  // A transparent surface of the canvas's size, flipped to view coordinates.
  Surface NewSurface() const;
  Context NewContext(cairo_surface_t* i_pSurface) const;

  Options m_options;
  Surface m_surface;
  Context m_context;
  Surface m_textLayer;  // made with the first text
  Context m_textContext;
  RGBA m_color;  // the current colour, for the text's halo
  CGFloat m_fontSize = 12;
  CGTextEncoding m_encoding = kCGEncodingMacRoman;
};
