#include "drawing/CairoPtr.h"

#include <cairo.h>

namespace drawing {

void CairoSurfaceDestroy::operator()(cairo_surface_t* i_pSurface) const {
  cairo_surface_destroy(i_pSurface);
}

void CairoDestroy::operator()(cairo_t* i_pContext) const { cairo_destroy(i_pContext); }

}  // namespace drawing
