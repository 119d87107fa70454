#pragma once

// An image from a PNG file. A file "<name>@2x.png" beside "<name>.png" is its representation
// for surfaces of scale 2 and above; the image's size is that of the plain file.
//
// The pixels are immutable and shared: a copy of an image (as a recorded drawing keeps) costs
// a reference and stays valid after the extra that loaded it has let go of its own.

#include <filesystem>
#include <memory>

#include "platform/Canvas.h"

typedef struct _cairo_surface cairo_surface_t;

class NSImage {
 public:
  // Nothing when the file cannot be read as a PNG.
  static std::unique_ptr<NSImage> initWithContentsOfFile(const std::filesystem::path& i_path);

  const std::filesystem::path& path() const;
  NSSize size() const;
  // The pixels that suit a surface of this scale.
  cairo_surface_t* representation(double i_scale) const;

  // Paints the image with its origin at the point, in the current context.
  void compositeToPointOperation(NSPoint i_point, NSCompositingOperation i_op) const;

 private:
  struct Pixels;
  struct Key {  // only initWithContentsOfFile makes images
    explicit Key() = default;
  };

 public:
  NSImage(Key, std::shared_ptr<const Pixels> i_pixels) : m_pixels(std::move(i_pixels)) {}

 private:
  std::shared_ptr<const Pixels> m_pixels;
};
