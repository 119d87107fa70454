#include "menuextra/menubarThingyView.h"

#include <cstdio>

#include "appkit/NSColor.h"
#include "appkit/NSGraphicsContext.h"
#include "appkit/NSImage.h"
#include "appkit/NSMenuExtra.h"

namespace {

constexpr double kBaseline = 2.0;
constexpr double kUnitsPerFullLoad = 18.0;
constexpr NSPoint kCountAt{6.0, 6.0};

}  // namespace

NSMenuExtraView* menubarThingyView::initWithFrameMenuExtra(NSRect aRect, NSMenuExtra* aMenuExtra) {
  if (NSMenuExtraView::initWithFrameMenuExtra(aRect, aMenuExtra) == nullptr) return nullptr;
  menuExtra = aMenuExtra;
  online_channels = 0;
  path_in.setLineWidth(1.0);
  path_out.setLineWidth(1.0);
  percent_in.fill(0.0);
  percent_out.fill(0.0);
  return this;
}

void menubarThingyView::setPercentageInOut(double pin, double pout) {
  for (int i = 0; i < kSamples - 1; ++i) {
    percent_in[static_cast<std::size_t>(i)] = percent_in[static_cast<std::size_t>(i) + 1];
    percent_out[static_cast<std::size_t>(i)] = percent_out[static_cast<std::size_t>(i) + 1];
  }
  percent_in[kSamples - 1] = pin;
  percent_out[kSamples - 1] = pout;

  path_in.removeAllPoints();
  path_out.removeAllPoints();
  for (std::size_t i = 0; i < kBars; ++i) {
    const double av_in = (0.0 + percent_in[i] + percent_in[i + 1] + percent_in[i + 2]) / 3.0;
    const double av_out = (0.0 + percent_out[i] + percent_out[i + 1] + percent_out[i + 2]) / 3.0;
    const auto x = static_cast<float>(i + 1);
    const auto y1 = static_cast<float>(kBaseline + av_in * kUnitsPerFullLoad);
    const auto y2 = static_cast<float>(kBaseline + (av_in + av_out) * kUnitsPerFullLoad);
    path_in.moveToPoint({x, kBaseline});
    path_in.lineToPoint({x, y1});
    path_out.moveToPoint({x, y1});
    path_out.lineToPoint({x, y2});
  }
}

void menubarThingyView::setOnlineChannels(int s) { online_channels = s; }

void menubarThingyView::drawRect(NSRect) {
  NSImage* pImage = menuExtra != nullptr ? menuExtra->image() : nullptr;
  if (pImage != nullptr) pImage->compositeToPointOperation({0.0, 0.0}, NSCompositeSourceOver);

  if (online_channels > 0) {
    if (NSGraphicsContext* pContext = NSGraphicsContext::currentContext()) {
      CGContextRef port = pContext->graphicsPort();
      CGContextSelectFont(port, "Times-Roman", 1.0, kCGEncodingMacRoman);
      char count[16];
      const int length =
          std::snprintf(count, sizeof count, "%i", static_cast<int>(online_channels));
      CGContextShowTextAtPoint(port, kCountAt.x, kCountAt.y, count,
                               static_cast<std::size_t>(length));
    }
  }

  NSColor::redColor().set();
  path_out.stroke();
  NSColor::greenColor().set();
  path_in.stroke();
}
