#pragma once

// The status item's menu on the session bus: com.canonical.dbusmenu, version 3, on /MenuBar.
// The menu is flat: the root (id 0) and one item per entry, each with an id that stays the
// item's across rebuilds.
//
// The revision moves with every change of the exported items and is announced with
// LayoutUpdated, except while a Qt panel has the menu open (between its "opened" and "closed"
// events): an update then would close the menu under the user, so it waits for "closed". The
// same holds for a moment after each opening, while a Qt panel is still putting the menu on
// the screen and has not said "opened" yet; a GTK panel, which says neither, gets the update
// a moment later.
// Opening the menu answers at once from the items as they stand (no network) and asks the
// tray for a poll afterwards; a click is answered first and acted on afterwards.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runloop/SdBus.h"
#include "runloop/SdEventPtr.h"

namespace zezar {

class DbusMenu {
 public:
  static constexpr const char* kPath = "/MenuBar";

  enum class Type { Standard, Separator };

  struct Item {
    int32_t id;         // never 0, the root's
    std::string label;  // as shown: a literal underscore is doubled on the bus
    bool enabled;
    Type type = Type::Standard;  // a separator has no label and takes no click
    bool operator==(const Item&) const = default;
  };

  struct Handlers {
    std::function<std::vector<Item>()> current;  // the items as they stand, without a poll
    std::function<void()> opening;               // the user opens the menu: poll soon
    std::function<void(int32_t)> clicked;        // the user chose this enabled item: act soon
  };

  // Exports the object. Throws std::system_error.
  DbusMenu(sd_bus* io_pBus, Handlers i_handlers);
  DbusMenu(const DbusMenu&) = delete;
  DbusMenu& operator=(const DbusMenu&) = delete;

  // Takes the items as they stand; a change gets a new revision and is announced when no Qt
  // panel has the menu open.
  void Update();

 private:
  static const sd_bus_vtable kVtable[];
  static int GetProperty(sd_bus*, const char*, const char*, const char* i_pProperty,
                         sd_bus_message* io_pReply, void*, sd_bus_error*);
  static int OnGetLayout(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnGetGroupProperties(sd_bus_message* i_pMessage, void* i_pUserData,
                                  sd_bus_error* o_pError);
  static int OnGetProperty(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnEvent(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnEventGroup(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnAboutToShow(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnAboutToShowGroup(sd_bus_message* i_pMessage, void* i_pUserData,
                                sd_bus_error* o_pError);

  bool Refresh();  // takes the current items; true when they changed
  void Announce();
  bool Knows(int32_t i_iId) const;
  const Item* Find(int32_t i_iId) const;
  // One event: the root's "opened" and "closed", an enabled item's "clicked"; the rest is
  // passed over.
  void Handle(int32_t i_iId, const std::string& i_strEvent);
  // Whether the client should fetch the layout again after opening.
  bool Opening();
  bool Held() const { return m_bOpen || m_bOpening; }
  static int OnOpeningOver(sd_event_source* i_pSource, uint64_t i_usec, void* i_pUserData);

  sd_bus* m_pBus;
  Handlers m_handlers;
  std::vector<Item> m_items;
  uint32_t m_revision = 1;
  uint32_t m_announced = 0;     // the last revision sent in LayoutUpdated
  bool m_bOpen = false;         // a Qt panel shows the menu
  bool m_bOpening = false;      // a moment after an opening
  bool m_bToldFailure = false;  // a failed announcement is logged once
  runloop::SdBusSlotPtr m_object;
  runloop::SdEventSourcePtr m_openingTimer;
};

}  // namespace zezar
