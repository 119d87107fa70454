#include "appkit/MenuExtraHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <utility>

#include "appkit/NSBundle.h"
#include "appkit/NSColor.h"
#include "appkit/NSMenu.h"
#include "appkit/NSMenuExtraView.h"
#include "preferences/testing/MemoryPreferences.h"
#include "runloop/NSTimer.h"
#include "runloop/testing/ManualRunLoop.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using appkit::MenuEntry;
using appkit::MenuExtraHost;

struct Calls {
  std::vector<std::string> log;
};

class TestView final : public NSMenuExtraView {
 public:
  void drawRect(NSRect i_rect) override {
    NSColor(color).set();
    calls->log.push_back("draw " + std::to_string(static_cast<int>(i_rect.size.width)));
    if (throwOnDraw) throw std::runtime_error("bad drawing");
  }
  Calls* calls = nullptr;
  RGBA color{0, 0, 1, 1};
  bool throwOnDraw = false;
};

// A small extra: a repeating timer that marks the view, and a menu of addresses and commands
// that a test shapes through its fields.
class TestExtra final : public NSMenuExtra {
 public:
  using NSMenuExtra::NSMenuExtra;
  static inline Calls* s_pCalls = nullptr;
  static inline bool s_bDecline = false;
  static inline bool s_bFailFirstTick = false;

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
    s_pCalls->log.push_back("menu");
    if (throwOnMenu) throw std::overflow_error("overflow");
    Build();
    m_view->setNeedsDisplay(true);
    return m_menu.get();
  }
  const NSMenu* builtMenu() const override { return m_menu.get(); }

  void Tick(NSTimer*) {
    s_pCalls->log.push_back("tick");
    if (throwOnTick || std::exchange(s_bFailFirstTick, false))
      throw std::overflow_error("overflow");
    Build();
    m_view->setNeedsDisplay(true);
  }
  void Dial(NSMenuItem*) {
    s_pCalls->log.push_back("dial");
    if (throwOnAction) throw Unrelated{};
    menu();
  }
  void Halt(NSMenuItem*) { s_pCalls->log.push_back("halt"); }

  struct Unrelated {};  // not a std::exception, as some libraries throw
  std::vector<std::string> addresses{"10.0.0.1"};
  bool dial = true;
  bool haltFirst = false;
  bool throwOnTick = false;
  bool throwOnMenu = false;
  bool throwOnAction = false;
  TestView& testView() { return *m_view; }

 private:
  void Build() {
    while (m_menu->numberOfItems() != 0) m_menu->removeItemAtIndex(0);
    if (haltFirst)
      m_menu->addItemWithTitleActionKeyEquivalent("Halt", &TestExtra::Halt, "")->setTarget(this);
    for (const std::string& address : addresses)
      m_menu->addItemWithTitleActionKeyEquivalent(address, &TestExtra::Dial, "")->setEnabled(false);
    if (dial)
      m_menu->addItemWithTitleActionKeyEquivalent("Dial", &TestExtra::Dial, "")->setTarget(this);
    if (!haltFirst)
      m_menu->addItemWithTitleActionKeyEquivalent("Halt", &TestExtra::Halt, "")->setTarget(this);
  }

  std::unique_ptr<TestView> m_view;
  std::unique_ptr<NSMenu> m_menu;
  NSTimer* m_timer = nullptr;
};

// What TestView draws in this colour.
drawing::DisplayList Record(const RGBA& i_color) {
  drawing::DisplayList list;
  list.SetColor(i_color);
  return list;
}

class AHostCore : public ::testing::Test {
 protected:
  void SetUp() override {
    TestExtra::s_pCalls = &calls;
    TestExtra::s_bDecline = false;
    host.emplace(MenuExtraHost::Services{
        .runLoop = loop,
        .preferences = preferences,
        .log = [this](const std::string& i_strLine) { logged.push_back(i_strLine); },
        .recover = [this] { ++recoveries; }});
    host->SetOnChange([this](const MenuExtraHost::Changes& i_changes) {
      changes.push_back(std::string(i_changes.drawn ? "d" : "") + (i_changes.drawing ? "D" : "") +
                        (i_changes.menu ? "M" : "") + (i_changes.problem ? "P" : ""));
    });
  }
  TestExtra* Load() { return host->Load<TestExtra>(bundle); }

  int IdOf(const std::string& i_strTitle) const {
    for (const MenuEntry& entry : host->Menu().entries)
      if (entry.title == i_strTitle) return entry.id;
    return -1;
  }

