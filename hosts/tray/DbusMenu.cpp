#include "hosts/tray/DbusMenu.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "Safely.h"
#include "hosts/Log.h"
#include "runloop/SdCheck.h"

namespace zezar {

namespace {

constexpr const char* kInterface = "com.canonical.dbusmenu";
constexpr uint64_t kOpeningGraceUs = 500'000;  // a Qt panel says "opened" well within it

// Every panel turns "_x" into a mnemonic: text from outside keeps its underscores by doubling.
std::string BusLabel(const std::string& i_strLabel) {
  std::string strOut;
  for (const char c : i_strLabel) {
    strOut += c;
    if (c == '_') strOut += '_';
  }
  return strOut;
}

// What a caller may name in one call. The menu has a dozen items and dbusmenu a dozen
// properties; a panel names each at most once. A longer list is refused before it costs
// anything: its replies would hold the loop and its memory for seconds.
constexpr std::size_t kMostIds = 256;
constexpr std::size_t kMostNames = 64;

int TooMany(sd_bus_error* o_pError, const char* i_pWhat, std::size_t i_uMost) {
  return sd_bus_error_setf(o_pError, SD_BUS_ERROR_INVALID_ARGS, "more than %zu %s", i_uMost,
                           i_pWhat);
}

// Keeps the first of each.
template <class T>
void DropRepeats(std::vector<T>& io_values) {
  std::vector<T> kept;
  for (T& value : io_values)
    if (std::find(kept.begin(), kept.end(), value) == kept.end()) kept.push_back(std::move(value));
  io_values = std::move(kept);
}

// An array of property names from a message, at most kMostNames of them (then -E2BIG), each
// once.
int ReadNames(sd_bus_message* i_pMessage, std::vector<std::string>& o_names) {
  int r = sd_bus_message_enter_container(i_pMessage, 'a', "s");
  const char* pName = nullptr;
  while (r >= 0 && (r = sd_bus_message_read(i_pMessage, "s", &pName)) > 0) {
    if (o_names.size() == kMostNames) return -E2BIG;
    o_names.emplace_back(pName);
  }
  if (r >= 0) r = sd_bus_message_exit_container(i_pMessage);
  DropRepeats(o_names);
  return r;
}

bool Wanted(const std::vector<std::string>& i_names, std::string_view i_name) {
  return i_names.empty() || std::find(i_names.begin(), i_names.end(), i_name) != i_names.end();
}

// A node's properties, those asked for (all when none are named). Only values other than the
// defaults are sent.
int AppendProperties(sd_bus_message* io_pReply, const DbusMenu::Item* i_pItem,
                     const std::vector<std::string>& i_names) {
  int r = sd_bus_message_open_container(io_pReply, 'a', "{sv}");
  if (i_pItem == nullptr) {
    if (r >= 0 && Wanted(i_names, "children-display"))
      r = sd_bus_message_append(io_pReply, "{sv}", "children-display", "s", "submenu");
  } else {
    const bool bSeparator = i_pItem->type == DbusMenu::Type::Separator;
    if (r >= 0 && bSeparator && Wanted(i_names, "type"))
      r = sd_bus_message_append(io_pReply, "{sv}", "type", "s", "separator");
    if (r >= 0 && !bSeparator && Wanted(i_names, "label"))
      r = sd_bus_message_append(io_pReply, "{sv}", "label", "s", BusLabel(i_pItem->label).c_str());
    if (r >= 0 && !i_pItem->enabled && Wanted(i_names, "enabled"))
      r = sd_bus_message_append(io_pReply, "{sv}", "enabled", "b", 0);
  }
  if (r >= 0) r = sd_bus_message_close_container(io_pReply);
  return r;
}

// One layout node, (ia{sv}av): the root when i_pItem is null, with these children.
int AppendNode(sd_bus_message* io_pReply, const DbusMenu::Item* i_pItem,
               const std::vector<std::string>& i_names,
               std::span<const DbusMenu::Item> i_children) {
  int r = sd_bus_message_open_container(io_pReply, 'r', "ia{sv}av");
  if (r >= 0) r = sd_bus_message_append(io_pReply, "i", i_pItem != nullptr ? i_pItem->id : 0);
  if (r >= 0) r = AppendProperties(io_pReply, i_pItem, i_names);
  if (r >= 0) r = sd_bus_message_open_container(io_pReply, 'a', "v");
  for (const DbusMenu::Item& child : i_children) {
    if (r >= 0) r = sd_bus_message_open_container(io_pReply, 'v', "(ia{sv}av)");
    if (r >= 0) r = AppendNode(io_pReply, &child, i_names, {});
    if (r >= 0) r = sd_bus_message_close_container(io_pReply);
  }
  if (r >= 0) r = sd_bus_message_close_container(io_pReply);
  if (r >= 0) r = sd_bus_message_close_container(io_pReply);
  return r;
}

// An array of ids from a message, at most kMostIds of them (then -E2BIG), each once.
int ReadIds(sd_bus_message* i_pMessage, std::vector<int32_t>& o_ids) {
  const void* pIds = nullptr;
  size_t bytes = 0;
  const int r = sd_bus_message_read_array(i_pMessage, 'i', &pIds, &bytes);
  if (r < 0) return r;
  if (bytes / sizeof(int32_t) > kMostIds) return -E2BIG;
  o_ids.resize(bytes / sizeof(int32_t));
  if (!o_ids.empty()) std::memcpy(o_ids.data(), pIds, o_ids.size() * sizeof(int32_t));
  DropRepeats(o_ids);
  return r;
}

// One event's id and name, (isvu); its data (xfce sends an int, Qt a string) and its timestamp
// are passed over.
int ReadEvent(sd_bus_message* i_pMessage, int32_t& o_iId, std::string& o_strEvent) {
  const char* pEvent = nullptr;
  int r = sd_bus_message_read(i_pMessage, "is", &o_iId, &pEvent);
  if (r >= 0) r = sd_bus_message_skip(i_pMessage, "vu");
  if (r >= 0) o_strEvent = pEvent;
  return r;
}

int Send(runloop::SdBusMessagePtr& io_reply, int i_iResult) {
  if (i_iResult < 0) return i_iResult;
  return sd_bus_send(nullptr, io_reply.get(), nullptr);
}

int NoSuchItem(sd_bus_error* o_pError, int32_t i_iId) {
  return sd_bus_error_setf(o_pError, SD_BUS_ERROR_INVALID_ARGS, "no menu item %d", i_iId);
}

}  // namespace

const sd_bus_vtable DbusMenu::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", DbusMenu::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("TextDirection", "s", DbusMenu::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", DbusMenu::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "as", DbusMenu::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD_WITH_ARGS(
        "GetLayout", SD_BUS_ARGS("i", parentId, "i", recursionDepth, "as", propertyNames),
        SD_BUS_RESULT("u", revision, "(ia{sv}av)", layout), DbusMenu::OnGetLayout, 0),
    SD_BUS_METHOD_WITH_ARGS("GetGroupProperties", SD_BUS_ARGS("ai", ids, "as", propertyNames),
                            SD_BUS_RESULT("a(ia{sv})", properties), DbusMenu::OnGetGroupProperties,
                            0),
    SD_BUS_METHOD_WITH_ARGS("GetProperty", SD_BUS_ARGS("i", id, "s", name),
                            SD_BUS_RESULT("v", value), DbusMenu::OnGetProperty, 0),
    SD_BUS_METHOD_WITH_ARGS("Event", SD_BUS_ARGS("i", id, "s", eventId, "v", data, "u", timestamp),
                            SD_BUS_NO_RESULT, DbusMenu::OnEvent, 0),
    SD_BUS_METHOD_WITH_ARGS("EventGroup", SD_BUS_ARGS("a(isvu)", events),
                            SD_BUS_RESULT("ai", idErrors), DbusMenu::OnEventGroup, 0),
    SD_BUS_METHOD_WITH_ARGS("AboutToShow", SD_BUS_ARGS("i", id), SD_BUS_RESULT("b", needUpdate),
                            DbusMenu::OnAboutToShow, 0),
    SD_BUS_METHOD_WITH_ARGS("AboutToShowGroup", SD_BUS_ARGS("ai", ids),
                            SD_BUS_RESULT("ai", updatesNeeded, "ai", idErrors),
                            DbusMenu::OnAboutToShowGroup, 0),
    SD_BUS_SIGNAL_WITH_ARGS("ItemsPropertiesUpdated",
                            SD_BUS_ARGS("a(ia{sv})", updatedProps, "a(ias)", removedProps), 0),
    SD_BUS_SIGNAL_WITH_ARGS("LayoutUpdated", SD_BUS_ARGS("u", revision, "i", parent), 0),
    SD_BUS_SIGNAL_WITH_ARGS("ItemActivationRequested", SD_BUS_ARGS("i", id, "u", timestamp), 0),
    SD_BUS_VTABLE_END,
};

