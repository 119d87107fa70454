// The tray's menu object as a panel's calls reach it: every dbusmenu method, with ids, depths,
// property names, event names and event data chosen by the input, against menus of the input's
// shape, on a peer-to-peer bus inside this process. Nothing a panel sends may crash it; every
// call is answered (a reply or an error).

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "hosts/tray/DbusMenu.h"
#include "support/PeerBus.h"

namespace {

// Reads the input from the front; zeros once it is used up.
class Input {
 public:
  Input(const uint8_t* i_pData, size_t i_uSize) : m_pData(i_pData), m_uSize(i_uSize) {}
  bool Empty() const { return m_uSize == 0; }
  uint8_t Byte() {
    if (m_uSize == 0) return 0;
    --m_uSize;
    return *m_pData++;
  }
  int32_t Id() {  // mostly small ids, now and then any
    const uint8_t kind = Byte();
    if (kind < 200) return kind % 12;
    return static_cast<int32_t>(static_cast<uint32_t>(Byte()) << 24 | Byte() << 16 | Byte() << 8 |
                                Byte());
  }
  std::string Text() {
    std::string strText;
    for (uint8_t length = Byte() % 24; length > 0; --length) strText += static_cast<char>(Byte());
    return strText;
  }

 private:
  const uint8_t* m_pData;
  size_t m_uSize;
};

std::vector<zezar::DbusMenu::Item> g_items;  // the menu as it stands for this input
int g_iOpenings = 0;
int g_iClicks = 0;

struct Peers {
  Peers()
      : menu(bus.server.get(), zezar::DbusMenu::Handlers{.current = [] { return g_items; },
                                                         .opening = [] { ++g_iOpenings; },
                                                         .clicked = [](int32_t) { ++g_iClicks; }}) {
  }
  zezar_test::PeerBus bus;
  zezar::DbusMenu menu;
};

// One call with arguments of the input's choosing; false when they cannot be put on the bus.
bool Append(sd_bus_message* io_pCall, int i_iMethod, Input& io_input) {
  const auto ids = [&]() {
    std::vector<int32_t> list;
    for (uint8_t count = io_input.Byte() % 6; count > 0; --count) list.push_back(io_input.Id());
    return sd_bus_message_append_array(io_pCall, 'i', list.data(), list.size() * sizeof(int32_t));
  };
  const auto names = [&]() {
    std::vector<std::string> strings;
    for (uint8_t count = io_input.Byte() % 4; count > 0; --count)
      strings.push_back(io_input.Text());
    std::vector<char*> pointers;
    for (std::string& name : strings) pointers.push_back(name.data());
    pointers.push_back(nullptr);
    return sd_bus_message_append_strv(io_pCall, pointers.data());
  };
  const auto event = [&]() {
    static const char* const kEvents[] = {"clicked", "opened", "closed", "hovered"};
    const uint8_t which = io_input.Byte();
    const std::string strEvent = which < 200 ? kEvents[which % 4] : io_input.Text();
    int r = sd_bus_message_append(io_pCall, "is", io_input.Id(), strEvent.c_str());
    if (r >= 0) {
      r = io_input.Byte() % 2 == 0
              ? sd_bus_message_append(io_pCall, "v", "i", io_input.Id())
              : sd_bus_message_append(io_pCall, "v", "s", io_input.Text().c_str());
    }
    if (r >= 0) r = sd_bus_message_append(io_pCall, "u", static_cast<uint32_t>(io_input.Id()));
    return r;
  };
  int r = 0;
  switch (i_iMethod) {
    case 0:  // GetLayout
      r = sd_bus_message_append(io_pCall, "ii", io_input.Id(),
                                static_cast<int8_t>(io_input.Byte()));
      if (r >= 0) r = names();
      break;
    case 1:  // GetGroupProperties
      r = ids();
      if (r >= 0) r = names();
      break;
    case 2:  // GetProperty
      r = sd_bus_message_append(io_pCall, "is", io_input.Id(), io_input.Text().c_str());
      break;
    case 3:  // Event
      r = event();
      break;
    case 4:  // EventGroup
      r = sd_bus_message_open_container(io_pCall, 'a', "(isvu)");
      for (uint8_t count = io_input.Byte() % 4; r >= 0 && count > 0; --count) {
        r = sd_bus_message_open_container(io_pCall, 'r', "isvu");
        if (r >= 0) r = event();
        if (r >= 0) r = sd_bus_message_close_container(io_pCall);
      }
      if (r >= 0) r = sd_bus_message_close_container(io_pCall);
      break;
    case 5:  // AboutToShow
      r = sd_bus_message_append(io_pCall, "i", io_input.Id());
      break;
    case 6:  // AboutToShowGroup
      r = ids();
      break;
    default:  // arguments of the wrong types
      r = sd_bus_message_append(io_pCall, "s", io_input.Text().c_str());
      break;
  }
  return r >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  static Peers peers;
  Input input(i_pData, i_uSize);
  g_items.clear();
  for (uint8_t count = input.Byte() % 6; count > 0; --count) {
    const int32_t id = input.Id();
    if (id == 0) continue;  // the root's
    g_items.push_back({id, input.Text(), input.Byte() % 2 == 0});
  }
  peers.menu.Update();

  static const char* const kMethods[] = {"GetLayout",       "GetGroupProperties", "GetProperty",
                                         "Event",           "EventGroup",         "AboutToShow",
                                         "AboutToShowGroup"};
  for (int calls = 0; calls < 8 && !input.Empty(); ++calls) {
    const int method = input.Byte() % 8;
    sd_bus_message* pCall = nullptr;
    if (sd_bus_message_new_method_call(peers.bus.client.get(), &pCall, nullptr,
                                       zezar::DbusMenu::kPath, "com.canonical.dbusmenu",
                                       kMethods[method % 7]) < 0) {
      std::abort();
    }
    const runloop::SdBusMessagePtr call(pCall);
    if (!Append(pCall, method, input)) continue;  // not UTF-8: no panel can send it either
    std::string strError;
    const runloop::SdBusMessagePtr reply = peers.bus.Call(pCall, strError);
    if (strError == "no answer") std::abort();  // every call gets its answer
    if (input.Byte() % 4 == 0) {
      g_items.push_back({input.Id(), input.Text(), true});  // the menu changes meanwhile
      if (g_items.back().id == 0) g_items.pop_back();
      peers.menu.Update();
    }
  }
  return 0;
}
