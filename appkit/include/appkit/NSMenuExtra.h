#pragma once

// The base of a menu extra: the object a host loads to show one status item. The host creates
// it with the status item's frame, then calls initWithBundle; it asks for menu and image and
// draws the installed view; before letting go it calls willUnload and unload.

#include <memory>

#include "appkit/NSObject.h"
#include "drawing/Geometry.h"

class NSBundle;
class NSImage;
class NSMenu;
class NSMenuExtraView;

class NSMenuExtra : public NSObject {
 public:
  static constexpr NSRect kDefaultStatusItemFrame{{0, 0}, {22, 22}};

  explicit NSMenuExtra(NSRect i_statusItemFrame = kDefaultStatusItemFrame);
  ~NSMenuExtra() override;
  NSMenuExtra(const NSMenuExtra&) = delete;
  NSMenuExtra& operator=(const NSMenuExtra&) = delete;

  // ---- entry points the host calls ----

  // Keeps the bundle and makes the default view with the host's frame; returns the extra.
  virtual NSMenuExtra* initWithBundle(NSBundle& io_bundle);
  virtual void willUnload() {}
  virtual void unload() {}

  // ---- accessors the host reads; the extra overrides them ----

  virtual NSMenu* menu() { return nullptr; }
  virtual NSImage* image() { return nullptr; }
  // The menu as the last menu() call built it; asks nothing. The host shows it without a poll.
  virtual const NSMenu* builtMenu() const { return nullptr; }

  // ---- the view and the bundle ----

  NSMenuExtraView* view() const { return m_pView; }
  // The view the host shows; the extra keeps ownership of a view of its own.
  void setView(NSMenuExtraView* i_pView) { m_pView = i_pView; }
  NSBundle* bundle() const { return m_pBundle; }

 private:
  NSRect m_statusItemFrame;
  NSBundle* m_pBundle = nullptr;  // the host's, outlives the extra
  std::unique_ptr<NSMenuExtraView> m_defaultView;
  NSMenuExtraView* m_pView = nullptr;  // the installed view; not owned
};
