#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "appkit/NSBezierPath.h"
#include "appkit/NSColor.h"
#include "appkit/NSGraphicsContext.h"
#include "appkit/NSImage.h"
#include "drawing/CairoCanvas.h"
#include "drawing/CairoPtr.h"
#include "drawing/DisplayList.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

using drawing::DisplayList;
using drawing::Pixmap;

constexpr uint32_t kTransparent = 0x00000000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kWhite = 0xFFFFFFFF;

// A PNG, blue but for its top-left quarter's corner square, which is red.
std::filesystem::path WriteMarkerPng(const TempDir& i_dir, const std::string& i_strName,
                                     int i_iSize) {
  const drawing::CairoSurfacePtr surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, i_iSize, i_iSize));
  {
    const drawing::CairoPtr context(cairo_create(surface.get()));
    cairo_t* c = context.get();
    cairo_set_source_rgb(c, 0, 0, 1);
    cairo_paint(c);
    cairo_set_source_rgb(c, 1, 0, 0);
    cairo_rectangle(c, 0, 0, i_iSize / 4, i_iSize / 4);
    cairo_fill(c);
  }
  const std::filesystem::path path = i_dir.path() / i_strName;
  cairo_surface_write_to_png(surface.get(), path.c_str());
  return path;
}

// Records what the drawing calls make of the current context.
template <class F>
DisplayList Record(F i_draw) {
  DisplayList list;
  NSGraphicsContext context(list);
  CurrentGraphicsContext current(context);
  i_draw();
  return list;
}

DisplayList Bar(double i_x, double i_y0, double i_y1, const NSColor& i_color) {
  return Record([&] {
    NSBezierPath path;
    path.moveToPoint({i_x, i_y0});
    path.lineToPoint({i_x, i_y1});
    i_color.set();
    path.stroke();
  });
}

Pixmap Render(const DisplayList& i_list, double i_scale, RGBA i_text = {0, 0, 0, 1}) {
  return CairoCanvas::Render(i_list, {.size = {22, 22}, .scale = i_scale, .textColor = i_text});
}

TEST(TheDrawingCalls, AreRecordedInOrderAndReplayedAlike) {
  TempDir dir;
  const auto image = NSImage::initWithContentsOfFile(WriteMarkerPng(dir, "online.png", 4));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), (NSSize{4, 4}));

  const DisplayList list = Record([&] {
    image->compositeToPointOperation({0, 0}, NSCompositeSourceOver);
    CGContextRef port = NSGraphicsContext::currentContext()->graphicsPort();
    CGContextSelectFont(port, "Times-Roman", 1.0, kCGEncodingMacRoman);
    CGContextShowTextAtPoint(port, 6.0, 6.0, "2", 1);
    NSBezierPath path;
    path.moveToPoint({1, 2});
    path.lineToPoint({1, 8.5});
    NSColor::redColor().set();
    path.stroke();
    path.removeAllPoints();
    NSColor::greenColor().set();
    path.stroke();
  });
  const std::vector<std::string> expected = {
      "image " + (dir.path() / "online.png").string() + " 0 0 2",
      "font Times-Roman 1 1",
      "text 6 6 \"2\"",
      "color 1 0 0 1",
      "stroke 1 M 1 2 L 1 8.5",
      "color 0 1 0 1",
      "stroke 1",
  };
  EXPECT_EQ(list.Describe(), expected);
  DisplayList copy;
  list.Replay(copy);
  EXPECT_EQ(copy.Describe(), expected);

  EXPECT_EQ(NSGraphicsContext::currentContext(), nullptr);
  NSBezierPath path;
  path.stroke();  // no context: nothing to draw into, nothing happens
  NSColor::redColor().set();
  CGContextShowTextAtPoint(nullptr, 0, 0, "x", 1);
}

