#pragma once

// A canvas on a cairo ARGB32 image surface of the view's size times a scale factor. The
// surface is flipped once, so that drawing uses the view's coordinates: origin bottom-left,
// y up, one unit per point.

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/Canvas.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

class CairoCanvas final : public Canvas {
 public:
  struct Options {
    NSSize size{22, 22};         // in points
    double scale = 1.0;          // pixels per point
    double textScale = 12.0;     // the text matrix: a font of size 1 is this many points tall
    RGBA textColor{0, 0, 0, 1};  // the fill colour before any is set
  };

  explicit CairoCanvas(const Options& i_options);

  // Makes every pixel transparent and the colour the initial one again.
  void Clear();
  // The pixel at (x, y) in surface pixels from the top-left, as premultiplied ARGB.
  uint32_t PixelAt(int i_x, int i_y);
  int PixelWidth() const;
  int PixelHeight() const;
  bool WritePng(const std::filesystem::path& i_path);
  cairo_surface_t* surface() const { return m_surface.get(); }

  void SetColor(const RGBA& i_color) override;
  void StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) override;
  void DrawImage(const NSImage& i_image, NSPoint i_at, NSCompositingOperation i_op) override;
  void SelectFont(const std::string& i_strName, CGFloat i_size, CGTextEncoding i_encoding) override;
  void ShowText(NSPoint i_at, std::string_view i_bytes) override;

 private:
  struct SurfaceRelease {
    void operator()(cairo_surface_t* i_pSurface) const;
  };
  struct ContextRelease {
    void operator()(cairo_t* i_pContext) const;
  };

  Options m_options;
  std::unique_ptr<cairo_surface_t, SurfaceRelease> m_surface;
  std::unique_ptr<cairo_t, ContextRelease> m_context;
  CGFloat m_fontSize = 12;
  CGTextEncoding m_encoding = kCGEncodingMacRoman;
};
