#include "support/PanelPeer.h"

#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace zezar_test {

namespace {

constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";

int NoProperty(sd_bus*, const char*, const char*, const char* i_pProperty,
               sd_bus_message* io_pReply, void*, sd_bus_error*) {
  const std::string property = i_pProperty;
  if (property == "ProtocolVersion") return sd_bus_message_append(io_pReply, "i", 0);
  if (property == "IsStatusNotifierHostRegistered") return sd_bus_message_append(io_pReply, "b", 1);
  return sd_bus_message_append_strv(io_pReply, nullptr);
}

int OnHost(sd_bus_message* i_pMessage, void*, sd_bus_error*) {
  return sd_bus_reply_method_return(i_pMessage, "");
}

}  // namespace

PanelPeer::PanelPeer(const std::string& i_strAddress) {
  sd_bus* pBus = nullptr;
  if (sd_bus_new(&pBus) < 0) throw std::runtime_error("sd_bus_new");
  m_bus.reset(pBus);
  if (sd_bus_set_address(pBus, i_strAddress.c_str()) < 0 || sd_bus_set_bus_client(pBus, 1) < 0 ||
      sd_bus_start(pBus) < 0) {
    throw std::runtime_error("cannot connect to the test's session bus");
  }
  for (const char* pMember : {"NewIcon", "NewToolTip", "NewStatus", "NewTitle", "LayoutUpdated"}) {
    sd_bus_slot* pSlot = nullptr;
    if (sd_bus_match_signal(pBus, &pSlot, nullptr, nullptr, nullptr, pMember, &PanelPeer::OnSignal,
                            this) < 0) {
      throw std::runtime_error("sd_bus_match_signal");
    }
    m_matches.emplace_back(pSlot);
  }
}

void PanelPeer::StartWatcher() {
  static const sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", &PanelPeer::OnRegister, 0),
      SD_BUS_METHOD("RegisterStatusNotifierHost", "s", "", OnHost, 0),
      SD_BUS_PROPERTY("RegisteredStatusNotifierItems", "as", NoProperty, 0, 0),
      SD_BUS_PROPERTY("IsStatusNotifierHostRegistered", "b", NoProperty, 0, 0),
      SD_BUS_PROPERTY("ProtocolVersion", "i", NoProperty, 0, 0),
      SD_BUS_VTABLE_END,
  };
  sd_bus_slot* pSlot = nullptr;
  if (sd_bus_add_object_vtable(bus(), &pSlot, "/StatusNotifierWatcher", kWatcher, kVtable, this) <
          0 ||
      sd_bus_request_name(bus(), kWatcher, 0) < 0) {
    throw std::runtime_error("cannot be the watcher");
  }
  m_watcherObject.reset(pSlot);
}

void PanelPeer::StopWatcher() {
  sd_bus_release_name(bus(), kWatcher);
  m_watcherObject.reset();
}

void PanelPeer::StartNotifications() {
  static const sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", &PanelPeer::OnNotify, 0),
      SD_BUS_VTABLE_END,
  };
  sd_bus_slot* pSlot = nullptr;
  if (sd_bus_add_object_vtable(bus(), &pSlot, "/org/freedesktop/Notifications",
                               "org.freedesktop.Notifications", kVtable, this) < 0 ||
      sd_bus_request_name(bus(), "org.freedesktop.Notifications", 0) < 0) {
    throw std::runtime_error("cannot be the notification service");
  }
  m_notificationsObject.reset(pSlot);
}

void PanelPeer::StartPortal() {
  static const sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("OpenFile", "sha{sv}", "o", &PanelPeer::OnOpenFile, 0),
      SD_BUS_VTABLE_END,
  };
  sd_bus_slot* pSlot = nullptr;
  if (sd_bus_add_object_vtable(bus(), &pSlot, "/org/freedesktop/portal/desktop",
                               "org.freedesktop.portal.OpenURI", kVtable, this) < 0 ||
      sd_bus_request_name(bus(), "org.freedesktop.portal.Desktop", 0) < 0) {
    throw std::runtime_error("cannot be the desktop portal");
  }
  m_portalObject.reset(pSlot);
}

int PanelPeer::OnOpenFile(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
  const char* pWindow = nullptr;
  int fd = -1;
  if (sd_bus_message_read(i_pMessage, "sh", &pWindow, &fd) < 0) return -EINVAL;
  std::error_code error;
  const std::filesystem::path file =
      std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
  static_cast<PanelPeer*>(i_pUserData)->m_openedFiles.push_back(error ? "?" : file.string());
  return sd_bus_reply_method_return(i_pMessage, "o", "/org/freedesktop/portal/desktop/request/1");
}

