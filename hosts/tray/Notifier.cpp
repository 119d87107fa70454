#include "Notifier.h"

#include <cstring>
#include <string>

#include "hosts/Log.h"

namespace zezar {

namespace {
constexpr const char* kService = "org.freedesktop.Notifications";
}  // namespace

void Notifier::Show(const Notice& i_notice) {
  sd_bus_slot* pSlot = nullptr;
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (the
  // server's default).
  const int r =
      sd_bus_call_method_async(m_pBus, &pSlot, kService, "/org/freedesktop/Notifications", kService,
                               "Notify", &Notifier::OnShown, this, "susssasa{sv}i", "Zezar", m_id,
                               "", i_notice.summary.c_str(), i_notice.body.c_str(), 0, 0, -1);
  if (r < 0) {
    Log(std::string("Notify: ") + std::strerror(-r) + ", ignoring");
    return;
  }
  // Each answer is heard (its id is the one the next notice replaces), as long as it comes
  // within a few notices.
  m_calls.emplace_back(pSlot);
  if (m_calls.size() > 4) m_calls.pop_front();
}

int Notifier::OnShown(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
  auto* pSelf = static_cast<Notifier*>(i_pUserData);
  if (const sd_bus_error* pError = sd_bus_message_get_error(i_pMessage)) {
    if (!pSelf->m_bToldNoService) {
      Log(std::string("no notifications: ") + (pError->message ? pError->message : pError->name) +
          ", ignoring");
    }
    pSelf->m_bToldNoService = true;
    return 0;
  }
  uint32_t id = 0;
  if (sd_bus_message_read(i_pMessage, "u", &id) >= 0) pSelf->m_id = id;
  return 0;
}

}  // namespace zezar
