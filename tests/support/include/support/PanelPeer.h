#pragma once

// The panel's side of the session bus, scripted by a test: the status notifier watcher (it
// records every item that registers), and a host that reads the item's properties, walks its
// menu, clicks, and counts the signals the item sends. Every wait has a deadline.

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runloop/SdBus.h"

namespace zezar_test {

class PanelPeer {
 public:
  static constexpr std::chrono::milliseconds kDeadline{10'000};

  explicit PanelPeer(const std::string& i_strAddress);

  sd_bus* bus() const { return m_bus.get(); }

  // Owns org.kde.StatusNotifierWatcher, as a panel that starts; Release gives it up, as one
  // that stops.
  void StartWatcher();
  void StopWatcher();
  // Each item registered, as the watcher names it: "<bus name>/<object path>".
  const std::vector<std::string>& Registrations() const { return m_registrations; }

  // Owns org.freedesktop.Notifications, as a desktop's notification daemon, and records each
  // notice: its summary, its body, and the id it replaces (0 for none).
  struct Notice {
    std::string summary;
    std::string body;
    uint32_t replaces;
  };
  void StartNotifications();
  const std::vector<Notice>& Notices() const { return m_notices; }

  // Owns org.freedesktop.portal.Desktop with OpenURI.OpenFile, as a desktop's portal, and
  // records the file behind each descriptor it is given.
  void StartPortal();
  const std::vector<std::string>& OpenedFiles() const { return m_openedFiles; }

  // Dispatches what arrives until the condition holds; false when the deadline passes first.
  bool WaitFor(const std::function<bool()>& i_condition,
               std::chrono::milliseconds i_deadline = kDeadline);
  bool HasOwner(const std::string& i_strName);
  std::string Owner(const std::string& i_strName);  // its unique name; "" when none
  // A round trip to a peer, then everything that arrived is dispatched. The peer answers after
  // all it sent before, and the bus keeps each sender's order: on true, every signal and call
  // it sent earlier has been counted here.
  bool RoundTrip(const std::string& i_strName, std::chrono::milliseconds i_timeout = kDeadline);

  // One method call, answered within the timeout (the reply), or an error (its name in
  // o_strError, the reply null).
  template <class... Args>
  runloop::SdBusMessagePtr Call(const std::string& i_strDestination, const char* i_pPath,
                                const char* i_pInterface, const char* i_pMember,
                                std::string& o_strError, std::chrono::milliseconds i_timeout,
                                const char* i_pTypes, Args... i_args) {
    const runloop::SdBusMessagePtr call =
        Message(i_strDestination, i_pPath, i_pInterface, i_pMember, i_pTypes, i_args...);
    if (!call) {
      o_strError = "cannot make the call";
      return nullptr;
    }
    return Send(call.get(), o_strError, i_timeout);
  }

  // One method call sent without waiting for its answer, as a panel busy with other things.
  template <class... Args>
  bool Post(const std::string& i_strDestination, const char* i_pPath, const char* i_pInterface,
            const char* i_pMember, const char* i_pTypes, Args... i_args) {
    const runloop::SdBusMessagePtr call =
        Message(i_strDestination, i_pPath, i_pInterface, i_pMember, i_pTypes, i_args...);
    return call && sd_bus_send(bus(), call.get(), nullptr) >= 0;
  }

  // How many of each signal the item has sent since the count was last reset.
  int Signals(const std::string& i_strMember) const;
  // The menu revision each LayoutUpdated announced since then, in order.
  const std::vector<uint32_t>& Revisions() const { return m_revisions; }
  void ResetSignals() {
    m_signals.clear();
    m_revisions.clear();
  }

 private:
  template <class... Args>
  runloop::SdBusMessagePtr Message(const std::string& i_strDestination, const char* i_pPath,
                                   const char* i_pInterface, const char* i_pMember,
                                   const char* i_pTypes, Args... i_args) {
    sd_bus_message* pCall = nullptr;
    if (sd_bus_message_new_method_call(bus(), &pCall, i_strDestination.c_str(), i_pPath,
                                       i_pInterface, i_pMember) < 0) {
      return nullptr;
    }
    runloop::SdBusMessagePtr call(pCall);
    if (*i_pTypes != '\0' && sd_bus_message_append(pCall, i_pTypes, i_args...) < 0) return nullptr;
    return call;
  }
  runloop::SdBusMessagePtr Send(sd_bus_message* i_pCall, std::string& o_strError,
                                std::chrono::milliseconds i_timeout);
  static int OnRegister(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnSignal(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnNotify(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);
  static int OnOpenFile(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError);

  runloop::SdBusPtr m_bus;
  runloop::SdBusSlotPtr m_watcherObject;
  runloop::SdBusSlotPtr m_notificationsObject;
  runloop::SdBusSlotPtr m_portalObject;
  std::vector<std::string> m_openedFiles;
  std::vector<Notice> m_notices;
  std::vector<runloop::SdBusSlotPtr> m_matches;
  std::vector<std::string> m_registrations;
  std::map<std::string, int> m_signals;
  std::vector<uint32_t> m_revisions;
};

}  // namespace zezar_test