TEST(TwoDrawings, AreEqualWhenTheyHoldTheSameOperations) {
  TempDir dir;
  const std::filesystem::path png = WriteMarkerPng(dir, "online.png", 4);
  const auto image = NSImage::initWithContentsOfFile(png);
  const auto sameFileAgain = NSImage::initWithContentsOfFile(png);
  ASSERT_TRUE(image && sameFileAgain);
  const auto drawing = [](const NSImage& i_image, const char* i_pCount, double i_top) {
    return Record([&] {
      i_image.compositeToPointOperation({0, 0}, NSCompositeSourceOver);
      CGContextRef port = NSGraphicsContext::currentContext()->graphicsPort();
      CGContextSelectFont(port, "Times-Roman", 1.0, kCGEncodingMacRoman);
      CGContextShowTextAtPoint(port, 6.0, 6.0, i_pCount, std::strlen(i_pCount));
      NSBezierPath path;
      path.moveToPoint({1, 2});
      path.lineToPoint({1, i_top});
      NSColor::greenColor().set();
      path.stroke();
    });
  };
  const DisplayList first = drawing(*image, "2", 8.5);
  DisplayList bars = first;
  Bar(2, 2, 3, NSColor::redColor()).Replay(bars);
  struct Row {
    const char* name;
    DisplayList other;
    bool equal;
  } rows[] = {
      {"drawn again alike", drawing(*image, "2", 8.5), true},
      {"a copy", DisplayList(first), true},
      {"a bar a little higher", drawing(*image, "2", std::nextafter(8.5, 9.0)), false},
      {"another count", drawing(*image, "3", 8.5), false},
      {"the same file loaded again: other pixels", drawing(*sameFileAgain, "2", 8.5), false},
      {"an operation more", bars, false},
      {"nothing", DisplayList(), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(first == row.other, row.equal);
    EXPECT_EQ(row.other == first, row.equal);
  }
}

TEST(AnImage, IsNothingWithoutAReadablePngAndOutlivesItsOwnerInADrawing) {
  TempDir dir;
  EXPECT_EQ(NSImage::initWithContentsOfFile(dir.path() / "absent.png"), nullptr);
  EXPECT_EQ(NSImage::initWithContentsOfFile(dir.Write("bad.png", "not a png")), nullptr);

  auto image = NSImage::initWithContentsOfFile(WriteMarkerPng(dir, "marker.png", 4));
  ASSERT_TRUE(image);
  const DisplayList list = Record([&] {
    image->compositeToPointOperation({0, 0}, NSCompositeSourceOver);
  });
  image.reset();  // as an extra releases its images when it unloads
  EXPECT_EQ(Render(list, 1).At(0, 21), kBlue);
}

TEST(ARendering, UsesViewCoordinatesWithYUp) {
  const Pixmap pixmap = Render(Bar(5, 2, 10, NSColor::greenColor()), 2);
  ASSERT_EQ(pixmap.width, 44);
  ASSERT_EQ(pixmap.height, 44);
  // x 4.5 to 5.5 and y 2 to 10 in the view: pixel columns 9 and 10, rows 24 to 39 from the top.
  EXPECT_EQ(pixmap.At(9, 30), kGreen);
  EXPECT_EQ(pixmap.At(10, 24), kGreen);
  EXPECT_EQ(pixmap.At(10, 39), kGreen);
  EXPECT_EQ(pixmap.At(8, 30), kTransparent);
  EXPECT_EQ(pixmap.At(11, 30), kTransparent);
  EXPECT_EQ(pixmap.At(9, 41), kTransparent);  // below the baseline
  EXPECT_EQ(pixmap.At(9, 22), kTransparent);  // above the top
  // No length: nothing painted.
  EXPECT_EQ(Render(Bar(15, 5, 5, NSColor::greenColor()), 2), Render(DisplayList(), 2));
}

TEST(ARendering, KeepsOnePointBarsCrispAtEveryScale) {
  // A one-point bar centred on x = 3 would straddle two pixel columns at 1x; it fills one, and
  // whole columns at the panels' sizes between (16 to 64 pixels for 22 points).
  for (const double scale : {16 / 22.0, 1.0, 24 / 22.0, 32 / 22.0, 2.0, 48 / 22.0, 3.0}) {
    SCOPED_TRACE(scale);
    const Pixmap pixmap = Render(Bar(3, 2, 20, NSColor::greenColor()), scale);
    const int row = pixmap.height / 2;
    int full = 0;
    for (int x = 0; x < pixmap.width; ++x) {
      const uint32_t pixel = pixmap.At(x, row);
      EXPECT_TRUE(pixel == kGreen || pixel == kTransparent) << std::hex << pixel << " at " << x;
      if (pixel == kGreen) ++full;
    }
    EXPECT_EQ(full, std::max(1L, std::lround(scale)));
  }
}

TEST(ARendering, PutsAnImageAtTheOriginTheRightWayUpAtEachScale) {
  TempDir dir;
  WriteMarkerPng(dir, "marker@2x.png", 8);
  const auto image = NSImage::initWithContentsOfFile(WriteMarkerPng(dir, "marker.png", 4));
  ASSERT_TRUE(image);
  const DisplayList list = Record([&] {
    image->compositeToPointOperation({0, 0}, NSCompositeSourceOver);
  });
  for (const double scale : {1.0, 2.0}) {
    SCOPED_TRACE(scale);
    const Pixmap pixmap = Render(list, scale);
    const int bottom = pixmap.height - 1;
    const int side = static_cast<int>(4 * scale);
    EXPECT_EQ(pixmap.At(0, bottom - side + 1), kRed);  // the image's top-left
    EXPECT_EQ(pixmap.At(0, bottom), kBlue);            // its bottom-left, at the origin
    EXPECT_EQ(pixmap.At(side - 1, bottom), kBlue);
    EXPECT_EQ(pixmap.At(side, bottom), kTransparent);
    EXPECT_EQ(pixmap.At(0, bottom - side), kTransparent);
  }
}

TEST(ARendering, TakesTheImageDrawnForItsSizeWhenThereIsOne) {
  TempDir dir;
  const auto solid = [&](const std::string& i_strName, int i_iPixels, RGBA i_color) {
    const drawing::CairoSurfacePtr surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, i_iPixels, i_iPixels));
    const drawing::CairoPtr context(cairo_create(surface.get()));
    cairo_set_source_rgb(context.get(), i_color.red, i_color.green, i_color.blue);
    cairo_paint(context.get());
    cairo_surface_write_to_png(surface.get(), (dir.path() / i_strName).c_str());
  };
  solid("dot.png", 4, {0, 1, 0, 1});
  solid("dot@2x.png", 8, {0, 0, 1, 1});
  solid("dot@3px.png", 3, {1, 0, 0, 1});
  solid("dot@5px.png", 4, {1, 1, 1, 1});  // not what its name says: never taken
  solid("dot@6pxx.png", 6, {1, 1, 1, 1});
  const auto image = NSImage::initWithContentsOfFile(dir.path() / "dot.png");
  ASSERT_TRUE(image);
  const DisplayList list = Record([&] {
    image->compositeToPointOperation({0, 0}, NSCompositeSourceOver);
  });
  const struct {
    double scale;
    uint32_t pixel;
  } rows[] = {{0.75, kRed}, {1, kGreen}, {1.25, kGreen}, {1.5, kGreen}, {2, kBlue}, {3, kBlue}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scale);
    const Pixmap pixmap = Render(list, row.scale);
    EXPECT_EQ(pixmap.At(1, pixmap.height - 2), row.pixel);
  }
}

