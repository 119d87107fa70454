#pragma once

// An image from a PNG file. A file "<name>@2x.png" beside "<name>.png" is its representation
// for surfaces of scale 2 and above; a file "<name>@<N>px.png" is the one drawn for N pixels
// across, taken whenever the image is to cover exactly that many. The image's size is that of
// the plain file.
//
// The pixels are immutable and shared: a copy of an image (as a recorded drawing keeps) costs
// a reference and stays valid after whoever loaded it has let go of its own.

#include <filesystem>
#include <memory>
#include <optional>

#include "drawing/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace drawing {

class Image {
 public:
  // Nothing when the file cannot be read as a PNG.
  static std::optional<Image> Load(const std::filesystem::path& i_path);

  const std::filesystem::path& path() const;
  NSSize size() const;
  // The pixels that suit a surface of this scale.
  cairo_surface_t* representation(double i_scale) const;

  // The same pixels: an image loaded once and copied.
  bool operator==(const Image& i_other) const { return m_pixels == i_other.m_pixels; }

 private:
  struct Pixels;
  explicit Image(std::shared_ptr<const Pixels> i_pixels) : m_pixels(std::move(i_pixels)) {}

  std::shared_ptr<const Pixels> m_pixels;
};

}  // namespace drawing
