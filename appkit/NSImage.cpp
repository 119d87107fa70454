#include "appkit/NSImage.h"

#include "appkit/NSGraphicsContext.h"

std::unique_ptr<NSImage> NSImage::initWithContentsOfFile(const std::filesystem::path& i_path) {
  std::optional<drawing::Image> image = drawing::Image::Load(i_path);
  if (!image) return nullptr;
  return std::make_unique<NSImage>(std::move(*image));
}

void NSImage::compositeToPointOperation(NSPoint i_point, NSCompositingOperation i_op) const {
  if (NSGraphicsContext* pContext = NSGraphicsContext::currentContext()) {
    pContext->graphicsPort()->DrawImage(m_image, i_point, i_op);
  }
}
