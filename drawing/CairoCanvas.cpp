#include "drawing/CairoCanvas.h"

#include <cairo.h>
#include <endian.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "drawing/DisplayList.h"
#include "drawing/Image.h"
#include "text/MacRoman.h"

namespace {

// 255 / alpha in 16.16 fixed point, rounded, for each alpha (0 for 0): one multiplication per
// channel.
constexpr std::array<uint32_t, 256> kUnpremultiply = [] {
  std::array<uint32_t, 256> table{};
  for (uint32_t alpha = 1; alpha < 256; ++alpha) table[alpha] = ((255u << 16) + alpha / 2) / alpha;
  return table;
}();

// A native-endian premultiplied pixel as the bytes A, R, G, B with straight alpha: value * 255
// / alpha, rounded; exact for an opaque pixel, nothing for a clear one.
uint32_t Unpremultiplied(uint32_t i_word) {
  const uint32_t alpha = i_word >> 24;
  const uint32_t scale = kUnpremultiply[alpha];
  const auto channel = [&](int i_iShift) {
    return std::min(255u, ((i_word >> i_iShift & 0xFFu) * scale + 0x8000u) >> 16);
  };
  return htobe32(alpha << 24 | channel(16) << 16 | channel(8) << 8 | channel(0));
}

// Whether the path is only pairs of a move and a line along one axis: no joins, no curves.
bool AreAxisSegments(const std::vector<PathElement>& i_elements) {
  if (i_elements.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < i_elements.size(); i += 2) {
    const PathElement& from = i_elements[i];
    const PathElement& to = i_elements[i + 1];
    if (from.kind != PathElement::MoveTo || to.kind != PathElement::LineTo) return false;
    if (from.point.x != to.point.x && from.point.y != to.point.y) return false;
  }
  return true;
}

}  // namespace

drawing::Pixmap CairoCanvas::Render(const drawing::DisplayList& i_drawing,
                                    const Options& i_options) {
  CairoCanvas canvas(i_options);
  i_drawing.Replay(canvas);
  return canvas.ToPixmap();
}

CairoCanvas::CairoCanvas(const Options& i_options)
    : m_options(i_options), m_surface(NewSurface()), m_context(NewContext(m_surface.get())) {
  SetColor(m_options.textColor);
}

CairoCanvas::Surface CairoCanvas::NewSurface() const {
  const int width = static_cast<int>(std::lround(m_options.size.width * m_options.scale));
  const int height = static_cast<int>(std::lround(m_options.size.height * m_options.scale));
  return Surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));  // transparent
}

CairoCanvas::Context CairoCanvas::NewContext(cairo_surface_t* i_pSurface) const {
  Context context(cairo_create(i_pSurface));
  // The one flip: view coordinates grow upwards, the surface's rows downwards.
  cairo_translate(context.get(), 0, cairo_image_surface_get_height(i_pSurface));
  cairo_scale(context.get(), m_options.scale, -m_options.scale);
  return context;
}

drawing::Pixmap CairoCanvas::ToPixmap() {
  cairo_surface_t* pSurface = m_surface.get();
  if (!m_texts.empty()) {  // the text goes over everything else, once
    const Context c(cairo_create(pSurface));
    cairo_set_source_surface(c.get(), TextLayer(), 0, 0);
    cairo_paint(c.get());
  }
  cairo_surface_flush(pSurface);
  drawing::Pixmap pixmap;
  pixmap.width = cairo_image_surface_get_width(pSurface);
  pixmap.height = cairo_image_surface_get_height(pSurface);
  pixmap.argb.resize(4 * static_cast<std::size_t>(pixmap.width) *
                     static_cast<std::size_t>(pixmap.height));
  const unsigned char* pData = cairo_image_surface_get_data(pSurface);
  const int stride = cairo_image_surface_get_stride(pSurface);
  uint8_t* pOut = pixmap.argb.data();
  // An icon holds few colours, most of them in runs (clear, a fill, a bar): each colour is
  // converted once and looked up after, in a small table by a hash of the pixel.
  struct Converted {
    uint32_t in = 0;   // native-endian, premultiplied
    uint32_t out = 0;  // the bytes A, R, G, B, straight
  };
  std::array<Converted, 256> converted{};  // all clear, which converts to clear
  for (int y = 0; y < pixmap.height; ++y) {
    const unsigned char* pRow = pData + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < pixmap.width; ++x, pOut += 4) {
      uint32_t word;
      std::memcpy(&word, pRow + 4 * x, sizeof word);
      Converted& entry = converted[(word * 2654435761u) >> 24];
      if (entry.in != word) entry = {word, Unpremultiplied(word)};
      std::memcpy(pOut, &entry.out, sizeof entry.out);
    }
  }
  return pixmap;
}

cairo_surface_t* CairoCanvas::TextLayer() {
  TextCache* pCache = m_options.textCache;
  if (pCache == nullptr) {
    m_textLayer = DrawTextLayer();
    return m_textLayer.get();
  }
  if (!pCache->layer || pCache->size != m_options.size || pCache->scale != m_options.scale ||
      pCache->runs != m_texts) {
    pCache->layer = DrawTextLayer();
    pCache->size = m_options.size;
    pCache->scale = m_options.scale;
    pCache->runs = m_texts;
  }
  return pCache->layer.get();
}

