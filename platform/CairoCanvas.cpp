#include "platform/CairoCanvas.h"

#include <cairo.h>

#include <cmath>
#include <cstring>

#include "platform/MacRoman.h"
#include "platform/NSImage.h"

void CairoCanvas::SurfaceRelease::operator()(cairo_surface_t* i_pSurface) const {
  cairo_surface_destroy(i_pSurface);
}

void CairoCanvas::ContextRelease::operator()(cairo_t* i_pContext) const {
  cairo_destroy(i_pContext);
}

CairoCanvas::CairoCanvas(const Options& i_options) : m_options(i_options) {
  const int width = static_cast<int>(std::lround(m_options.size.width * m_options.scale));
  const int height = static_cast<int>(std::lround(m_options.size.height * m_options.scale));
  m_surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  m_context.reset(cairo_create(m_surface.get()));
  // The one flip: view coordinates grow upwards, the surface's rows downwards.
  cairo_translate(m_context.get(), 0, height);
  cairo_scale(m_context.get(), m_options.scale, -m_options.scale);
  Clear();
}

void CairoCanvas::Clear() {
  cairo_t* c = m_context.get();
  cairo_save(c);
  cairo_set_operator(c, CAIRO_OPERATOR_CLEAR);
  cairo_paint(c);
  cairo_restore(c);
  SetColor(m_options.textColor);
}

uint32_t CairoCanvas::PixelAt(int i_x, int i_y) {
  cairo_surface_flush(m_surface.get());
  if (i_x < 0 || i_y < 0 || i_x >= PixelWidth() || i_y >= PixelHeight()) return 0;
  const unsigned char* pData = cairo_image_surface_get_data(m_surface.get());
  const int stride = cairo_image_surface_get_stride(m_surface.get());
  uint32_t pixel;
  std::memcpy(&pixel, pData + i_y * stride + i_x * 4, sizeof pixel);
  return pixel;
}

int CairoCanvas::PixelWidth() const { return cairo_image_surface_get_width(m_surface.get()); }

int CairoCanvas::PixelHeight() const { return cairo_image_surface_get_height(m_surface.get()); }

bool CairoCanvas::WritePng(const std::filesystem::path& i_path) {
  return cairo_surface_write_to_png(m_surface.get(), i_path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void CairoCanvas::SetColor(const RGBA& i_color) {
  cairo_set_source_rgba(m_context.get(), i_color.red, i_color.green, i_color.blue, i_color.alpha);
}

void CairoCanvas::StrokePath(const std::vector<PathElement>& i_elements, CGFloat i_lineWidth) {
  cairo_t* c = m_context.get();
  cairo_new_path(c);
  for (const PathElement& element : i_elements) {
    if (element.kind == PathElement::MoveTo) {
      cairo_move_to(c, element.point.x, element.point.y);
    } else {
      cairo_line_to(c, element.point.x, element.point.y);
    }
  }
  cairo_set_line_width(c, i_lineWidth);
  cairo_set_line_cap(c, CAIRO_LINE_CAP_BUTT);  // a segment of zero length paints nothing
  cairo_stroke(c);
}

void CairoCanvas::DrawImage(const NSImage& i_image, NSPoint i_at, NSCompositingOperation i_op) {
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
  const char* pFamily = "sans-serif";
  if (i_strName.rfind("Times", 0) == 0) pFamily = "serif";
  if (i_strName.rfind("Courier", 0) == 0) pFamily = "monospace";
  const bool bBold = i_strName.find("Bold") != std::string::npos;
  cairo_select_font_face(m_context.get(), pFamily, CAIRO_FONT_SLANT_NORMAL,
                         bBold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  m_fontSize = i_size;
  m_encoding = i_encoding;
}

void CairoCanvas::ShowText(NSPoint i_at, std::string_view i_bytes) {
  cairo_t* c = m_context.get();
  const std::string strUtf8 =
      m_encoding == kCGEncodingMacRoman ? platform::MacRomanToUtf8(i_bytes) : std::string(i_bytes);
  cairo_save(c);
  // Glyphs are drawn y-down; under the flipped surface they need the text matrix flipped back.
  const double size = m_fontSize * m_options.textScale;
  cairo_matrix_t matrix;
  cairo_matrix_init_scale(&matrix, size, -size);
  cairo_set_font_matrix(c, &matrix);
  cairo_move_to(c, i_at.x, i_at.y);
  cairo_show_text(c, strUtf8.c_str());
  cairo_restore(c);
}
