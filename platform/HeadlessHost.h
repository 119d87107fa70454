#pragma once

// A host for one menu extra with no screen: it loads the extra, runs its timers on a run
// loop, draws its view whenever the view is marked (into any canvas: a cairo surface, a
// recording), opens its menu and chooses items as a user would, and unloads it. Tests use it,
// and the real hosts build on it. Everything happens on the calling thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/DefaultRouter.h"
#include "platform/NSMenuExtra.h"
#include "platform/Preferences.h"
#include "platform/RunLoop.h"

class NSBundle;
class NSMenu;

namespace platform {

class HeadlessHost {
 public:
  struct Services {
    RunLoop& runLoop;
    Canvas& canvas;
    PreferencesStore* preferences = nullptr;             // none: every key is absent
    const DefaultRouterSource* defaultRouter = nullptr;  // none: the kernel's routing table
  };

  // Installs the services as the process's for as long as the host lives.
  explicit HeadlessHost(Services i_services,
                        NSRect i_statusItemFrame = NSMenuExtra::kDefaultStatusItemFrame);
  ~HeadlessHost();
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  // Creates an extra of class T with the status item's frame and initialises it with the
  // bundle. Returns it, or null when its initialiser declined (the extra is then released).
  template <class T>
  T* Load(NSBundle& io_bundle) {
    return static_cast<T*>(Adopt(std::make_unique<T>(m_statusItemFrame), io_bundle));
  }
  NSMenuExtra* extra() const { return m_extra.get(); }

  // Draws the installed view when it is marked; returns whether it drew.
  bool DrawIfNeeded();
  int Draws() const { return m_iDraws; }
  // Runs after each drawing, for a host that shows the canvas somewhere.
  void SetOnDraw(std::function<void()> i_onDraw) { m_onDraw = std::move(i_onDraw); }

  // The menu as it appears when the user opens the status item.
  NSMenu* OpenMenu();
  // Opens the menu and chooses the first enabled item of that title; false when there is none.
  bool Choose(const std::string& i_strTitle);
  // Chooses an item of the menu as it stands, without opening it again (the user picks from
  // the menu on screen); false when there is no such enabled item.
  bool ChooseOpenItem(int i_iIndex);

  // Messages the host has shown the user, each once: problems with the stored preferences.
  const std::vector<std::string>& Shown() const { return m_shown; }

  // willUnload, unload, then the extra is released. No tick reaches it afterwards.
  void Unload();

 private:
  NSMenuExtra* Adopt(std::unique_ptr<NSMenuExtra> i_extra, NSBundle& io_bundle);
  void AfterEvent();

  Services m_services;
  NSRect m_statusItemFrame;
  std::unique_ptr<NSMenuExtra> m_extra;
  int m_iDraws = 0;
  std::function<void()> m_onDraw;
  NSMenu* m_pOpenMenu = nullptr;  // the extra's, as the last OpenMenu returned it
  std::vector<std::string> m_shown;
  std::optional<std::string> m_lastProblem;
};

}  // namespace platform
