#include "drawing/Pixmap.h"

#include <cairo.h>

#include <cstring>

#include "drawing/CairoPtr.h"

namespace drawing {

uint32_t Pixmap::At(int i_x, int i_y) const {
  if (i_x < 0 || i_y < 0 || i_x >= width || i_y >= height) return 0;
  const std::size_t at = 4 * (static_cast<std::size_t>(i_y) * static_cast<std::size_t>(width) +
                              static_cast<std::size_t>(i_x));
  return static_cast<uint32_t>(argb[at]) << 24 | static_cast<uint32_t>(argb[at + 1]) << 16 |
         static_cast<uint32_t>(argb[at + 2]) << 8 | static_cast<uint32_t>(argb[at + 3]);
}

bool WritePng(const Pixmap& i_pixmap, const std::filesystem::path& i_path) {
  const CairoSurfacePtr surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, i_pixmap.width, i_pixmap.height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
  cairo_surface_flush(surface.get());
  unsigned char* pData = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  // cairo wants native-endian, premultiplied words.
  for (int y = 0; y < i_pixmap.height; ++y) {
    for (int x = 0; x < i_pixmap.width; ++x) {
      const uint32_t pixel = i_pixmap.At(x, y);
      const uint32_t alpha = pixel >> 24;
      const auto premultiply = [&](int i_iShift) {
        return ((pixel >> i_iShift & 0xFFu) * alpha + 127) / 255;
      };
      const uint32_t word =
          alpha << 24 | premultiply(16) << 16 | premultiply(8) << 8 | premultiply(0);
      std::memcpy(pData + y * stride + x * 4, &word, sizeof word);
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return cairo_surface_write_to_png(surface.get(), i_path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace drawing
