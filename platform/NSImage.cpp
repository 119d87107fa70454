#include "platform/NSImage.h"

#include <cairo.h>

#include "platform/NSGraphicsContext.h"

namespace {

cairo_surface_t* LoadPng(const std::filesystem::path& i_path) {
  cairo_surface_t* pSurface = cairo_image_surface_create_from_png(i_path.c_str());
  if (cairo_surface_status(pSurface) == CAIRO_STATUS_SUCCESS) return pSurface;
  cairo_surface_destroy(pSurface);
  return nullptr;
}

}  // namespace

void NSImage::SurfaceRelease::operator()(cairo_surface_t* i_pSurface) const {
  cairo_surface_destroy(i_pSurface);
}

std::unique_ptr<NSImage> NSImage::initWithContentsOfFile(const std::filesystem::path& i_path) {
  Surface plain(LoadPng(i_path));
  if (!plain) return nullptr;
  std::filesystem::path doublePath = i_path;
  doublePath.replace_filename(i_path.stem().string() + "@2x" + i_path.extension().string());
  Surface twice;
  std::error_code error;
  if (std::filesystem::is_regular_file(doublePath, error)) twice.reset(LoadPng(doublePath));
  return std::make_unique<NSImage>(Key{}, i_path, std::move(plain), std::move(twice));
}

NSImage::NSImage(Key, std::filesystem::path i_path, Surface i_plain, Surface i_double)
    : m_path(std::move(i_path)), m_plain(std::move(i_plain)), m_double(std::move(i_double)) {
  m_size = {static_cast<CGFloat>(cairo_image_surface_get_width(m_plain.get())),
            static_cast<CGFloat>(cairo_image_surface_get_height(m_plain.get()))};
}

cairo_surface_t* NSImage::representation(double i_scale) const {
  return (i_scale >= 2 && m_double) ? m_double.get() : m_plain.get();
}

void NSImage::compositeToPointOperation(NSPoint i_point, NSCompositingOperation i_op) const {
  if (NSGraphicsContext* pContext = NSGraphicsContext::currentContext()) {
    pContext->graphicsPort()->DrawImage(*this, i_point, i_op);
  }
}
