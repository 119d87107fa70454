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
//
// The text layer can outlive its canvas in a TextCache, for the next canvas of the same size
// and scale to reuse while the text is the same: the count changes far less often than the
// bars beside it, and outlining its glyphs is most of a rendering's work.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "drawing/CairoPtr.h"
#include "drawing/Canvas.h"
#include "drawing/Pixmap.h"

namespace drawing {
class DisplayList;
}

class CairoCanvas final : public Canvas {
 public:
  // One piece of text as the canvas lays it: in the font, colour and place current for it.
  struct TextRun {
    std::string family;  // a fontconfig family standing in for the PostScript name
    bool bold = false;
    CGFloat size = 12;
    CGTextEncoding encoding = kCGEncodingMacRoman;
    RGBA color;
    NSPoint at;
    std::string bytes;
    bool operator==(const TextRun&) const = default;
  };
  // The text layer a canvas drew, and what it shows.
  struct TextCache {
    NSSize size;
    double scale = 0;
    std::vector<TextRun> runs;
    drawing::CairoSurfacePtr layer;
  };

  struct Options {
    NSSize size{22, 22};             // in points
    double scale = 1.0;              // pixels per point
    RGBA textColor{0, 0, 0, 1};      // the panel's text colour: the fill colour before any is set
    TextCache* textCache = nullptr;  // reused and refilled; none: the text is drawn each time
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
  // The layer of m_texts: the cache's when it shows the same, else drawn (and cached).
  cairo_surface_t* TextLayer();
  Surface DrawTextLayer() const;

  Options m_options;
  Surface m_surface;
  Context m_context;
  RGBA m_color;                  // the current colour
  TextRun m_font;                // the current font; its colour, place and bytes are unused
  std::vector<TextRun> m_texts;  // laid over everything else when the pixels are taken
  Surface m_textLayer;           // when not cached
};