TEST(ARendering, HandsOverStraightAlphaInNetworkOrder) {
  const Pixmap pixmap = Render(Bar(3, 2, 20, NSColor(RGBA{1, 0.5, 0, 0.5})), 1);
  // Bytes A, R, G, B; the colour as it was, not multiplied by its alpha.
  const std::size_t at = 4 * (11 * 22 + 3);
  EXPECT_EQ(pixmap.argb[at], 0x80);
  EXPECT_EQ(pixmap.argb[at + 1], 0xFF);
  EXPECT_NEAR(pixmap.argb[at + 2], 0x80, 1);
  EXPECT_EQ(pixmap.argb[at + 3], 0x00);
  EXPECT_EQ(pixmap.argb.size(), 4u * 22 * 22);
}

// The count as a drawing makes it: font, then text, in the initial colour.
DisplayList Count(const char* i_pText) {
  return Record([&] {
    CGContextRef port = NSGraphicsContext::currentContext()->graphicsPort();
    CGContextSelectFont(port, "Times-Roman", 1.0, kCGEncodingMacRoman);
    CGContextShowTextAtPoint(port, 6.0, 6.0, i_pText, std::strlen(i_pText));
  });
}

TEST(ARendering, StartsEachTimeTransparentInThePanelsTextColour) {
  // A drawing that leaves green set; the next drawing's text must not inherit it.
  const DisplayList green = Bar(3, 2, 20, NSColor::greenColor());
  const DisplayList count = Count("2");
  Render(green, 2, {1, 1, 1, 1});
  const Pixmap text = Render(count, 2, {1, 1, 1, 1});
  int white = 0;
  for (int y = 0; y < text.height; ++y) {
    for (int x = 0; x < text.width; ++x) {
      EXPECT_NE(text.At(x, y), kGreen);
      if (text.At(x, y) == kWhite) ++white;
    }
  }
  EXPECT_GT(white, 20);  // the glyph's body, in the panel's text colour
}