int PanelPeer::OnNotify(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
  auto* pSelf = static_cast<PanelPeer*>(i_pUserData);
  const char* pApp = nullptr;
  uint32_t replaces = 0;
  const char* pIcon = nullptr;
  const char* pSummary = nullptr;
  const char* pBody = nullptr;
  if (sd_bus_message_read(i_pMessage, "susss", &pApp, &replaces, &pIcon, &pSummary, &pBody) < 0)
    return -EINVAL;
  pSelf->m_notices.push_back({pSummary, pBody, replaces});
  return sd_bus_reply_method_return(i_pMessage, "u",
                                    static_cast<uint32_t>(pSelf->m_notices.size()));
}

int PanelPeer::OnRegister(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
  const char* pService = nullptr;
  if (sd_bus_message_read(i_pMessage, "s", &pService) < 0) return -EINVAL;
  // As watchers take it: a path is the caller's, a bus name has the usual path.
  const std::string service = pService;
  static_cast<PanelPeer*>(i_pUserData)
      ->m_registrations.push_back(service.rfind('/', 0) == 0
                                      ? sd_bus_message_get_sender(i_pMessage) + service
                                      : service + "/StatusNotifierItem");
  return sd_bus_reply_method_return(i_pMessage, "");
}

int PanelPeer::OnSignal(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
  auto* pSelf = static_cast<PanelPeer*>(i_pUserData);
  const std::string member = sd_bus_message_get_member(i_pMessage);
  ++pSelf->m_signals[member];
  uint32_t revision = 0;
  if (member == "LayoutUpdated" && sd_bus_message_read(i_pMessage, "u", &revision) >= 0)
    pSelf->m_revisions.push_back(revision);
  return 0;
}

int PanelPeer::Signals(const std::string& i_strMember) const {
  const auto found = m_signals.find(i_strMember);
  return found == m_signals.end() ? 0 : found->second;
}

bool PanelPeer::WaitFor(const std::function<bool()>& i_condition,
                        std::chrono::milliseconds i_deadline) {
  const auto until = std::chrono::steady_clock::now() + i_deadline;
  for (;;) {
    while (sd_bus_process(bus(), nullptr) > 0) {
    }
    if (i_condition()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    sd_bus_wait(bus(), static_cast<uint64_t>(std::min<int64_t>(left.count(), 50'000)));
  }
}

bool PanelPeer::HasOwner(const std::string& i_strName) {
  std::string strError;
  const runloop::SdBusMessagePtr reply =
      Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
           strError, std::chrono::milliseconds(5000), "s", i_strName.c_str());
  int bOwned = 0;
  return reply && sd_bus_message_read(reply.get(), "b", &bOwned) >= 0 && bOwned != 0;
}

std::string PanelPeer::Owner(const std::string& i_strName) {
  std::string strError;
  const runloop::SdBusMessagePtr reply =
      Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
           strError, std::chrono::milliseconds(5000), "s", i_strName.c_str());
  const char* pOwner = nullptr;
  if (!reply || sd_bus_message_read(reply.get(), "s", &pOwner) < 0) return "";
  return pOwner;
}

bool PanelPeer::RoundTrip(const std::string& i_strName, std::chrono::milliseconds i_timeout) {
  std::string strError;
  const bool bAnswered =
      Call(i_strName, "/", "org.freedesktop.DBus.Peer", "Ping", strError, i_timeout, "") != nullptr;
  while (sd_bus_process(bus(), nullptr) > 0) {
  }
  return bAnswered;
}

runloop::SdBusMessagePtr PanelPeer::Send(sd_bus_message* i_pCall, std::string& o_strError,
                                         std::chrono::milliseconds i_timeout) {
  runloop::BusError error;
  sd_bus_message* pReply = nullptr;
  const int r = sd_bus_call(bus(), i_pCall, static_cast<uint64_t>(i_timeout.count()) * 1000,
                            error.get(), &pReply);
  if (r < 0) {
    o_strError = error.get()->name != nullptr ? error.get()->name : "failed";
    return nullptr;
  }
  o_strError.clear();
  return runloop::SdBusMessagePtr(pReply);
}

}  // namespace zezar_test