DbusMenu::DbusMenu(sd_bus* io_pBus, Handlers i_handlers)
    : m_pBus(io_pBus), m_handlers(std::move(i_handlers)), m_items(m_handlers.current()) {
  sd_bus_slot* pSlot = nullptr;
  runloop::Check(sd_bus_add_object_vtable(m_pBus, &pSlot, kPath, kInterface, kVtable, this),
                 std::string("sd_bus_add_object_vtable ") + kPath);
  m_object.reset(pSlot);
  sd_event_source* pTimer = nullptr;
  runloop::Check(sd_event_add_time_relative(sd_bus_get_event(m_pBus), &pTimer, CLOCK_BOOTTIME,
                                            kOpeningGraceUs, 0, &DbusMenu::OnOpeningOver, this),
                 "sd_event_add_time_relative menu opening");
  m_openingTimer.reset(pTimer);
  sd_event_source_set_enabled(pTimer, SD_EVENT_OFF);
}

int DbusMenu::OnOpeningOver(sd_event_source*, uint64_t, void* i_pUserData) {
  auto* pSelf = static_cast<DbusMenu*>(i_pUserData);
  pSelf->m_bOpening = false;
  if (!pSelf->Held() && pSelf->m_announced != pSelf->m_revision) pSelf->Announce();
  return 0;
}

