#include "hosts/terminal/TerminalPicture.h"

#include <cstdio>

#include "platform/CairoCanvas.h"

namespace terminal {

namespace {

struct Rgb {
  int red, green, blue;
};

// A premultiplied ARGB pixel over the opaque panel colour.
Rgb OverPanel(uint32_t i_pixel, const RGBA& i_panel) {
  const double alpha = ((i_pixel >> 24) & 0xFF) / 255.0;
  const auto channel = [&](int i_iShift, double i_panelValue) {
    const double premultiplied = ((i_pixel >> i_iShift) & 0xFF) / 255.0;
    return static_cast<int>((premultiplied + (1 - alpha) * i_panelValue) * 255.0 + 0.5);
  };
  return {channel(16, i_panel.red), channel(8, i_panel.green), channel(0, i_panel.blue)};
}

}  // namespace

std::string Picture(CairoCanvas& i_canvas, const RGBA& i_panel) {
  std::string strOut;
  char escape[64];
  for (int y = 0; y < i_canvas.PixelHeight(); y += 2) {
    for (int x = 0; x < i_canvas.PixelWidth(); ++x) {
      const Rgb top = OverPanel(i_canvas.PixelAt(x, y), i_panel);
      const Rgb bottom = y + 1 < i_canvas.PixelHeight()
                             ? OverPanel(i_canvas.PixelAt(x, y + 1), i_panel)
                             : OverPanel(0, i_panel);
      std::snprintf(escape, sizeof escape, "\x1b[38;2;%d;%d;%dm\x1b[48;2;%d;%d;%dm", top.red,
                    top.green, top.blue, bottom.red, bottom.green, bottom.blue);
      strOut += escape;
      strOut += "\xE2\x96\x80";  // upper half block
    }
    strOut += "\x1b[0m\n";
  }
  return strOut;
}

}  // namespace terminal
