#include "TerminalPicture.h"

#include <cstdio>

namespace zezar {

namespace {

struct Rgb {
  int red, green, blue;
};

// A straight-alpha 0xAARRGGBB pixel over the opaque panel colour.
Rgb OverPanel(uint32_t i_pixel, const RGBA& i_panel) {
  const double alpha = (i_pixel >> 24 & 0xFF) / 255.0;
  const auto channel = [&](int i_iShift, double i_panelValue) {
    const double value = (i_pixel >> i_iShift & 0xFF) / 255.0;
    return static_cast<int>((alpha * value + (1 - alpha) * i_panelValue) * 255.0 + 0.5);
  };
  return {channel(16, i_panel.red), channel(8, i_panel.green), channel(0, i_panel.blue)};
}

}  // namespace

std::string TerminalPicture(const drawing::Pixmap& i_pixmap, const RGBA& i_panel) {
  std::string strOut;
  char escape[64];
  for (int y = 0; y < i_pixmap.height; y += 2) {
    for (int x = 0; x < i_pixmap.width; ++x) {
      const Rgb top = OverPanel(i_pixmap.At(x, y), i_panel);
      const Rgb bottom = OverPanel(i_pixmap.At(x, y + 1), i_panel);  // past the end: the panel
      std::snprintf(escape, sizeof escape, "\x1b[38;2;%d;%d;%dm\x1b[48;2;%d;%d;%dm", top.red,
                    top.green, top.blue, bottom.red, bottom.green, bottom.blue);
      strOut += escape;
      strOut += "\xE2\x96\x80";  // upper half block
    }
    strOut += "\x1b[0m\n";
  }
  return strOut;
}

}  // namespace zezar
