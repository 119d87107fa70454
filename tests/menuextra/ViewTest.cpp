// The traffic graph: its history, its bars, and the order of its drawing.

#include <gtest/gtest.h>

#include <functional>

#include "appkit/NSGraphicsContext.h"
#include "appkit/NSImage.h"
#include "appkit/NSMenuExtra.h"
#include "drawing/DisplayList.h"
#include "menuextra/menubarThingyView.h"

namespace zezar_test {
namespace {

// An extra whose image() only counts its calls and can feed the view, as the controller does.
class StubExtra final : public NSMenuExtra {
 public:
  NSImage* image() override {
    ++calls;
    if (onImage) onImage();
    return pImage;
  }
  int calls = 0;
  NSImage* pImage = nullptr;
  std::function<void()> onImage;
};

class AGraph : public ::testing::Test {
 protected:
  void SetUp() override { view.initWithFrameMenuExtra({{0, 0}, {22, 22}}, &extra); }

  // Bar i's segment in a path: from y0 to y1 at x = i + 1.
  static void ExpectBar(const NSBezierPath& i_path, int i_iBar, double i_y0, double i_y1) {
    SCOPED_TRACE("bar " + std::to_string(i_iBar));
    const auto& elements = i_path.elements();
    ASSERT_EQ(elements.size(), 36u);
    const PathElement& move = elements[2 * static_cast<std::size_t>(i_iBar)];
    const PathElement& line = elements[2 * static_cast<std::size_t>(i_iBar) + 1];
    EXPECT_EQ(move.kind, PathElement::MoveTo);
    EXPECT_EQ(line.kind, PathElement::LineTo);
    EXPECT_EQ(move.point, (NSPoint{i_iBar + 1.0, i_y0}));
    EXPECT_EQ(line.point, (NSPoint{i_iBar + 1.0, i_y1}));
  }

  std::vector<std::string> Draw() {
    drawing::DisplayList drawing;
    NSGraphicsContext context(drawing);
    view.display(context);
    return drawing.Describe();
  }

  StubExtra extra;
  menubarThingyView view;
};

TEST_F(AGraph, ShowsNoSampleUntilItMovesIntoTheBars) {
  view.setPercentageInOut(1.0, 0.5);
  for (int bar = 0; bar < 18; ++bar) {
    ExpectBar(view.pathIn(), bar, 2.0, 2.0);
    ExpectBar(view.pathOut(), bar, 2.0, 2.0);
  }
}

TEST_F(AGraph, AveragesThreeSamplesPerBar) {
  for (int i = 0; i < 4; ++i) view.setPercentageInOut(1.0, 0.5);
  for (int bar = 0; bar < 15; ++bar) ExpectBar(view.pathIn(), bar, 2.0, 2.0);
  ExpectBar(view.pathIn(), 15, 2.0, 8.0);
  ExpectBar(view.pathIn(), 16, 2.0, 14.0);
  ExpectBar(view.pathIn(), 17, 2.0, 20.0);
  ExpectBar(view.pathOut(), 15, 8.0, 11.0);
  ExpectBar(view.pathOut(), 16, 14.0, 20.0);
  ExpectBar(view.pathOut(), 17, 20.0, 29.0);
}

TEST_F(AGraph, DrawsAFullLoadBarFromBaselineToTop) {
  for (int i = 0; i < 4; ++i) view.setPercentageInOut(1.0, 0.0);
  ExpectBar(view.pathIn(), 17, 2.0, 20.0);
  ExpectBar(view.pathOut(), 17, 20.0, 20.0);
}

TEST_F(AGraph, NeitherClampsNorScales) {
  for (int i = 0; i < 4; ++i) view.setPercentageInOut(2.0, -0.5);
  ExpectBar(view.pathIn(), 17, 2.0, 38.0);
  ExpectBar(view.pathOut(), 17, 38.0, 29.0);
}

TEST_F(AGraph, KeepsTwentyOneSamplesAndDropsTheOldestFirst) {
  for (int i = 1; i <= 22; ++i) view.setPercentageInOut(i, -i);
  for (int i = 0; i < 21; ++i) {
    EXPECT_EQ(view.percentIn(i), i + 2.0);
    EXPECT_EQ(view.percentOut(i), -(i + 2.0));
  }
}

TEST_F(AGraph, RoundsBarHeightsToSinglePrecision) {
  for (int i = 0; i < 4; ++i) view.setPercentageInOut(0.1, 0.0);
  const double y1 = static_cast<float>(2.0 + (0.0 + 0.1 + 0.1 + 0.1) / 3.0 * 18.0);
  ExpectBar(view.pathIn(), 17, 2.0, y1);
}

TEST_F(AGraph, PaintsImageCountThenOutgoingThenIncoming) {
  const auto image =
      NSImage::initWithContentsOfFile(std::string(ZEZAR_RESOURCE_DIR) + "/online.png");
  ASSERT_TRUE(image);
  extra.pImage = image.get();
  extra.onImage = [&] {
    view.setPercentageInOut(0.5, 0.25);
    view.setOnlineChannels(2);
  };
  const std::vector<std::string> log = Draw();
  EXPECT_EQ(extra.calls, 1);
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0], "image " + std::string(ZEZAR_RESOURCE_DIR) + "/online.png 0 0 2");
  EXPECT_EQ(log[1], "font Times-Roman 1 1");
  EXPECT_EQ(log[2], "text 6 6 \"2\"");
  EXPECT_EQ(log[3], "color 1 0 0 1");
  EXPECT_EQ(log[4].rfind("stroke 1 M 1 2 L 1 2 ", 0), 0u) << log[4];
  EXPECT_EQ(log[5], "color 0 1 0 1");
  EXPECT_EQ(log[6].rfind("stroke 1 M 1 2 L 1 2 ", 0), 0u) << log[6];
}

TEST_F(AGraph, PrintsNoCountOfZeroOrLess) {
  for (const int count : {0, -1}) {
    extra.onImage = [&] { view.setOnlineChannels(count); };
    const std::vector<std::string> log = Draw();
    ASSERT_EQ(log.size(), 4u);  // no image, no font, no text
    EXPECT_EQ(log[0], "color 1 0 0 1");
    EXPECT_EQ(log[2], "color 0 1 0 1");
  }
}

TEST_F(AGraph, DrawsTheWholeViewWhateverTheRectangle) {
  extra.onImage = [&] { view.setOnlineChannels(3); };
  drawing::DisplayList drawing;
  NSGraphicsContext context(drawing);
  CurrentGraphicsContext current(context);
  view.drawRect({{5, 5}, {1, 1}});
  EXPECT_EQ(drawing.Describe().size(), 6u);
}

}  // namespace
}  // namespace zezar_test