TEST(ARendering, DrawsLegibleTextWithAContrastingHalo) {
  for (const RGBA& text : {RGBA{1, 1, 1, 1}, RGBA{0, 0, 0, 1}}) {
    SCOPED_TRACE(text.red);
    const Pixmap pixmap = Render(Count("2"), 1, text);
    int inked = 0, aboveBaseline = 0, halo = 0;
    for (int y = 0; y < pixmap.height; ++y) {
      for (int x = 0; x < pixmap.width; ++x) {
        const uint32_t pixel = pixmap.At(x, y);
        if (pixel >> 24 == 0) continue;
        ++inked;
        if (y < 22 - 6) ++aboveBaseline;
        // Opaque enough and of the other shade.
        const bool bDark = (pixel & 0xFF) < 0x40;
        if (pixel >> 24 > 0x80 && bDark == (text.red > 0.5)) ++halo;
      }
    }
    EXPECT_GT(inked, 10);                     // a glyph about 8 pixels tall, not a speck
    EXPECT_GT(aboveBaseline, inked * 3 / 4);  // upright: it stands on its baseline
    EXPECT_GT(halo, 10);                      // outlined in the other shade
  }
}

TEST(ARendering, KeepsTheTextAboveWhatIsDrawnAfterIt) {
  DisplayList countThenBars = Count("2");
  for (double x = 6; x <= 14; ++x) Bar(x, 2, 20, NSColor::greenColor()).Replay(countThenBars);
  const Pixmap alone = Render(Count("2"), 4, {1, 1, 1, 1});
  const Pixmap underBars = Render(countThenBars, 4, {1, 1, 1, 1});
  int white = 0;
  for (int y = 0; y < alone.height; ++y) {
    for (int x = 0; x < alone.width; ++x) {
      if (alone.At(x, y) != kWhite) continue;
      ++white;
      EXPECT_EQ(underBars.At(x, y), kWhite) << x << "," << y;
    }
  }
  EXPECT_GT(white, 50);
}

TEST(ARendering, ReusesItsTextLayerOnlyWhileTheTextIsTheSame) {
  // The cache of one size, filled by each rendering in turn, against a fresh canvas each time.
  CairoCanvas::TextCache cache;
  const auto rendered = [&](const DisplayList& i_list, double i_scale, RGBA i_text) {
    const CairoCanvas::Options options{
        .size = {22, 22}, .scale = i_scale, .textColor = i_text, .textCache = &cache};
    return CairoCanvas::Render(i_list, options);
  };
  DisplayList countAndBar = Count("2");
  Bar(3, 2, 20, NSColor::greenColor()).Replay(countAndBar);
  DisplayList countThenGreen = Count("2");
  countThenGreen.SetColor({0, 1, 0, 1});
  countThenGreen.ShowText({2, 2}, "1");
  struct Row {
    const char* name;
    DisplayList list;
    double scale;
    RGBA text;
  } rows[] = {
      {"the first count", Count("2"), 2, {1, 1, 1, 1}},
      {"the same count, bars beside it", countAndBar, 2, {1, 1, 1, 1}},
      {"another count", Count("3"), 2, {1, 1, 1, 1}},
      {"another scale", Count("3"), 1, {1, 1, 1, 1}},
      {"another panel", Count("3"), 1, {0, 0, 0, 1}},
      {"a second text in another colour", countThenGreen, 1, {0, 0, 0, 1}},
      {"no text", Bar(3, 2, 20, NSColor::greenColor()), 1, {0, 0, 0, 1}},
      {"text again", countThenGreen, 1, {0, 0, 0, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(rendered(row.list, row.scale, row.text), Render(row.list, row.scale, row.text));
  }
}

TEST(APixmap, WritesAPngThatReadsBackAlike) {
  TempDir dir;
  const Pixmap pixmap = Render(Bar(3, 2, 20, NSColor::redColor()), 2);
  ASSERT_TRUE(drawing::WritePng(pixmap, dir.path() / "icon.png"));
  const auto image = NSImage::initWithContentsOfFile(dir.path() / "icon.png");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), (NSSize{44, 44}));
  EXPECT_FALSE(drawing::WritePng(pixmap, dir.path() / "absent" / "icon.png"));
}

}  // namespace
}  // namespace zezar_test
