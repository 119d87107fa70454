#include "platform/NSImage.h"

#include <cairo.h>

#include "platform/CairoPtr.h"
#include "platform/NSGraphicsContext.h"

namespace {

using Surface = platform::CairoSurfacePtr;

Surface LoadPng(const std::filesystem::path& i_path) {
  Surface surface(cairo_image_surface_create_from_png(i_path.c_str()));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return surface;
}

}  // namespace

struct NSImage::Pixels {
  std::filesystem::path path;
  Surface plain;
  Surface twice;  // may be empty
  NSSize size;
};

std::unique_ptr<NSImage> NSImage::initWithContentsOfFile(const std::filesystem::path& i_path) {
  auto pixels = std::make_shared<Pixels>();
  pixels->plain = LoadPng(i_path);
  if (!pixels->plain) return nullptr;
  pixels->path = i_path;
  pixels->size = {static_cast<CGFloat>(cairo_image_surface_get_width(pixels->plain.get())),
                  static_cast<CGFloat>(cairo_image_surface_get_height(pixels->plain.get()))};
  std::filesystem::path doublePath = i_path;
  doublePath.replace_filename(i_path.stem().string() + "@2x" + i_path.extension().string());
  std::error_code error;
  if (std::filesystem::is_regular_file(doublePath, error)) pixels->twice = LoadPng(doublePath);
  return std::make_unique<NSImage>(Key{}, std::move(pixels));
}

const std::filesystem::path& NSImage::path() const { return m_pixels->path; }

NSSize NSImage::size() const { return m_pixels->size; }

cairo_surface_t* NSImage::representation(double i_scale) const {
  return (i_scale >= 2 && m_pixels->twice) ? m_pixels->twice.get() : m_pixels->plain.get();
}

void NSImage::compositeToPointOperation(NSPoint i_point, NSCompositingOperation i_op) const {
  if (NSGraphicsContext* pContext = NSGraphicsContext::currentContext()) {
    pContext->graphicsPort()->DrawImage(*this, i_point, i_op);
  }
}