int DbusMenu::GetProperty(sd_bus*, const char*, const char*, const char* i_pProperty,
                          sd_bus_message* io_pReply, void*, sd_bus_error*) {
  const std::string_view property = i_pProperty;
  if (property == "Version") return sd_bus_message_append(io_pReply, "u", 3u);
  if (property == "TextDirection") return sd_bus_message_append(io_pReply, "s", "ltr");
  if (property == "Status") return sd_bus_message_append(io_pReply, "s", "normal");
  return sd_bus_message_append_strv(io_pReply, nullptr);  // IconThemePath: none
}

bool DbusMenu::Refresh() {
  std::vector<Item> items = m_handlers.current();
  if (items == m_items) return false;
  m_items = std::move(items);
  ++m_revision;
  return true;
}

void DbusMenu::Announce() {
  m_announced = m_revision;
  const int r = sd_bus_emit_signal(m_pBus, kPath, kInterface, "LayoutUpdated", "ui", m_revision, 0);
  if (r < 0 && !m_bToldFailure)
    Log(std::string("LayoutUpdated: ") + std::strerror(-r) + ", ignoring");
  m_bToldFailure = m_bToldFailure || r < 0;
}

void DbusMenu::Update() {
  if (Refresh() && !Held()) Announce();  // else once the menu has closed, or shows for good
}

const DbusMenu::Item* DbusMenu::Find(int32_t i_iId) const {
  const auto found = std::find_if(m_items.begin(), m_items.end(),
                                  [&](const Item& i_item) { return i_item.id == i_iId; });
  return found == m_items.end() ? nullptr : &*found;
}

bool DbusMenu::Knows(int32_t i_iId) const { return i_iId == 0 || Find(i_iId) != nullptr; }

int DbusMenu::OnGetLayout(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError) {
  auto* pSelf = static_cast<DbusMenu*>(i_pUserData);
  int32_t parent = 0;
  int32_t depth = 0;
  std::vector<std::string> names;
  int r = sd_bus_message_read(i_pMessage, "ii", &parent, &depth);
  if (r >= 0) r = ReadNames(i_pMessage, names);
  if (r == -E2BIG) return TooMany(o_pError, "property names", kMostNames);
  if (r < 0) return r;
  if (!pSelf->Knows(parent)) return NoSuchItem(o_pError, parent);

  sd_bus_message* pReply = nullptr;
  r = sd_bus_message_new_method_return(i_pMessage, &pReply);
  if (r < 0) return r;
  runloop::SdBusMessagePtr reply(pReply);
  // The menu is flat: only the root has children, and a depth of 0 asks for none of them.
  const bool bChildren = parent == 0 && depth != 0;
  r = sd_bus_message_append(pReply, "u", pSelf->m_revision);
  if (r >= 0)
    r = AppendNode(pReply, pSelf->Find(parent), names,
                   bChildren ? std::span<const Item>(pSelf->m_items) : std::span<const Item>());
  return Send(reply, r);
}

