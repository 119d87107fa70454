#pragma once

// A rendering as terminal text: two pixel rows per line, drawn with the upper half block in
// 24-bit colour over a panel colour.

#include <string>

#include "drawing/Canvas.h"
#include "drawing/Pixmap.h"

namespace zezar {

std::string TerminalPicture(const drawing::Pixmap& i_pixmap, const RGBA& i_panel);

}  // namespace zezar
