// The menu object bounds what one call may ask of it.

#include "hosts/tray/DbusMenu.h"

#include <gtest/gtest.h>

#include "support/PeerBus.h"

namespace zezar_test {
namespace {

class AMenuObject : public ::testing::Test {
 protected:
  AMenuObject()
      : menu(bus.server.get(), {.current =
                                    [] {
                                      return std::vector<zezar::DbusMenu::Item>{
                                          {1, "Status", false}, {1000, "Dial", true}};
                                    },
                                .opening = [] {},
                                .clicked = [](int32_t) {}}) {
    menu.Update();
  }

  // A call whose arguments i_append puts on; the reply, or null with the error's name.
  runloop::SdBusMessagePtr Call(const char* i_pMethod,
                                const std::function<int(sd_bus_message*)>& i_append,
                                std::string& o_strError) {
    sd_bus_message* pCall = nullptr;
    EXPECT_GE(
        sd_bus_message_new_method_call(bus.client.get(), &pCall, nullptr, zezar::DbusMenu::kPath,
                                       "com.canonical.dbusmenu", i_pMethod),
        0);
    const runloop::SdBusMessagePtr call(pCall);
    EXPECT_GE(i_append(pCall), 0);
    return bus.Call(pCall, o_strError);
  }

  PeerBus bus;
  zezar::DbusMenu menu;
};

int Ids(sd_bus_message* io_pCall, const std::vector<int32_t>& i_ids) {
  return sd_bus_message_append_array(io_pCall, 'i', i_ids.data(), i_ids.size() * sizeof(int32_t));
}

int Names(sd_bus_message* io_pCall, std::size_t i_uCount) {
  std::vector<std::string> names(i_uCount, "label");
  std::vector<char*> pointers;
  for (std::string& name : names) pointers.push_back(name.data());
  pointers.push_back(nullptr);
  return sd_bus_message_append_strv(io_pCall, pointers.data());
}

TEST_F(AMenuObject, RefusesListsLongerThanAPanelSends) {
  const std::vector<int32_t> manyIds(257, 1);
  struct Row {
    const char* name;
    const char* method;
    std::function<int(sd_bus_message*)> append;
  } rows[] = {
      {"properties of too many ids", "GetGroupProperties",
       [&](sd_bus_message* m) {
         const int r = Ids(m, manyIds);
         return r < 0 ? r : Names(m, 0);
       }},
      {"too many property names", "GetGroupProperties",
       [&](sd_bus_message* m) {
         const int r = Ids(m, {1});
         return r < 0 ? r : Names(m, 65);
       }},
      {"a layout of too many property names", "GetLayout",
       [&](sd_bus_message* m) {
         const int r = sd_bus_message_append(m, "ii", 0, -1);
         return r < 0 ? r : Names(m, 65);
       }},
      {"an opening of too many ids", "AboutToShowGroup",
       [&](sd_bus_message* m) { return Ids(m, manyIds); }},
      {"too many events", "EventGroup",
       [&](sd_bus_message* m) {
         int r = sd_bus_message_open_container(m, 'a', "(isvu)");
         for (int i = 0; r >= 0 && i < 257; ++i)
           r = sd_bus_message_append(m, "(isvu)", 1, "hovered", "i", 0, 0u);
         return r < 0 ? r : sd_bus_message_close_container(m);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string strError;
    EXPECT_EQ(Call(row.method, row.append, strError), nullptr);
    EXPECT_EQ(strError, SD_BUS_ERROR_INVALID_ARGS);
  }
}

TEST_F(AMenuObject, AnswersEachIdAndNameOnce) {
  std::string strError;
  const runloop::SdBusMessagePtr reply = Call(
      "GetGroupProperties",
      [](sd_bus_message* m) {
        const int r = Ids(m, std::vector<int32_t>(256, 1000));
        return r < 0 ? r : Names(m, 64);
      },
      strError);
  ASSERT_NE(reply, nullptr) << strError;
  ASSERT_GE(sd_bus_message_enter_container(reply.get(), 'a', "(ia{sv})"), 0);
  int entries = 0;
  int properties = 0;
  while (sd_bus_message_enter_container(reply.get(), 'r', "ia{sv}") > 0) {
    ++entries;
    int32_t id = 0;
    ASSERT_GE(sd_bus_message_read(reply.get(), "i", &id), 0);
    EXPECT_EQ(id, 1000);
    ASSERT_GE(sd_bus_message_enter_container(reply.get(), 'a', "{sv}"), 0);
    while (sd_bus_message_skip(reply.get(), "{sv}") > 0) ++properties;
    ASSERT_GE(sd_bus_message_exit_container(reply.get()), 0);
    ASSERT_GE(sd_bus_message_exit_container(reply.get()), 0);
  }
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(properties, 1);  // "label", named 64 times
}

}  // namespace
}  // namespace zezar_test
