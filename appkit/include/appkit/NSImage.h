#pragma once

// An image resource of the extra's bundle, drawn into the current context.

#include <filesystem>
#include <memory>

#include "drawing/Canvas.h"
#include "drawing/Image.h"

class NSImage {
 public:
  // Nothing when the file cannot be read as a PNG.
  static std::unique_ptr<NSImage> initWithContentsOfFile(const std::filesystem::path& i_path);

  explicit NSImage(drawing::Image i_image) : m_image(std::move(i_image)) {}

  NSSize size() const { return m_image.size(); }
  const drawing::Image& pixels() const { return m_image; }

  // Paints the image with its origin at the point, in the current context.
  void compositeToPointOperation(NSPoint i_point, NSCompositingOperation i_op) const;

 private:
  drawing::Image m_image;
};
