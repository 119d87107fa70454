#pragma once

// Owners of cairo's handles, without cairo.h: the headers that hold them stay free of it.

#include <memory>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace drawing {

struct CairoSurfaceDestroy {
  void operator()(cairo_surface_t* i_pSurface) const;
};
struct CairoDestroy {
  void operator()(cairo_t* i_pContext) const;
};

using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDestroy>;
using CairoPtr = std::unique_ptr<cairo_t, CairoDestroy>;

}  // namespace drawing
