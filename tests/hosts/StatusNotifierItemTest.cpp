// The status item announces each change once, in the signal panels re-read it by.

#include "hosts/tray/StatusNotifierItem.h"

#include <gtest/gtest.h>

#include <map>

#include "support/PeerBus.h"

namespace zezar_test {
namespace {

using zezar::StatusNotifierItem;

class AStatusItem : public ::testing::Test {
 protected:
  AStatusItem() : item(bus.server.get(), "/MenuBar") {
    sd_bus_slot* pSlot = nullptr;
    EXPECT_GE(sd_bus_match_signal(bus.client.get(), &pSlot, nullptr, StatusNotifierItem::kPath,
                                  "org.kde.StatusNotifierItem", nullptr, &AStatusItem::OnSignal,
                                  this),
              0);
    match.reset(pSlot);
  }

  // The signals sent since the last look: the item sent them before it answers a call.
  std::map<std::string, int> Signals() {
    String("Title");
    return std::exchange(signals, {});
  }

  std::string String(const char* i_pProperty) {
    sd_bus_message* pCall = nullptr;
    EXPECT_GE(sd_bus_message_new_method_call(bus.client.get(), &pCall, nullptr,
                                             StatusNotifierItem::kPath,
                                             "org.freedesktop.DBus.Properties", "Get"),
              0);
    const runloop::SdBusMessagePtr call(pCall);
    EXPECT_GE(sd_bus_message_append(pCall, "ss", "org.kde.StatusNotifierItem", i_pProperty), 0);
    std::string strError;
    const runloop::SdBusMessagePtr reply = bus.Call(pCall, strError);
    const char* pValue = nullptr;
    if (!reply || sd_bus_message_read(reply.get(), "v", "s", &pValue) < 0) return "error " + strError;
    return pValue;
  }

  static int OnSignal(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
    ++static_cast<AStatusItem*>(i_pUserData)->signals[sd_bus_message_get_member(i_pMessage)];
    return 0;
  }

  PeerBus bus;
  StatusNotifierItem item;
  runloop::SdBusSlotPtr match;
  std::map<std::string, int> signals;
};

drawing::Pixmap Dot(uint8_t i_alpha) { return {.width = 1, .height = 1, .argb = {i_alpha, 0, 0, 0}}; }

TEST_F(AStatusItem, AnnouncesEachChangeOnceInTheSignalPanelsReReadItBy) {
  const StatusNotifierItem::Words online = {
      .description = "Online on 2 channels, in 43 %, out 13 %",
      .toolTip = {.title = "Online on 2 channels, in 43 %, out 13 %", .text = "since 09:41"}};
  StatusNotifierItem::Words described = online;
  described.description = "Offline since 09:45";
  StatusNotifierItem::Words tipped = online;
  tipped.toolTip.text = "since 09:42";
  using Counts = std::map<std::string, int>;
  struct Row {
    const char* name;
    std::optional<std::vector<drawing::Pixmap>> icon;
    StatusNotifierItem::Words words;
    Counts expected;
  } rows[] = {
      {"the first look", std::vector{Dot(1), Dot(2)}, online, {{"NewIcon", 1}, {"NewToolTip", 1}}},
      {"nothing new", std::vector{Dot(1), Dot(2)}, online, {}},
      {"no new drawing", std::nullopt, online, {}},
      {"the pictures only", std::vector{Dot(1), Dot(3)}, online, {{"NewIcon", 1}}},
      // Panels read the description with the icon.
      {"the description only", std::nullopt, described, {{"NewIcon", 1}}},
      {"pictures and description at once", std::vector{Dot(4)}, online, {{"NewIcon", 1}}},
      {"the tooltip only", std::nullopt, tipped, {{"NewToolTip", 1}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    item.Show(row.icon, row.words);
    EXPECT_EQ(Signals(), row.expected);
    EXPECT_EQ(String("IconAccessibleDesc"), row.words.description);
    EXPECT_EQ(String("AttentionAccessibleDesc"), row.words.description);
  }
  EXPECT_EQ(String("Title"), "Zezar");
}

}  // namespace
}  // namespace zezar_test
