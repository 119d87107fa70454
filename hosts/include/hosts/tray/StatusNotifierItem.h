#pragma once

// The status item on the session bus: org.kde.StatusNotifierItem on /StatusNotifierItem with
// every property panels read, and its registration with the watcher, made again each time a
// watcher appears (a panel started after us, or restarted). The pictures and the tooltip come
// from the tray host; each change is announced with NewIcon or NewToolTip, and only a change:
// every signal costs the panel a full read of the properties, pixels included.

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drawing/Pixmap.h"
#include "runloop/SdBus.h"
#include "runloop/SdEventPtr.h"

namespace zezar {

class StatusNotifierItem {
 public:
  static constexpr const char* kPath = "/StatusNotifierItem";

  // Whether a status area (a watcher) is on the session bus now; false without a session bus.
  static bool WatcherPresent();

  struct ToolTip {
    std::string title;  // plain text: some panels put it into markup unescaped
    std::string text;   // markup: &, < and > escaped
    bool operator==(const ToolTip&) const = default;
  };
  // What the item says besides its pictures.
  struct Words {
    std::string description;  // the icon for assistive technology, in a sentence
    ToolTip toolTip;
    bool operator==(const Words&) const = default;
  };

  // Exports the object; its menu is the dbusmenu object at i_strMenuPath. Throws
  // std::system_error.
  StatusNotifierItem(sd_bus* io_pBus, std::string i_strMenuPath);
  StatusNotifierItem(const StatusNotifierItem&) = delete;
  StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

  // Registers with the watcher, now and whenever a watcher appears. By the object path: the
  // watcher takes our unique name with it. A bus name would make GNOME's extension watch that
  // name while it reads the properties, and it drops the item when the watch answers last.
  void Register();

  // Takes the pictures (none: they stay as they are) and the words, and announces what changed
  // in one signal each: NewIcon for the pictures or the description, which panels read with
  // the icon, NewToolTip for the tooltip.
  void Show(std::optional<std::vector<drawing::Pixmap>> i_icon, const Words& i_words);

  // Called once for each time the item has been without a status area for kNoStatusAreaAfter:
  // no watcher at the start, or one gone and none back. It registers all the same as soon as
  // one appears.
  std::function<void()> onNoStatusArea;
  static constexpr uint64_t kNoStatusAreaAfter = 10'000'000;  // microseconds

  // Activate or SecondaryActivate, a click that is not a menu's (lxqt's left click): the tray
  // polls at once. The panel is answered NotSupported, so that it shows the menu if it can.
  std::function<void()> onActivate;

 private:
  static const sd_bus_vtable kVtable[];
  static int GetProperty(sd_bus* i_pBus, const char* i_pPath, const char* i_pInterface,
                         const char* i_pProperty, sd_bus_message* io_pReply, void* i_pUserData,
                         sd_bus_error* o_pError);
  static int OnActivate(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnIgnored(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnWatcherOwner(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnRegistered(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnNoStatusArea(sd_event_source* i_pSource, uint64_t i_usec, void* i_pUserData);
  void CallRegister();
  void AwaitStatusArea();  // arms the notice, unless it is armed or told already
  void Emit(const char* i_pSignal);

  sd_bus* m_pBus;
  std::string m_strMenuPath;
  std::vector<drawing::Pixmap> m_icon;
  Words m_words;
  std::set<int> m_toldFailures;  // each way a signal failed, logged once
  runloop::SdBusSlotPtr m_object;
  runloop::SdBusSlotPtr m_watcherMatch;
  runloop::SdBusSlotPtr m_registration;  // the call in flight, if any
  // From the start or the watcher's leaving to the next registration: the notice's timer,
  // which stays, spent, once it has fired.
  runloop::SdEventSourcePtr m_noStatusArea;
};

}  // namespace zezar
