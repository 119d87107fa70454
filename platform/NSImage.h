#pragma once

// An image from a PNG file. A file "<name>@2x.png" beside "<name>.png" is its representation
// for surfaces of scale 2 and above; the image's size is that of the plain file.

#include <filesystem>
#include <memory>

#include "platform/Canvas.h"

typedef struct _cairo_surface cairo_surface_t;

class NSImage {
 public:
  // Nothing when the file cannot be read as a PNG.
  static std::unique_ptr<NSImage> initWithContentsOfFile(const std::filesystem::path& i_path);

  const std::filesystem::path& path() const { return m_path; }
  NSSize size() const { return m_size; }
  // The pixels that suit a surface of this scale.
  cairo_surface_t* representation(double i_scale) const;

  // Paints the image with its origin at the point, in the current context.
  void compositeToPointOperation(NSPoint i_point, NSCompositingOperation i_op) const;

 private:
  struct SurfaceRelease {
    void operator()(cairo_surface_t* i_pSurface) const;
  };
  using Surface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;

  struct Key {  // only initWithContentsOfFile makes images
    explicit Key() = default;
  };

 public:
  NSImage(Key, std::filesystem::path i_path, Surface i_plain, Surface i_double);

 private:
  std::filesystem::path m_path;
  Surface m_plain;
  Surface m_double;  // may be empty
  NSSize m_size;
};