int DbusMenu::OnGetGroupProperties(sd_bus_message* i_pMessage, void* i_pUserData,
                                   sd_bus_error* o_pError) {
  auto* pSelf = static_cast<DbusMenu*>(i_pUserData);
  std::vector<int32_t> ids;
  std::vector<std::string> names;
  int r = ReadIds(i_pMessage, ids);
  if (r == -E2BIG) return TooMany(o_pError, "ids", kMostIds);
  if (r >= 0) r = ReadNames(i_pMessage, names);
  if (r == -E2BIG) return TooMany(o_pError, "property names", kMostNames);
  if (r < 0) return r;
  if (ids.empty()) {  // all of them
    ids.push_back(0);
    for (const Item& item : pSelf->m_items) ids.push_back(item.id);
  }

  sd_bus_message* pReply = nullptr;
  r = sd_bus_message_new_method_return(i_pMessage, &pReply);
  if (r < 0) return r;
  runloop::SdBusMessagePtr reply(pReply);
  r = sd_bus_message_open_container(pReply, 'a', "(ia{sv})");
  for (const int32_t id : ids) {
    if (!pSelf->Knows(id)) continue;  // unknown ids are left out
    if (r >= 0) r = sd_bus_message_open_container(pReply, 'r', "ia{sv}");
    if (r >= 0) r = sd_bus_message_append(pReply, "i", id);
    if (r >= 0) r = AppendProperties(pReply, pSelf->Find(id), names);
    if (r >= 0) r = sd_bus_message_close_container(pReply);
  }
  if (r >= 0) r = sd_bus_message_close_container(pReply);
  return Send(reply, r);
}

int DbusMenu::OnGetProperty(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError) {
  auto* pSelf = static_cast<DbusMenu*>(i_pUserData);
  int32_t id = 0;
  const char* pName = nullptr;
  const int r = sd_bus_message_read(i_pMessage, "is", &id, &pName);
  if (r < 0) return r;
  if (!pSelf->Knows(id)) return NoSuchItem(o_pError, id);
  const std::string_view name = pName;
  const Item* pItem = pSelf->Find(id);
  if (pItem == nullptr && name == "children-display")
    return sd_bus_reply_method_return(i_pMessage, "v", "s", "submenu");
  if (pItem != nullptr && name == "label")
    return sd_bus_reply_method_return(i_pMessage, "v", "s", BusLabel(pItem->label).c_str());
  if (name == "enabled")
    return sd_bus_reply_method_return(i_pMessage, "v", "b", pItem == nullptr || pItem->enabled);
  if (name == "visible") return sd_bus_reply_method_return(i_pMessage, "v", "b", 1);
  if (name == "type") {
    const bool bSeparator = pItem != nullptr && pItem->type == Type::Separator;
    return sd_bus_reply_method_return(i_pMessage, "v", "s", bSeparator ? "separator" : "standard");
  }
  return sd_bus_error_setf(o_pError, SD_BUS_ERROR_INVALID_ARGS, "no property %s", pName);
}

void DbusMenu::Handle(int32_t i_iId, const std::string& i_strEvent) {
  if (i_iId == 0 && i_strEvent == "opened") {
    m_bOpen = true;
  } else if (i_iId == 0 && i_strEvent == "closed") {
    m_bOpen = false;
    m_bOpening = false;
    if (m_announced != m_revision) Announce();  // what was held back while it was open
  } else if (i_strEvent == "clicked") {
    const Item* pItem = Find(i_iId);
    if (pItem != nullptr && pItem->enabled && pItem->type == Type::Standard)
      Safely("menu click", [&] { m_handlers.clicked(i_iId); });
  }  // hovered and the rest: nothing to do
}

int DbusMenu::OnEvent(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError) {
  auto* pSelf = static_cast<DbusMenu*>(i_pUserData);
  int32_t id = 0;
  std::string strEvent;
  int r = ReadEvent(i_pMessage, id, strEvent);
  if (r < 0) return r;
  if (!pSelf->Knows(id)) return NoSuchItem(o_pError, id);
  r = sd_bus_reply_method_return(i_pMessage, "");  // first: the action comes after
  pSelf->Handle(id, strEvent);
  return r;
}

