#pragma once

// The status item's view: the status image, the number of online channels over it, and a bar
// graph of the last load samples, incoming (green) with outgoing (red) stacked on top.
//
// The geometry is built when a sample arrives; drawing only strokes what is prepared.

#include <array>

#include "appkit/NSBezierPath.h"
#include "appkit/NSMenuExtraView.h"

class menubarThingyView : public NSMenuExtraView {
 public:
  static constexpr int kSamples = 21;  // per direction; index 0 oldest, 20 newest
  static constexpr int kBars = 18;     // each the mean of three consecutive samples

  NSMenuExtraView* initWithFrameMenuExtra(NSRect aRect, NSMenuExtra* aMenuExtra) override;

  // Appends one sample (load fractions, 1.0 for full capacity) and rebuilds the bars.
  void setPercentageInOut(double pin, double pout);
  void setOnlineChannels(int s);  // 0 or below prints no count

  // Asks the extra for its image (which takes the sample drawn here), then paints the image,
  // the count and the bars.
  void drawRect(NSRect rect) override;

 private:
  NSMenuExtra* menuExtra = nullptr;  // the extra that owns the view; not owned
  long online_channels = 0;
  std::array<double, kSamples> percent_in{};
  std::array<double, kSamples> percent_out{};
  NSBezierPath path_in;   // incoming bars
  NSBezierPath path_out;  // outgoing bars
};
