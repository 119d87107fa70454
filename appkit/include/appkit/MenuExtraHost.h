#pragma once

// The host core: what every host of a menu extra does, whatever it shows it on (a tray, a
// terminal, a test). It installs the host's services, loads the extra, runs its timers, draws
// its view once per redraw request into a display list, keeps the menu as the extra last built
// it, and applies one failure policy. Everything happens on the calling thread.
//
// A drawing that records the same list as the last one is no change: hosts render pixmaps and
// tell panels only when the list differs, so a quiet tick costs the drawing and nothing else.
//
// Failure policy: an exception from a tick, a menu build, a menu action or a drawing (a router's
// answer the client cannot hold) is logged once per kind ("…, ignoring"), the host's recover
// service brings the extra back to a clean start (the monitor disconnects, so the next tick
// starts afresh), the view is redrawn, and the host keeps running.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "appkit/BuiltMenu.h"
#include "appkit/NSMenuExtra.h"
#include "drawing/CairoCanvas.h"
#include "drawing/DisplayList.h"
#include "preferences/Preferences.h"
#include "runloop/RunLoop.h"

class NSBundle;

namespace appkit {

class MenuExtraHost {
 public:
  // Every service is the host's explicit choice; none has a default.
  struct Services {
    runloop::RunLoop& runLoop;
    preferences::PreferencesStore& preferences;
    std::function<void(const std::string&)> log;  // one line for the program's log
    std::function<void()> recover;                // a clean start after a failure
  };

  // What one event changed, for a host that shows it somewhere.
  struct Changes {
    // The view was drawn. Drawing is how the extra takes its news (the monitor's load sample),
    // so a host has the extra's state to read even when the picture stayed the same.
    bool drawn = false;
    bool drawing = false;  // the drawing differs from the last one: render it anew
    bool menu = false;
    bool problem = false;
  };

  // Installs the services as the process's for as long as the host lives.
  explicit MenuExtraHost(Services i_services,
                         NSRect i_statusItemFrame = NSMenuExtra::kDefaultStatusItemFrame);
  ~MenuExtraHost();
  MenuExtraHost(const MenuExtraHost&) = delete;
  MenuExtraHost& operator=(const MenuExtraHost&) = delete;

  // Creates an extra of class T with the status item's frame and initialises it with the
  // bundle. Returns it, or null when its initialiser declined (the extra is then released).
  template <class T>
  T* Load(NSBundle& io_bundle) {
    return static_cast<T*>(Adopt(std::make_unique<T>(m_statusItemFrame), io_bundle));
  }
  NSMenuExtra* extra() const { return m_extra.get(); }

  // Called after every event that drew the view or changed something.
  void SetOnChange(std::function<void(const Changes&)> i_onChange) {
    m_onChange = std::move(i_onChange);
  }

  // ---- the drawing ----

  const drawing::DisplayList& Drawing() const { return m_drawing; }  // the view's last drawing
  int Draws() const { return m_iDraws; }  // how often the view was drawn, changed or not
  // The last drawing at a scale (pixels per point), each time on a fresh transparent surface.
  // Each scale keeps its text layer for the next rendering at that scale.
  drawing::Pixmap Render(double i_scale, const RGBA& i_textColor) const;

  // ---- the menu ----

  // As the extra last built it; asks nothing.
  const BuiltMenu& Menu() const { return m_menu; }
  // The user opens the menu: the extra rebuilds it (for the monitor, a full poll).
  void OpenMenu();
  // The user chooses the entry with this id from what they saw: the item that stands for it
  // now performs its action. False when there is no such enabled item.
  bool Choose(int i_iId);

  // ---- other news for the extra ----

  // Runs a call into the extra (the host's news: the preferences changed, the machine wakes)
  // under the failure policy, then takes what it changed, as after a tick.
  void Perform(const char* i_pWhat, const std::function<void()>& i_call);

  // ---- the preferences ----

  // The problem the preferences store reports now, control characters replaced; nothing once
  // the file is fixed.
  const std::optional<std::string>& PreferencesProblem() const { return m_problem; }

  // willUnload, unload, then the extra is released. No tick reaches it afterwards.
  void Unload();

 private:
  NSMenuExtra* Adopt(std::unique_ptr<NSMenuExtra> i_extra, NSBundle& io_bundle);
  // Runs one call into the extra under the failure policy.
  template <class F>
  void Guarded(const char* i_pWhat, F&& i_call);
  void Failed(const char* i_pWhat, std::exception_ptr i_failure);
  // After each event: draw what is marked, take the menu and the problem, tell the host.
  void AfterEvent();
  // Draws a view marked for display; sets drawn, and drawing when the list differs.
  void DrawIfNeeded(Changes& io_changes);

  Services m_services;
  NSRect m_statusItemFrame;
  std::unique_ptr<NSMenuExtra> m_extra;
  std::function<void(const Changes&)> m_onChange;
  drawing::DisplayList m_drawing;
  int m_iDraws = 0;
  mutable std::map<double, CairoCanvas::TextCache> m_textCaches;  // by scale
  MenuIdentities m_identities;
  BuiltMenu m_menu;
  std::optional<std::string> m_problem;
  std::set<std::string> m_failureKinds;  // logged already
};

}  // namespace appkit