  runloop::ManualRunLoop loop;
  preferences::MemoryPreferences preferences{"org.zezar.test"};
  NSBundle bundle{"org.zezar.test", "/nonexistent"};
  Calls calls;
  std::vector<std::string> logged;
  std::vector<std::string> changes;
  int recoveries = 0;
  std::optional<MenuExtraHost> host;
};

TEST_F(AHostCore, DrawsOncePerRedrawRequestIntoADisplayList) {
  ASSERT_NE(Load(), nullptr);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"tick", "draw 22"}));
  EXPECT_EQ(host->Drawing().Describe(), (std::vector<std::string>{"color 0 0 1 1"}));
  loop.Advance(1s);
  EXPECT_EQ(host->Draws(), 1);
  loop.Advance(3s);
  EXPECT_EQ(host->Draws(), 3);
  // Pixmaps of any size are replays: no more drawing.
  EXPECT_EQ(host->Render(1, {}).width, 22);
  EXPECT_EQ(host->Render(2, {}).width, 44);
  EXPECT_EQ(host->Draws(), 3);
  EXPECT_EQ(calls.log.size(), 6u);
}

TEST_F(AHostCore, KeepsTheMenuAsBuiltWithARevisionThatMovesOnlyWithItsContent) {
  TestExtra* pExtra = Load();
  const uint32_t first = host->Menu().revision;
  EXPECT_EQ(
      host->Menu().entries,
      (std::vector<MenuEntry>{{1, "10.0.0.1", false}, {1000, "Dial", true}, {1001, "Halt", true}}));
  loop.Advance(2s);  // rebuilt alike
  EXPECT_EQ(host->Menu().revision, first);

  struct Step {
    const char* name;
    std::function<void()> change;
    std::vector<MenuEntry> entries;
  } steps[] = {
      {"an address more",
       [&] { pExtra->addresses.push_back("10.0.0.2"); },
       {{1, "10.0.0.1", false},
        {2, "10.0.0.2", false},
        {1000, "Dial", true},
        {1001, "Halt", true}}},
      {"a command less: the others keep their ids",
       [&] { pExtra->dial = false; },
       {{1, "10.0.0.1", false}, {2, "10.0.0.2", false}, {1001, "Halt", true}}},
      {"a new order",
       [&] { pExtra->haltFirst = true; },
       {{1001, "Halt", true}, {1, "10.0.0.1", false}, {2, "10.0.0.2", false}}},
      {"a title that would steer a terminal",
       [&] { pExtra->addresses = {"\x1b]0;TITLE\x07\x1b[2J10.6.6.6\xC2\x9B"}; },
       {{1001, "Halt", true},
        {1, "\xEF\xBF\xBD]0;TITLE\xEF\xBF\xBD\xEF\xBF\xBD[2J10.6.6.6\xEF\xBF\xBD", false}}},
  };
  uint32_t revision = first;
  for (Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.change();
    EXPECT_EQ(host->Menu().revision, revision);  // asks nothing until the extra rebuilds
    loop.Advance(2s);
    EXPECT_EQ(host->Menu().entries, step.entries);
    EXPECT_GT(host->Menu().revision, revision);
    revision = host->Menu().revision;
  }
  EXPECT_EQ(changes.back(), "dM");  // drawn alike each time: the picture did not change
}

