#include "platform/HeadlessHost.h"

#include <gtest/gtest.h>

#include "platform/ManualRunLoop.h"
#include "platform/MemoryPreferences.h"
#include "platform/NSBundle.h"
#include "platform/NSColor.h"
#include "platform/NSMenu.h"
#include "platform/NSMenuExtraView.h"
#include "platform/NSTimer.h"
#include "platform/RecordingCanvas.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

struct Calls {
  std::vector<std::string> log;
};

class TestView final : public NSMenuExtraView {
 public:
  void drawRect(NSRect i_rect) override {
    NSColor(RGBA{0, 0, 1, 1}).set();
    calls->log.push_back("draw " + std::to_string(static_cast<int>(i_rect.size.width)));
  }
  Calls* calls = nullptr;
};

// A small extra: a repeating timer that marks the view, and a menu of three items.
class TestExtra final : public NSMenuExtra {
 public:
  using NSMenuExtra::NSMenuExtra;
  static inline Calls* s_pCalls = nullptr;
  static inline bool s_bDecline = false;

  NSMenuExtra* initWithBundle(NSBundle& io_bundle) override {
    if (s_bDecline || NSMenuExtra::initWithBundle(io_bundle) == nullptr) return nullptr;
    m_view = std::make_unique<TestView>();
    m_view->initWithFrameMenuExtra(view()->frame(), this);
    m_view->calls = s_pCalls;
    setView(m_view.get());
    m_menu = std::make_unique<NSMenu>("");
    m_timer = NSTimer::scheduledTimerWithTimeIntervalTargetSelectorUserInfoRepeats(
        2.0, this, &TestExtra::Tick, nullptr, true);
    m_timer->fire();
    return this;
  }
  void willUnload() override {
    m_timer->invalidate();
    s_pCalls->log.push_back("willUnload");
  }
  void unload() override { s_pCalls->log.push_back("unload"); }

  NSMenu* menu() override {
    while (m_menu->numberOfItems() != 0) m_menu->removeItemAtIndex(0);
    s_pCalls->log.push_back("menu");
    m_menu->addItemWithTitleActionKeyEquivalent("10.0.0.1", &TestExtra::Chosen, "")
        ->setEnabled(false);
    m_menu->addItemWithTitleActionKeyEquivalent("Loose", &TestExtra::Chosen, "");
    m_menu->addItemWithTitleActionKeyEquivalent("Dial", &TestExtra::Chosen, "")->setTarget(this);
    m_view->setNeedsDisplay(true);
    return m_menu.get();
  }

  void Tick(NSTimer*) {
    s_pCalls->log.push_back("tick");
    m_view->setNeedsDisplay(true);
  }
  void Chosen(NSMenuItem*) {
    s_pCalls->log.push_back("chosen");
    menu();
  }

 private:
  std::unique_ptr<TestView> m_view;
  std::unique_ptr<NSMenu> m_menu;
  NSTimer* m_timer = nullptr;
};

class AHeadlessHost : public ::testing::Test {
 protected:
  void SetUp() override {
    TestExtra::s_pCalls = &calls;
    TestExtra::s_bDecline = false;
  }
  platform::ManualRunLoop loop;
  RecordingCanvas canvas;
  platform::MemoryPreferences preferences{"org.zezar.test"};
  NSBundle bundle{"org.zezar.test", "/nonexistent"};
  Calls calls;
};

TEST_F(AHeadlessHost, DrawsTheViewWheneverItIsMarked) {
  platform::HeadlessHost host({loop, canvas, &preferences});
  ASSERT_NE(host.Load<TestExtra>(bundle), nullptr);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"tick", "draw 22"}));
  EXPECT_EQ(canvas.Log(), (std::vector<std::string>{"color 0 0 1 1"}));
  loop.Advance(1s);
  EXPECT_EQ(host.Draws(), 1);
  loop.Advance(3s);
  EXPECT_EQ(host.Draws(), 3);
  EXPECT_FALSE(host.DrawIfNeeded());
}

