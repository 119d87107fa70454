#pragma once

// The pixels of one rendering, in the form a status-area item hands them over: 32 bits per
// pixel as the bytes A, R, G, B (network order), rows top to bottom with no padding, and
// straight (not premultiplied) alpha.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace drawing {

// The sizes, in pixels across, a status-area item offers its picture at: panels that take the
// largest and shrink it, and panels that pick the nearest, each find one drawn for their size.
inline constexpr int kPanelIconSizes[] = {16, 22, 24, 32, 48, 64};

struct Pixmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> argb;  // 4 * width * height bytes

  // The pixel at (x, y) from the top-left as 0xAARRGGBB; 0 outside.
  uint32_t At(int i_x, int i_y) const;
  bool operator==(const Pixmap&) const = default;
};

// False when the file cannot be written.
bool WritePng(const Pixmap& i_pixmap, const std::filesystem::path& i_path);

}  // namespace drawing