CairoCanvas::Surface CairoCanvas::DrawTextLayer() const {
  Surface layer = NewSurface();
  const Context context = NewContext(layer.get());
  cairo_t* c = context.get();
  for (const TextRun& run : m_texts) {
    const std::string strUtf8 =
        run.encoding == kCGEncodingMacRoman ? text::MacRomanToUtf8(run.bytes) : run.bytes;
    cairo_save(c);
    if (!run.family.empty()) {
      cairo_select_font_face(c, run.family.c_str(), CAIRO_FONT_SLANT_NORMAL,
                             run.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    }
    // Glyphs are drawn y-down; under the flipped surface they need the text matrix flipped
    // back.
    const double size = run.size * kTextScale;
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, size, -size);
    cairo_set_font_matrix(c, &matrix);
    cairo_move_to(c, run.at.x, run.at.y);
    cairo_text_path(c, strUtf8.c_str());

    const RGBA& color = run.color;
    const double luminance = 0.2126 * color.red + 0.7152 * color.green + 0.0722 * color.blue;
    const double halo = luminance > 0.5 ? 0.0 : 1.0;
    cairo_set_source_rgba(c, halo, halo, halo, 0.85 * color.alpha);
    cairo_set_line_width(c, 2.0 / m_options.scale);  // one pixel on either side of the outline
    cairo_set_line_join(c, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke_preserve(c);
    cairo_set_source_rgba(c, color.red, color.green, color.blue, color.alpha);
    cairo_fill(c);
    cairo_restore(c);
  }
  return layer;
}

void CairoCanvas::SetColor(const RGBA& i_color) {
  m_color = i_color;
  cairo_set_source_rgba(m_context.get(), i_color.red, i_color.green, i_color.blue, i_color.alpha);
}

void CairoCanvas::StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) {
  // A stroke of an odd number of pixels is centred on a pixel's middle, an even one on a pixel
  // edge; anything else would straddle two pixel columns at half intensity. At scales that are
  // not whole the width is a whole number of pixels too, and never less than one, so a line
  // stays a line at 16 px.
  const double pixels = std::round(i_lineWidth * m_options.scale);
  const auto snap = [&](double i_value) {
    if (pixels < 1) return i_value;
    const double device = i_value * m_options.scale;
    const double snapped =
        std::fmod(pixels, 2.0) == 1.0 ? std::floor(device) + 0.5 : std::round(device);
    return snapped / m_options.scale;
  };
  std::vector<PathElement> elements = i_elements;
  for (std::size_t i = 1; i < elements.size(); ++i) {
    PathElement& from = elements[i - 1];
    PathElement& to = elements[i];
    if (to.kind != PathElement::LineTo) continue;
    if (from.point.x == to.point.x) from.point.x = to.point.x = snap(to.point.x);
    if (from.point.y == to.point.y) from.point.y = to.point.y = snap(to.point.y);
  }

  const double width = i_lineWidth > 0 ? std::max(1.0, pixels) / m_options.scale : 0.0;
  cairo_t* c = m_context.get();
  cairo_new_path(c);
  // Single segments along an axis (the graph's bars) are rectangles: filled as such they take
  // cairo's path for boxes, a fraction of what stroking costs, with the same pixels.
  if (AreAxisSegments(elements)) {
    for (std::size_t i = 0; i < elements.size(); i += 2) {
      const NSPoint from = elements[i].point;
      const NSPoint to = elements[i + 1].point;
      if (from.x == to.x && from.y != to.y) {
        cairo_rectangle(c, from.x - width / 2, std::min(from.y, to.y), width,
                        std::abs(to.y - from.y));
      } else if (from.y == to.y && from.x != to.x) {
        cairo_rectangle(c, std::min(from.x, to.x), from.y - width / 2, std::abs(to.x - from.x),
                        width);
      }  // a segment of no length paints nothing
    }
    cairo_fill(c);
    return;
  }
  for (const PathElement& element : elements) {
    if (element.kind == PathElement::MoveTo) {
      cairo_move_to(c, element.point.x, element.point.y);
    } else {
      cairo_line_to(c, element.point.x, element.point.y);
    }
  }
  cairo_set_line_width(c, width);
  cairo_set_line_cap(c, CAIRO_LINE_CAP_BUTT);  // a segment of zero length paints nothing
  cairo_stroke(c);
}

void CairoCanvas::DrawImage(const drawing::Image& i_image, NSPoint i_at,
                            NSCompositingOperation i_op) {
  cairo_surface_t* pPixels = i_image.representation(m_options.scale);
  if (pPixels == nullptr) return;
  cairo_t* c = m_context.get();
  cairo_save(c);
  // Images are stored top row first: unflip them, and fit the pixels to the image's size.
  const NSSize size = i_image.size();
  cairo_translate(c, i_at.x, i_at.y + size.height);
  cairo_scale(c, size.width / cairo_image_surface_get_width(pPixels),
              -size.height / cairo_image_surface_get_height(pPixels));
  cairo_set_source_surface(c, pPixels, 0, 0);
  cairo_set_operator(c, i_op == NSCompositeCopy ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
  cairo_paint(c);
  cairo_restore(c);
}

void CairoCanvas::SelectFont(const std::string& i_strName, CGFloat i_size,
                             CGTextEncoding i_encoding) {
  // PostScript names of the classic faces, to the font families that stand in for them.
  m_font.family = "sans-serif";
  if (i_strName.rfind("Times", 0) == 0) m_font.family = "serif";
  if (i_strName.rfind("Courier", 0) == 0) m_font.family = "monospace";
  m_font.bold = i_strName.find("Bold") != std::string::npos;
  m_font.size = i_size;
  m_font.encoding = i_encoding;
}

void CairoCanvas::ShowText(NSPoint i_at, std::string_view i_bytes) {
  TextRun run = m_font;
  run.color = m_color;
  run.at = i_at;
  run.bytes = std::string(i_bytes);
  m_texts.push_back(std::move(run));
}
