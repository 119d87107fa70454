// The traffic graph: its history, its bars, and the order of its drawing.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

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

  std::vector<std::string> Draw() {
    drawing::DisplayList drawing;
    NSGraphicsContext context(drawing);
    view.display(context);
    return drawing.Describe();
  }

  // One drawn bar: at x = its index + 1, from y0 up to y1.
  struct Bar {
    double y0, y1;
    bool operator==(const Bar&) const = default;
  };
  // The bars as drawn: incoming (the last stroke, green), or outgoing (the one before, red).
  std::vector<Bar> Bars(bool i_bOutgoing = false) {
    std::vector<std::string> strokes;
    for (const std::string& line : Draw())
      if (line.rfind("stroke ", 0) == 0) strokes.push_back(line);
    std::vector<Bar> bars;
    if (strokes.size() != 2) return bars;
    std::istringstream words(strokes[i_bOutgoing ? 0 : 1].substr(9));  // after "stroke 1 "
    std::string move, line;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    while (words >> move >> x0 >> y0 >> line >> x1 >> y1) {
      EXPECT_EQ(move, "M");
      EXPECT_EQ(line, "L");
      EXPECT_EQ(x0, static_cast<double>(bars.size() + 1));
      EXPECT_EQ(x1, x0);
      bars.push_back({y0, y1});
    }
    EXPECT_EQ(bars.size(), static_cast<std::size_t>(menubarThingyView::kBars));
    return bars;
  }

  StubExtra extra;
  menubarThingyView view;
};

TEST_F(AGraph, ShowsNoSampleUntilItMovesIntoTheBars) {
  view.setPercentageInOut(1.0, 0.5);
  EXPECT_EQ(Bars(), std::vector<Bar>(18, {2.0, 2.0}));
  EXPECT_EQ(Bars(true), std::vector<Bar>(18, {2.0, 2.0}));
}

TEST_F(AGraph, AveragesThreeSamplesPerBar) {
  for (int i = 0; i < 4; ++i) view.setPercentageInOut(1.0, 0.5);
  const std::vector<Bar> in = Bars();
  const std::vector<Bar> out = Bars(true);
  for (int bar = 0; bar < 15; ++bar) EXPECT_EQ(in[bar], (Bar{2.0, 2.0})) << "bar " << bar;
  EXPECT_EQ(in[15], (Bar{2.0, 8.0}));
  EXPECT_EQ(in[16], (Bar{2.0, 14.0}));
  EXPECT_EQ(in[17], (Bar{2.0, 20.0}));
  EXPECT_EQ(out[15], (Bar{8.0, 11.0}));
  EXPECT_EQ(out[16], (Bar{14.0, 20.0}));
  EXPECT_EQ(out[17], (Bar{20.0, 29.0}));
}

TEST_F(AGraph, DrawsAFullLoadBarFromBaselineToTop) {
  for (int i = 0; i < 4; ++i) view.setPercentageInOut(1.0, 0.0);
  EXPECT_EQ(Bars()[17], (Bar{2.0, 20.0}));
  EXPECT_EQ(Bars(true)[17], (Bar{20.0, 20.0}));
}

TEST_F(AGraph, NeitherClampsNorScales) {
  for (int i = 0; i < 4; ++i) view.setPercentageInOut(2.0, -0.5);
  EXPECT_EQ(Bars()[17], (Bar{2.0, 38.0}));
  EXPECT_EQ(Bars(true)[17], (Bar{38.0, 29.0}));
}

TEST_F(AGraph, KeepsTwentyOneSamplesAndDropsTheOldestFirst) {
  for (int i = 1; i <= 22; ++i) view.setPercentageInOut(i, 0.0);
  // 2 to 22 are kept: the first bar averages 2, 3 and 4; the newest, 22, is in no bar yet.
  EXPECT_EQ(Bars()[0], (Bar{2.0, 2.0 + 3.0 * 18.0}));
  EXPECT_EQ(Bars()[17], (Bar{2.0, 2.0 + 20.0 * 18.0}));
}

TEST_F(AGraph, RoundsBarHeightsToSinglePrecision) {
  for (int i = 0; i < 4; ++i) view.setPercentageInOut(0.1, 0.0);
  const double y1 = static_cast<float>(2.0 + (0.0 + 0.1 + 0.1 + 0.1) / 3.0 * 18.0);
  EXPECT_EQ(Bars()[17], (Bar{2.0, y1}));
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