TEST_F(AHeadlessHost, OpensTheMenuAndChoosesAsAUserWould) {
  platform::HeadlessHost host({loop, canvas, &preferences});
  host.Load<TestExtra>(bundle);
  calls.log.clear();
  EXPECT_FALSE(host.Choose("10.0.0.1"));  // disabled
  EXPECT_FALSE(host.Choose("Halt"));      // not there
  EXPECT_TRUE(host.Choose("Loose"));      // no target: nothing happens
  EXPECT_TRUE(host.Choose("Dial"));
  EXPECT_EQ(calls.log,
            (std::vector<std::string>{"menu", "draw 22", "menu", "draw 22", "menu", "draw 22",
                                      "menu", "draw 22", "chosen", "menu", "draw 22"}));
}

TEST_F(AHeadlessHost, ChoosesFromTheMenuOnScreenWithoutOpeningItAgain) {
  platform::HeadlessHost host({loop, canvas, &preferences});
  int shown = 0;
  host.SetOnDraw([&] { ++shown; });
  host.Load<TestExtra>(bundle);
  EXPECT_FALSE(host.ChooseOpenItem(2));  // nothing opened yet
  ASSERT_NE(host.OpenMenu(), nullptr);
  calls.log.clear();
  EXPECT_FALSE(host.ChooseOpenItem(0));  // disabled
  EXPECT_FALSE(host.ChooseOpenItem(7));
  EXPECT_TRUE(host.ChooseOpenItem(2));
  EXPECT_EQ(calls.log, (std::vector<std::string>{"chosen", "menu", "draw 22"}));
  EXPECT_EQ(shown, host.Draws());
}

TEST_F(AHeadlessHost, UnloadsTheExtraAndDeliversNoTickAfterwards) {
  {
    platform::HeadlessHost host({loop, canvas, &preferences});
    host.Load<TestExtra>(bundle);
    host.Unload();
    EXPECT_EQ(host.extra(), nullptr);
    EXPECT_EQ(calls.log.back(), "unload");
    const std::size_t calledBefore = calls.log.size();
    loop.Advance(10s);
    EXPECT_EQ(calls.log.size(), calledBefore);
    EXPECT_EQ(host.OpenMenu(), nullptr);
  }
  EXPECT_FALSE(platform::RunLoop::HasCurrent());
}

TEST_F(AHeadlessHost, ReleasesAnExtraThatDeclines) {
  TestExtra::s_bDecline = true;
  platform::HeadlessHost host({loop, canvas, &preferences});
  EXPECT_EQ(host.Load<TestExtra>(bundle), nullptr);
  EXPECT_EQ(host.extra(), nullptr);
  EXPECT_TRUE(calls.log.empty());
}

class ProblemStore final : public platform::PreferencesStore {
 public:
  void AppSynchronize(const std::string&) override {}
  std::optional<platform::PreferenceValue> CopyAppValue(const std::string&,
                                                        const std::string&) const override {
    return std::nullopt;
  }
  std::optional<std::string> Problem() const override { return problem; }
  std::optional<std::string> problem;
};

TEST_F(AHeadlessHost, ShowsAPreferencesProblemOnce) {
  ProblemStore store;
  store.problem = "preferences.toml:2:7: expected a value";
  platform::HeadlessHost host({loop, canvas, &store});
  host.Load<TestExtra>(bundle);
  loop.Advance(10s);
  store.problem.reset();
  loop.Advance(2s);
  store.problem = "preferences.toml:1:1: unexpected character";
  loop.Advance(4s);
  EXPECT_EQ(host.Shown(), (std::vector<std::string>{"preferences.toml:2:7: expected a value",
                                                    "preferences.toml:1:1: unexpected character"}));
}

}  // namespace
}  // namespace zezar_test
