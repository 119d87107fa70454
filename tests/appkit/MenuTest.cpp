#include <gtest/gtest.h>

#include "appkit/NSBundle.h"
#include "appkit/NSMenu.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

struct Counter : NSObject {
  void Count(NSMenuItem*) { ++count; }
  void Other(NSMenuItem*) { ++other; }
  int count = 0;
  int other = 0;
};

struct Stranger : NSObject {
  void Count(NSMenuItem*) { ++count; }
  int count = 0;
};

// A target whose action empties the menu that holds the chosen item.
struct Rebuilder : NSObject {
  void Rebuild(NSMenuItem*) {
    while (menu->numberOfItems() != 0) menu->removeItemAtIndex(0);
    ++count;
  }
  NSMenu* menu = nullptr;
  int count = 0;
};

TEST(AMenu, KeepsItsItemsInOrder) {
  NSMenu menu("");
  menu.setAutoenablesItems(false);
  EXPECT_FALSE(menu.autoenablesItems());
  menu.addItemWithTitleActionKeyEquivalent("a", {}, "");
  menu.addItemWithTitleActionKeyEquivalent("b", &Counter::Count, "k");
  menu.addItemWithTitleActionKeyEquivalent("c", {}, "");
  ASSERT_EQ(menu.numberOfItems(), 3);
  EXPECT_EQ(menu.itemAtIndex(1)->title(), "b");
  EXPECT_EQ(menu.itemAtIndex(1)->keyEquivalent(), "k");
  EXPECT_TRUE(menu.itemAtIndex(1)->isEnabled());
  EXPECT_EQ(menu.itemAtIndex(1)->target(), nullptr);
  menu.removeItemAtIndex(0);
  menu.removeItemAtIndex(5);
  menu.removeItemAtIndex(-1);
  ASSERT_EQ(menu.numberOfItems(), 2);
  EXPECT_EQ(menu.itemAtIndex(0)->title(), "b");
  EXPECT_EQ(menu.itemAtIndex(2), nullptr);
}

TEST(AMenuItem, SendsItsActionToItsTargetOnly) {
  Counter counter;
  Stranger stranger;
  NSMenuItem item("Dial", &Counter::Count, "");
  EXPECT_TRUE(item.action().Is(&Counter::Count));
  EXPECT_FALSE(item.action().Is(&Counter::Other));
  EXPECT_FALSE(item.action().Is(&Stranger::Count));

  item.performAction();  // no target: nothing happens
  item.setTarget(&stranger);
  item.performAction();  // a target of another class ignores it
  item.setTarget(&counter);
  item.performAction();
  EXPECT_EQ(counter.count, 1);
  EXPECT_EQ(counter.other, 0);
  EXPECT_EQ(stranger.count, 0);

  NSMenuItem silent("10.0.0.1", {}, "");
  silent.setTarget(&counter);
  silent.performAction();
  EXPECT_EQ(counter.count, 1);
}

TEST(AMenuItem, SurvivesAnActionThatRemovesIt) {
  NSMenu menu("");
  Rebuilder rebuilder;
  rebuilder.menu = &menu;
  menu.addItemWithTitleActionKeyEquivalent("Hang up", &Rebuilder::Rebuild, "")
      ->setTarget(&rebuilder);
  menu.itemAtIndex(0)->performAction();
  EXPECT_EQ(rebuilder.count, 1);
  EXPECT_EQ(menu.numberOfItems(), 0);
}

TEST(ABundle, FindsItsPngResourcesByName) {
  TempDir dir;
  dir.Write("online.png", "png");
  dir.Write("notes.txt", "text");
  NSBundle bundle("org.zezar.test", dir.path());
  EXPECT_EQ(bundle.bundleIdentifier(), "org.zezar.test");
  EXPECT_EQ(bundle.pathForImageResource("online"), dir.path() / "online.png");
  EXPECT_EQ(bundle.pathForImageResource("notes"), std::nullopt);
  EXPECT_EQ(bundle.pathForImageResource("offline"), std::nullopt);
  EXPECT_EQ(bundle.pathForImageResource("../online"), std::nullopt);
  EXPECT_EQ(bundle.pathForImageResource(""), std::nullopt);
}

}  // namespace
}  // namespace zezar_test
