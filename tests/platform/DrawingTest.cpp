#include <cairo.h>
#include <gtest/gtest.h>

#include "platform/CairoCanvas.h"
#include "platform/NSBezierPath.h"
#include "platform/NSColor.h"
#include "platform/NSGraphicsContext.h"
#include "platform/NSImage.h"
#include "platform/RecordingCanvas.h"
#include "tests/platform/TempDir.h"

namespace zezar_test {
namespace {

constexpr uint32_t kTransparent = 0x00000000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;

// A 4 x 4 PNG, blue but for its top-left pixel, which is red.
std::filesystem::path WriteMarkerPng(const TempDir& i_dir, const std::string& i_strName,
                                     int i_iSize) {
  cairo_surface_t* pSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, i_iSize, i_iSize);
  cairo_t* c = cairo_create(pSurface);
  cairo_set_source_rgb(c, 0, 0, 1);
  cairo_paint(c);
  cairo_set_source_rgb(c, 1, 0, 0);
  cairo_rectangle(c, 0, 0, i_iSize / 4, i_iSize / 4);
  cairo_fill(c);
  cairo_destroy(c);
  const std::filesystem::path path = i_dir.path() / i_strName;
  cairo_surface_write_to_png(pSurface, path.c_str());
  cairo_surface_destroy(pSurface);
  return path;
}

TEST(TheDrawingCalls, ReachTheCurrentContextInOrder) {
  TempDir dir;
  const auto image = NSImage::initWithContentsOfFile(WriteMarkerPng(dir, "online.png", 4));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), (NSSize{4, 4}));

  NSBezierPath path;
  path.setLineWidth(1.0);
  path.moveToPoint({1, 2});
  path.lineToPoint({1, 8.5});

  RecordingCanvas canvas;
  NSGraphicsContext context(canvas);
  {
    CurrentGraphicsContext current(context);
    image->compositeToPointOperation({0, 0}, NSCompositeSourceOver);
    CGContextRef port = NSGraphicsContext::currentContext()->graphicsPort();
    CGContextSelectFont(port, "Times-Roman", 1.0, kCGEncodingMacRoman);
    CGContextShowTextAtPoint(port, 6.0, 6.0, "2", 1);
    NSColor::redColor().set();
    path.stroke();
    path.removeAllPoints();
    NSColor::greenColor().set();
    path.stroke();
  }
  EXPECT_EQ(canvas.Log(), (std::vector<std::string>{
                              "image " + (dir.path() / "online.png").string() + " 0 0 2",
                              "font Times-Roman 1 1",
                              "text 6 6 \"2\"",
                              "color 1 0 0 1",
                              "stroke 1 M 1 2 L 1 8.5",
                              "color 0 1 0 1",
                              "stroke 1",
                          }));
  EXPECT_EQ(NSGraphicsContext::currentContext(), nullptr);
  path.stroke();  // no context: nothing to draw into, nothing happens
  NSColor::redColor().set();
  CGContextShowTextAtPoint(nullptr, 0, 0, "x", 1);
}

TEST(AnImage, IsNothingWithoutAReadablePng) {
  TempDir dir;
  EXPECT_EQ(NSImage::initWithContentsOfFile(dir.path() / "absent.png"), nullptr);
  EXPECT_EQ(NSImage::initWithContentsOfFile(dir.Write("bad.png", "not a png")), nullptr);
}

TEST(TheCairoCanvas, DrawsInViewCoordinatesWithYUp) {
  CairoCanvas canvas({.size = {22, 22}, .scale = 2.0});
  ASSERT_EQ(canvas.PixelWidth(), 44);
  ASSERT_EQ(canvas.PixelHeight(), 44);
  NSGraphicsContext context(canvas);
  CurrentGraphicsContext current(context);
  NSBezierPath path;
  path.moveToPoint({5, 2});
  path.lineToPoint({5, 10});
  NSColor::greenColor().set();
  path.stroke();
  // x 4.5 to 5.5 and y 2 to 10 in the view: pixel columns 9 and 10, rows 24 to 39 from the top.
  EXPECT_EQ(canvas.PixelAt(9, 30), kGreen);
  EXPECT_EQ(canvas.PixelAt(10, 24), kGreen);
  EXPECT_EQ(canvas.PixelAt(10, 39), kGreen);
  EXPECT_EQ(canvas.PixelAt(8, 30), kTransparent);
  EXPECT_EQ(canvas.PixelAt(11, 30), kTransparent);
  EXPECT_EQ(canvas.PixelAt(9, 41), kTransparent);  // below the baseline
  EXPECT_EQ(canvas.PixelAt(9, 22), kTransparent);  // above the top

  NSBezierPath empty;
  empty.moveToPoint({15, 5});
  empty.lineToPoint({15, 5});  // no length: nothing painted
  empty.stroke();
  EXPECT_EQ(canvas.PixelAt(29, 34), kTransparent);
}

TEST(TheCairoCanvas, PutsAnImageAtTheOriginTheRightWayUp) {
  TempDir dir;
  WriteMarkerPng(dir, "marker@2x.png", 8);
  const auto image = NSImage::initWithContentsOfFile(WriteMarkerPng(dir, "marker.png", 4));
  ASSERT_TRUE(image);
  for (const double scale : {1.0, 2.0}) {
    SCOPED_TRACE(scale);
    CairoCanvas canvas({.size = {22, 22}, .scale = scale});
    NSGraphicsContext context(canvas);
    CurrentGraphicsContext current(context);
    image->compositeToPointOperation({0, 0}, NSCompositeSourceOver);
    const int bottom = canvas.PixelHeight() - 1;
    const int side = static_cast<int>(4 * scale);
    EXPECT_EQ(canvas.PixelAt(0, bottom - side + 1), kRed);  // the image's top-left
    EXPECT_EQ(canvas.PixelAt(0, bottom), kBlue);            // its bottom-left, at the origin
    EXPECT_EQ(canvas.PixelAt(side - 1, bottom), kBlue);
    EXPECT_EQ(canvas.PixelAt(side, bottom), kTransparent);
    EXPECT_EQ(canvas.PixelAt(0, bottom - side), kTransparent);
  }
}

TEST(TheCairoCanvas, DrawsLegibleTextAtTheHostsTextScale) {
  CairoCanvas canvas({.size = {22, 22}, .scale = 1.0, .textScale = 12.0});
  NSGraphicsContext context(canvas);
  CurrentGraphicsContext current(context);
  CGContextRef port = NSGraphicsContext::currentContext()->graphicsPort();
  CGContextSelectFont(port, "Times-Roman", 1.0, kCGEncodingMacRoman);
  CGContextShowTextAtPoint(port, 6.0, 6.0, "2", 1);
  int inked = 0, aboveBaseline = 0;
  for (int y = 0; y < canvas.PixelHeight(); ++y) {
    for (int x = 0; x < canvas.PixelWidth(); ++x) {
      if (canvas.PixelAt(x, y) >> 24 == 0) continue;
      ++inked;
      if (y < 22 - 6) ++aboveBaseline;
    }
  }
  EXPECT_GT(inked, 10);                     // a glyph about 8 pixels tall, not a speck
  EXPECT_GT(aboveBaseline, inked * 3 / 4);  // upright: it stands on its baseline
}

}  // namespace
}  // namespace zezar_test