int DbusMenu::OnEventGroup(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError) {
  auto* pSelf = static_cast<DbusMenu*>(i_pUserData);
  std::vector<std::pair<int32_t, std::string>> events;
  int r = sd_bus_message_enter_container(i_pMessage, 'a', "(isvu)");
  while (r >= 0 && (r = sd_bus_message_enter_container(i_pMessage, 'r', "isvu")) > 0) {
    if (events.size() == kMostIds) return TooMany(o_pError, "events", kMostIds);
    auto& [id, event] = events.emplace_back();
    r = ReadEvent(i_pMessage, id, event);
    if (r >= 0) r = sd_bus_message_exit_container(i_pMessage);
  }
  if (r >= 0) r = sd_bus_message_exit_container(i_pMessage);
  if (r < 0) return r;

  std::vector<int32_t> unknown;
  for (const auto& [id, event] : events)
    if (!pSelf->Knows(id)) unknown.push_back(id);
  if (!events.empty() && unknown.size() == events.size())
    return sd_bus_error_setf(o_pError, SD_BUS_ERROR_INVALID_ARGS, "no such menu items");

  sd_bus_message* pReply = nullptr;
  r = sd_bus_message_new_method_return(i_pMessage, &pReply);
  if (r < 0) return r;
  runloop::SdBusMessagePtr reply(pReply);
  r = sd_bus_message_append_array(pReply, 'i', unknown.data(), unknown.size() * sizeof(int32_t));
  r = Send(reply, r);  // first: the actions come after
  for (const auto& [id, event] : events) pSelf->Handle(id, event);
  return r;
}

bool DbusMenu::Opening() {
  m_bOpen = false;  // in case a "closed" was lost: the next "opened" follows this call
  m_bOpening = true;
  sd_event_source_set_time_relative(m_openingTimer.get(), kOpeningGraceUs);
  sd_event_source_set_enabled(m_openingTimer.get(), SD_EVENT_ONESHOT);
  bool bChanged = false;
  Safely("menu", [&] { bChanged = Refresh(); });
  return bChanged || m_announced != m_revision;
}

int DbusMenu::OnAboutToShow(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError) {
  auto* pSelf = static_cast<DbusMenu*>(i_pUserData);
  int32_t id = 0;
  int r = sd_bus_message_read(i_pMessage, "i", &id);
  if (r < 0) return r;
  if (!pSelf->Knows(id)) return NoSuchItem(o_pError, id);
  const bool bUpdate = id == 0 && pSelf->Opening();
  r = sd_bus_reply_method_return(i_pMessage, "b", bUpdate);
  // After the reply: a Qt client that refreshed through it then skips this one.
  if (bUpdate) pSelf->Announce();
  if (id == 0) Safely("menu opening", pSelf->m_handlers.opening);
  return r;
}

int DbusMenu::OnAboutToShowGroup(sd_bus_message* i_pMessage, void* i_pUserData,
                                 sd_bus_error* o_pError) {
  auto* pSelf = static_cast<DbusMenu*>(i_pUserData);
  std::vector<int32_t> ids;
  int r = ReadIds(i_pMessage, ids);
  if (r == -E2BIG) return TooMany(o_pError, "ids", kMostIds);
  if (r < 0) return r;
  std::vector<int32_t> updates;
  std::vector<int32_t> unknown;
  bool bRoot = false;
  for (const int32_t id : ids) {
    if (!pSelf->Knows(id)) {
      unknown.push_back(id);
    } else if (id == 0 && !bRoot) {
      bRoot = true;
      if (pSelf->Opening()) updates.push_back(0);
    }
  }
  sd_bus_message* pReply = nullptr;
  r = sd_bus_message_new_method_return(i_pMessage, &pReply);
  if (r < 0) return r;
  runloop::SdBusMessagePtr reply(pReply);
  r = sd_bus_message_append_array(pReply, 'i', updates.data(), updates.size() * sizeof(int32_t));
  if (r >= 0)
    r = sd_bus_message_append_array(pReply, 'i', unknown.data(), unknown.size() * sizeof(int32_t));
  r = Send(reply, r);
  // libdbusmenu-gtk ignores the reply: the signal is what refreshes it.
  if (!updates.empty()) pSelf->Announce();
  if (bRoot) Safely("menu opening", pSelf->m_handlers.opening);
  return r;
}

}  // namespace zezar
