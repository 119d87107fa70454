#pragma once

// The base of a menu extra's view: a frame, a mark that asks the host to draw it, and the
// drawing the host calls.

#include "appkit/NSObject.h"
#include "drawing/Geometry.h"

class NSMenuExtra;
class NSGraphicsContext;

class NSMenuExtraView : public NSObject {
 public:
  NSMenuExtraView() = default;
  ~NSMenuExtraView() override;
  NSMenuExtraView(const NSMenuExtraView&) = delete;
  NSMenuExtraView& operator=(const NSMenuExtraView&) = delete;

  // Returns the view, initialised with its frame and the extra it shows.
  virtual NSMenuExtraView* initWithFrameMenuExtra(NSRect i_frame, NSMenuExtra* i_pMenuExtra);

  NSRect frame() const { return m_frame; }
  NSRect bounds() const { return {{0, 0}, m_frame.size}; }
  // Marks the view for the host to draw at its next chance.
  void setNeedsDisplay(bool i_bNeeds) { m_bNeedsDisplay = i_bNeeds; }
  bool needsDisplay() const { return m_bNeedsDisplay; }

  // Draws the view into the current context. The base draws nothing.
  virtual void drawRect(NSRect i_rect);

  // For the host: clears the mark, makes the context current and draws the whole view.
  void display(NSGraphicsContext& io_context);

 private:
  NSRect m_frame;
  NSMenuExtra* m_pMenuExtra = nullptr;  // not owned
  bool m_bNeedsDisplay = false;
};
