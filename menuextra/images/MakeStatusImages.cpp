// Draws the four status images into the folder given as the only argument: online,
// onlineactive, offline, noconnect; each at 1x (22 x 22 pixels), 2x (44 x 44), and for every
// other size a panel asks for (NAME@16px.png ...), drawn for that size rather than scaled.
//
// Each is a frame around the whole item, in which the view draws its bars, told apart by
// colour and shape: a grey frame struck through (no connection), an empty amber frame
// (connected, nothing online), a filled blue frame (online), and the same with two arrows in
// the free strip on the right (online with traffic). Mid-tone colours with a dark edge stay
// visible on light and dark panels alike.

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace {

constexpr double kSize = 22.0;  // points

struct Colour {
  double red, green, blue;
};

constexpr Colour kGrey{0.55, 0.55, 0.55};
constexpr Colour kAmber{0.88, 0.63, 0.13};
constexpr Colour kBlue{0.23, 0.56, 0.90};
constexpr Colour kEdge{0.10, 0.10, 0.10};

void RoundedRectangle(cairo_t* c, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(c);
  cairo_arc(c, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(c, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(c, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(c, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(c);
}

// A line with a thin dark edge under it, so that it reads on any background.
void EdgedStroke(cairo_t* c, Colour colour, double width) {
  cairo_set_source_rgba(c, kEdge.red, kEdge.green, kEdge.blue, 0.55);
  cairo_set_line_width(c, width + 1.0);
  cairo_stroke_preserve(c);
  cairo_set_source_rgb(c, colour.red, colour.green, colour.blue);
  cairo_set_line_width(c, width);
  cairo_stroke(c);
}

void Frame(cairo_t* c, Colour colour, double fillAlpha) {
  RoundedRectangle(c, 1.5, 1.5, kSize - 3, kSize - 3, 3);
  if (fillAlpha > 0) {
    cairo_set_source_rgba(c, colour.red, colour.green, colour.blue, fillAlpha);
    cairo_fill_preserve(c);
  }
  EdgedStroke(c, colour, 1.5);
}

void Arrow(cairo_t* c, double tipY, double baseY) {
  cairo_move_to(c, 20.0, tipY);
  cairo_line_to(c, 18.6, baseY);
  cairo_line_to(c, 21.4, baseY);
  cairo_close_path(c);
  cairo_set_source_rgb(c, 1, 1, 1);
  cairo_fill_preserve(c);
  cairo_set_source_rgba(c, kEdge.red, kEdge.green, kEdge.blue, 0.8);
  cairo_set_line_width(c, 0.6);
  cairo_stroke(c);
}

void NoConnect(cairo_t* c) {
  Frame(c, kGrey, 0);
  cairo_move_to(c, 5, 17);
  cairo_line_to(c, 17, 5);
  cairo_set_line_cap(c, CAIRO_LINE_CAP_ROUND);
  EdgedStroke(c, kGrey, 2.0);
}

void Offline(cairo_t* c) { Frame(c, kAmber, 0); }

void Online(cairo_t* c) { Frame(c, kBlue, 0.28); }

void OnlineActive(cairo_t* c) {
  Frame(c, kBlue, 0.5);
  Arrow(c, 5.0, 9.0);    // up, in the surface's y-down rows
  Arrow(c, 17.0, 13.0);  // down
}

bool Write(const std::filesystem::path& i_path, int i_iPixels,
           const std::function<void(cairo_t*)>& i_draw) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, i_iPixels, i_iPixels);
  cairo_t* c = cairo_create(surface);
  cairo_scale(c, i_iPixels / kSize, i_iPixels / kSize);
  i_draw(c);
  cairo_destroy(c);
  const bool bWritten = cairo_surface_write_to_png(surface, i_path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (!bWritten) std::fprintf(stderr, "make_status_images: cannot write %s\n", i_path.c_str());
  return bWritten;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_status_images FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const struct {
    const char* name;
    void (*draw)(cairo_t*);
  } images[] = {{"online", Online},
                {"onlineactive", OnlineActive},
                {"offline", Offline},
                {"noconnect", NoConnect}};
  bool bAll = true;
  for (const auto& image : images) {
    bAll = Write(folder / (std::string(image.name) + ".png"), 22, image.draw) && bAll;
    bAll = Write(folder / (std::string(image.name) + "@2x.png"), 44, image.draw) && bAll;
    for (const int pixels : {16, 24, 32, 48, 64}) {
      const std::string file = std::string(image.name) + "@" + std::to_string(pixels) + "px.png";
      bAll = Write(folder / file, pixels, image.draw) && bAll;
    }
  }
  return bAll ? 0 : 1;
}