TEST_F(AHostCore, TellsOfANewDrawingOnlyWhenTheListDiffers) {
  TestExtra* pExtra = Load();
  const RGBA blue{0, 0, 1, 1};
  const RGBA nearlyBlue{0, 0, std::nextafter(1.0, 0.0), 1};
  struct Step {
    const char* name;
    RGBA color;
    bool addressMore;
    std::vector<std::string> told;
  } steps[] = {
      {"drawn alike", blue, false, {"d"}},
      {"another colour", {1, 0, 0, 1}, false, {"dD"}},
      {"that colour again", {1, 0, 0, 1}, false, {"d"}},
      {"back to the first", blue, false, {"dD"}},
      {"a colour one bit away", nearlyBlue, false, {"dD"}},
      {"the same drawing, another menu", nearlyBlue, true, {"dM"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    changes.clear();
    pExtra->testView().color = step.color;
    if (step.addressMore) pExtra->addresses.push_back("10.0.0.2");
    loop.Advance(2s);
    EXPECT_EQ(changes, step.told);
    EXPECT_TRUE(host->Drawing() == Record(step.color));  // the drawing kept is the latest
  }
}

TEST_F(AHostCore, ChoosesWhatTheUserSawEvenAfterARebuild) {
  TestExtra* pExtra = Load();
  const int dial = IdOf("Dial");
  const int halt = IdOf("Halt");
  pExtra->haltFirst = true;  // the menu changes between showing and clicking
  pExtra->addresses.push_back("10.0.0.2");
  loop.Advance(2s);
  calls.log.clear();
  EXPECT_TRUE(host->Choose(halt));
  EXPECT_TRUE(host->Choose(dial));
  EXPECT_FALSE(host->Choose(IdOf("10.0.0.1")));  // disabled
  EXPECT_FALSE(host->Choose(4242));
  EXPECT_EQ(calls.log, (std::vector<std::string>{"halt", "dial", "menu", "draw 22"}));
  pExtra->dial = false;
  host->OpenMenu();
  EXPECT_FALSE(host->Choose(dial));  // gone from the menu: nothing to perform
}

TEST_F(AHostCore, OpensTheMenuWithAFullRebuildAndDraws) {
  ASSERT_NE(Load(), nullptr);
  calls.log.clear();
  host->OpenMenu();
  EXPECT_EQ(calls.log, (std::vector<std::string>{"menu", "draw 22"}));
}

TEST_F(AHostCore, LogsAFailureOnceRecoversAndKeepsRunning) {
  TestExtra* pExtra = Load();
  pExtra->throwOnTick = true;
  loop.Advance(6s);  // three failing ticks
  pExtra->throwOnTick = false;
  pExtra->throwOnMenu = true;
  host->OpenMenu();  // the same kind: not logged again
  pExtra->throwOnMenu = false;
  pExtra->throwOnAction = true;
  EXPECT_TRUE(host->Choose(IdOf("Dial")));
  pExtra->throwOnAction = false;
  pExtra->testView().throwOnDraw = true;
  loop.Advance(2s);
  pExtra->testView().throwOnDraw = false;
  loop.Advance(2s);
  EXPECT_EQ(logged, (std::vector<std::string>{"tick: overflow, ignoring",
                                              "menu action: an unknown failure, ignoring",
                                              "drawing: bad drawing, ignoring"}));
  EXPECT_EQ(recoveries, 6);
  // Every failed tick was still drawn, so the host shows the state after the recovery.
  EXPECT_EQ(host->Draws(), 8);
  EXPECT_NE(host->extra(), nullptr);
}

TEST_F(AHostCore, SurvivesAFailureInTheFirstTickOfTheStart) {
  // The first tick runs inside initWithBundle: a failure there must not abort the start.
  TestExtra::s_bFailFirstTick = true;
  TestExtra* pExtra = Load();
  TestExtra::s_bFailFirstTick = false;
  ASSERT_NE(pExtra, nullptr);
  EXPECT_EQ(logged, std::vector<std::string>{"tick: overflow, ignoring"});
  EXPECT_EQ(recoveries, 1);
  EXPECT_EQ(host->Draws(), 1);
}

TEST_F(AHostCore, ShowsThePreferencesProblemWhileItLasts) {
  class ProblemStore final : public preferences::PreferencesStore {
   public:
    void AppSynchronize(const std::string&) override {}
    std::optional<preferences::PreferenceValue> CopyAppValue(const std::string&,
                                                             const std::string&) const override {
      return std::nullopt;
    }
    std::optional<std::string> Problem() const override { return problem; }
    std::optional<std::string> problem;
  } store;
  host.reset();
  MenuExtraHost problemHost({.runLoop = loop, .preferences = store, .log = {}, .recover = {}});
  store.problem = "preferences.toml:2:7: expected a value\x1b[2J";
  problemHost.Load<TestExtra>(bundle);
  EXPECT_EQ(problemHost.PreferencesProblem(),
            "preferences.toml:2:7: expected a value\xEF\xBF\xBD[2J");
  store.problem.reset();  // the file is fixed
  loop.Advance(2s);
  EXPECT_EQ(problemHost.PreferencesProblem(), std::nullopt);
}

TEST_F(AHostCore, UnloadsTheExtraAndDeliversNoTickAfterwards) {
  Load();
  host->Unload();
  EXPECT_EQ(host->extra(), nullptr);
  EXPECT_EQ(calls.log.back(), "unload");
  const std::size_t calledBefore = calls.log.size();
  loop.Advance(10s);
  EXPECT_EQ(calls.log.size(), calledBefore);
  host->OpenMenu();
  EXPECT_FALSE(host->Choose(1000));
  host.reset();
  EXPECT_FALSE(runloop::RunLoop::HasCurrent());
  EXPECT_THROW(preferences::Preferences(), std::logic_error);
}

TEST_F(AHostCore, ReleasesAnExtraThatDeclines) {
  TestExtra::s_bDecline = true;
  EXPECT_EQ(Load(), nullptr);
  EXPECT_EQ(host->extra(), nullptr);
  EXPECT_TRUE(calls.log.empty());
}

}  // namespace
}  // namespace zezar_test
