#pragma once

// The status item's pixels as terminal text: two pixel rows per line, drawn with the upper
// half block in 24-bit colour over a panel colour.

#include <string>

#include "platform/Canvas.h"

class CairoCanvas;

namespace terminal {

std::string Picture(CairoCanvas& i_canvas, const RGBA& i_panel);

}  // namespace terminal
