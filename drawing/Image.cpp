#include "drawing/Image.h"

#include <cairo.h>

#include "drawing/CairoPtr.h"

namespace drawing {

namespace {

CairoSurfacePtr LoadPng(const std::filesystem::path& i_path) {
  CairoSurfacePtr surface(cairo_image_surface_create_from_png(i_path.c_str()));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return surface;
}

}  // namespace

struct Image::Pixels {
  std::filesystem::path path;
  CairoSurfacePtr plain;
  CairoSurfacePtr twice;  // may be empty
  NSSize size;
};

std::optional<Image> Image::Load(const std::filesystem::path& i_path) {
  auto pixels = std::make_shared<Pixels>();
  pixels->plain = LoadPng(i_path);
  if (!pixels->plain) return std::nullopt;
  pixels->path = i_path;
  pixels->size = {static_cast<CGFloat>(cairo_image_surface_get_width(pixels->plain.get())),
                  static_cast<CGFloat>(cairo_image_surface_get_height(pixels->plain.get()))};
  std::filesystem::path doublePath = i_path;
  doublePath.replace_filename(i_path.stem().string() + "@2x" + i_path.extension().string());
  std::error_code error;
  if (std::filesystem::is_regular_file(doublePath, error)) pixels->twice = LoadPng(doublePath);
  return Image(std::move(pixels));
}

const std::filesystem::path& Image::path() const { return m_pixels->path; }

NSSize Image::size() const { return m_pixels->size; }

cairo_surface_t* Image::representation(double i_scale) const {
  return (i_scale >= 2 && m_pixels->twice) ? m_pixels->twice.get() : m_pixels->plain.get();
}

}  // namespace drawing
