#include "drawing/Image.h"

#include <cairo.h>

#include <cmath>
#include <map>
#include <string>

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
  CairoSurfacePtr twice;                     // may be empty
  std::map<int, CairoSurfacePtr> drawnFor;  // by pixels across, the plain and twice included
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
  for (const CairoSurfacePtr* pSurface : {&pixels->plain, &pixels->twice}) {
    if (*pSurface) {
      pixels->drawnFor[cairo_image_surface_get_width(pSurface->get())] =
          CairoSurfacePtr(cairo_surface_reference(pSurface->get()));
    }
  }
  const std::string prefix = i_path.stem().string() + "@";
  const std::string suffix = "px" + i_path.extension().string();
  for (std::filesystem::directory_iterator entry(i_path.parent_path(), error), end;
       !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    CairoSurfacePtr surface = LoadPng(entry->path());
    if (surface && cairo_image_surface_get_width(surface.get()) == std::stoi(digits))
      pixels->drawnFor[std::stoi(digits)] = std::move(surface);
  }
  return Image(std::move(pixels));
}

const std::filesystem::path& Image::path() const { return m_pixels->path; }

NSSize Image::size() const { return m_pixels->size; }

cairo_surface_t* Image::representation(double i_scale) const {
  const auto exact = m_pixels->drawnFor.find(static_cast<int>(std::lround(m_pixels->size.width * i_scale)));
  if (exact != m_pixels->drawnFor.end()) return exact->second.get();
  return (i_scale >= 2 && m_pixels->twice) ? m_pixels->twice.get() : m_pixels->plain.get();
}

}  // namespace drawing
