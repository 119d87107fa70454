#include "hosts/tray/StatusNotifierItem.h"

#include <cstring>
#include <ctime>
#include <string_view>

#include "Safely.h"
#include "hosts/Log.h"
#include "runloop/SdCheck.h"

namespace zezar {

namespace {

constexpr const char* kInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";

int AppendPixmaps(sd_bus_message* io_pReply, const std::vector<drawing::Pixmap>& i_pixmaps) {
  int r = sd_bus_message_open_container(io_pReply, 'a', "(iiay)");
  for (const drawing::Pixmap& pixmap : i_pixmaps) {
    if (r >= 0) r = sd_bus_message_open_container(io_pReply, 'r', "iiay");
    if (r >= 0) r = sd_bus_message_append(io_pReply, "ii", pixmap.width, pixmap.height);
    if (r >= 0)
      r = sd_bus_message_append_array(io_pReply, 'y', pixmap.argb.data(), pixmap.argb.size());
    if (r >= 0) r = sd_bus_message_close_container(io_pReply);
  }
  if (r >= 0) r = sd_bus_message_close_container(io_pReply);
  return r;
}

}  // namespace

#define ZEZAR_PROPERTY(name, signature, flags) \
  SD_BUS_PROPERTY(name, signature, StatusNotifierItem::GetProperty, 0, flags)

// Activate stays out of the introspection data: GNOME's extension would otherwise wait a double
// click's time before it opens the menu. Panels that call it still get an answer: an error, on
// which Plasma opens the menu instead (it does not read ItemIsMenu).
const sd_bus_vtable StatusNotifierItem::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    ZEZAR_PROPERTY("Category", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("Id", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("Title", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("Status", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("WindowId", "i", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("IconName", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("IconThemePath", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("IconPixmap", "a(iiay)", 0),
    ZEZAR_PROPERTY("OverlayIconName", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("OverlayIconPixmap", "a(iiay)", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("AttentionIconName", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("AttentionIconPixmap", "a(iiay)", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("AttentionMovieName", "s", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("ToolTip", "(sa(iiay)ss)", 0),
    ZEZAR_PROPERTY("IconAccessibleDesc", "s", 0),
    ZEZAR_PROPERTY("AttentionAccessibleDesc", "s", 0),
    ZEZAR_PROPERTY("ItemIsMenu", "b", SD_BUS_VTABLE_PROPERTY_CONST),
    ZEZAR_PROPERTY("Menu", "o", SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD_WITH_ARGS("Activate", SD_BUS_ARGS("i", x, "i", y), SD_BUS_NO_RESULT,
                            StatusNotifierItem::OnActivate, SD_BUS_VTABLE_HIDDEN),
    SD_BUS_METHOD_WITH_ARGS("SecondaryActivate", SD_BUS_ARGS("i", x, "i", y), SD_BUS_NO_RESULT,
                            StatusNotifierItem::OnActivate, 0),
    SD_BUS_METHOD_WITH_ARGS("ContextMenu", SD_BUS_ARGS("i", x, "i", y), SD_BUS_NO_RESULT,
                            StatusNotifierItem::OnIgnored, 0),
    SD_BUS_METHOD_WITH_ARGS("Scroll", SD_BUS_ARGS("i", delta, "s", orientation), SD_BUS_NO_RESULT,
                            StatusNotifierItem::OnIgnored, 0),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL_WITH_ARGS("NewStatus", SD_BUS_ARGS("s", status), 0),
    SD_BUS_VTABLE_END,
};

#undef ZEZAR_PROPERTY

bool StatusNotifierItem::WatcherPresent() {
  sd_bus* pBus = nullptr;
  if (sd_bus_open_user(&pBus) < 0) return false;
  const runloop::SdBusPtr bus(pBus);
  runloop::BusError error;
  sd_bus_message* pReply = nullptr;
  if (sd_bus_call_method(pBus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", error.get(), &pReply, "s",
                         kWatcher) < 0) {
    return false;
  }
  const runloop::SdBusMessagePtr reply(pReply);
  int bHasOwner = 0;
  return sd_bus_message_read(pReply, "b", &bHasOwner) >= 0 && bHasOwner != 0;
}

StatusNotifierItem::StatusNotifierItem(sd_bus* io_pBus, std::string i_strMenuPath)
    : m_pBus(io_pBus), m_strMenuPath(std::move(i_strMenuPath)) {
  sd_bus_slot* pSlot = nullptr;
  runloop::Check(sd_bus_add_object_vtable(m_pBus, &pSlot, kPath, kInterface, kVtable, this),
                 std::string("sd_bus_add_object_vtable ") + kPath);
  m_object.reset(pSlot);
}

int StatusNotifierItem::GetProperty(sd_bus*, const char*, const char*, const char* i_pProperty,
                                    sd_bus_message* io_pReply, void* i_pUserData, sd_bus_error*) {
  const auto* pSelf = static_cast<const StatusNotifierItem*>(i_pUserData);
  const std::string_view property = i_pProperty;
  if (property == "Category") return sd_bus_message_append(io_pReply, "s", "Hardware");
  if (property == "Id") return sd_bus_message_append(io_pReply, "s", "zezar");
  if (property == "Title") return sd_bus_message_append(io_pReply, "s", "Zezar");
  if (property == "Status") return sd_bus_message_append(io_pReply, "s", "Active");
  if (property == "WindowId") return sd_bus_message_append(io_pReply, "i", 0);
  if (property == "IconPixmap") return AppendPixmaps(io_pReply, pSelf->m_icon);
  if (property == "OverlayIconPixmap" || property == "AttentionIconPixmap")
    return AppendPixmaps(io_pReply, {});
  // No attention state of its own: whatever the icon shows is described the same way.
  if (property == "IconAccessibleDesc" || property == "AttentionAccessibleDesc")
    return sd_bus_message_append(io_pReply, "s", pSelf->m_words.description.c_str());
  if (property == "ToolTip") {
    int r = sd_bus_message_open_container(io_pReply, 'r', "sa(iiay)ss");
    if (r >= 0) r = sd_bus_message_append(io_pReply, "s", "");
    if (r >= 0) r = AppendPixmaps(io_pReply, {});
    if (r >= 0)
      r = sd_bus_message_append(io_pReply, "ss", pSelf->m_words.toolTip.title.c_str(),
                                pSelf->m_words.toolTip.text.c_str());
    if (r >= 0) r = sd_bus_message_close_container(io_pReply);
    return r;
  }
  if (property == "ItemIsMenu") return sd_bus_message_append(io_pReply, "b", 1);
  if (property == "Menu")
    return sd_bus_message_append(io_pReply, "o", pSelf->m_strMenuPath.c_str());
  return sd_bus_message_append(io_pReply, "s", "");  // the names: no themed icons
}

int StatusNotifierItem::OnActivate(sd_bus_message*, void* i_pUserData,
                                   sd_bus_error* o_pError) {
  auto* pSelf = static_cast<StatusNotifierItem*>(i_pUserData);
  if (pSelf->onActivate) Safely("Activate", pSelf->onActivate);
  // The item is its menu; a panel that shows the menu only when activating fails shows it now.
  return sd_bus_error_set(o_pError, SD_BUS_ERROR_NOT_SUPPORTED, "the item only has a menu");
}

int StatusNotifierItem::OnIgnored(sd_bus_message* i_pMessage, void*, sd_bus_error*) {
  return sd_bus_reply_method_return(i_pMessage, "");
}

void StatusNotifierItem::Register() {
  sd_bus_slot* pSlot = nullptr;
  runloop::Check(
      sd_bus_add_match_async(m_pBus, &pSlot,
                             "type='signal',sender='org.freedesktop.DBus',"
                             "path='/org/freedesktop/DBus',interface='org.freedesktop.DBus',"
                             "member='NameOwnerChanged',arg0='org.kde.StatusNotifierWatcher'",
                             &StatusNotifierItem::OnWatcherOwner, nullptr, this),
      "sd_bus_add_match_async NameOwnerChanged");
  m_watcherMatch.reset(pSlot);
  AwaitStatusArea();
  CallRegister();
}

void StatusNotifierItem::AwaitStatusArea() {
  sd_event* pEvent = sd_bus_get_event(m_pBus);
  if (m_noStatusArea || pEvent == nullptr) return;
  sd_event_source* pSource = nullptr;
  const int r = sd_event_add_time_relative(pEvent, &pSource, CLOCK_MONOTONIC, kNoStatusAreaAfter, 0,
                                           &StatusNotifierItem::OnNoStatusArea, this);
  if (r < 0) {
    Log(std::string("sd_event_add_time_relative no status area: ") + std::strerror(-r) +
        ", ignoring");
    return;
  }
  m_noStatusArea.reset(pSource);
  sd_event_source_set_description(pSource, "no status area");
}

int StatusNotifierItem::OnNoStatusArea(sd_event_source*, uint64_t, void* i_pUserData) {
  auto* pSelf = static_cast<StatusNotifierItem*>(i_pUserData);
  if (pSelf->onNoStatusArea) Safely("no status area", pSelf->onNoStatusArea);
  return 0;
}

void StatusNotifierItem::CallRegister() {
  sd_bus_slot* pSlot = nullptr;
  const int r = sd_bus_call_method_async(
      m_pBus, &pSlot, kWatcher, "/StatusNotifierWatcher", kWatcher, "RegisterStatusNotifierItem",
      &StatusNotifierItem::OnRegistered, this, "s", kPath);
  if (r < 0) {
    Log(std::string("RegisterStatusNotifierItem: ") + std::strerror(-r) + ", ignoring");
    return;
  }
  m_registration.reset(pSlot);  // a call still in flight is dropped: its answer is stale
}

int StatusNotifierItem::OnRegistered(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
  auto* pSelf = static_cast<StatusNotifierItem*>(i_pUserData);
  const sd_bus_error* pError = sd_bus_message_get_error(i_pMessage);
  if (pError == nullptr) {
    pSelf->m_noStatusArea.reset();  // shown; a status area that goes may be told of again
    return 0;
  }
  // No watcher (yet): it registers when one appears; the notice tells of a long wait.
  if (sd_bus_error_has_name(pError, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
      sd_bus_error_has_name(pError, SD_BUS_ERROR_NAME_HAS_NO_OWNER))
    return 0;
  Log(std::string("RegisterStatusNotifierItem: ") +
      (pError->message ? pError->message : pError->name) + ", ignoring");
  return 0;
}

int StatusNotifierItem::OnWatcherOwner(sd_bus_message* i_pMessage, void* i_pUserData,
                                       sd_bus_error*) {
  const char* pName = nullptr;
  const char* pOldOwner = nullptr;
  const char* pNewOwner = nullptr;
  if (sd_bus_message_read(i_pMessage, "sss", &pName, &pOldOwner, &pNewOwner) < 0) return 0;
  auto* pSelf = static_cast<StatusNotifierItem*>(i_pUserData);
  if (pNewOwner != nullptr && *pNewOwner != '\0') {
    pSelf->CallRegister();
  } else {
    pSelf->AwaitStatusArea();  // the panel has gone; it may come back
  }
  return 0;
}

void StatusNotifierItem::Show(std::optional<std::vector<drawing::Pixmap>> i_icon,
                              const Words& i_words) {
  bool bNewIcon = i_words.description != m_words.description;
  const bool bNewToolTip = i_words.toolTip != m_words.toolTip;
  if (i_icon && *i_icon != m_icon) {
    m_icon = std::move(*i_icon);
    bNewIcon = true;
  }
  if (bNewIcon || bNewToolTip) m_words = i_words;
  if (bNewIcon) Emit("NewIcon");
  if (bNewToolTip) Emit("NewToolTip");
}

void StatusNotifierItem::Emit(const char* i_pSignal) {
  const int r = sd_bus_emit_signal(m_pBus, kPath, kInterface, i_pSignal, "");
  if (r < 0 && m_toldFailures.insert(r).second)
    Log(std::string(i_pSignal) + ": " + std::strerror(-r) + ", ignoring");
}

}  // namespace zezar
