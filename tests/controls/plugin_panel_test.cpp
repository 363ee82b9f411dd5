// The plug-in panel hosting windows it knows only by handle, on the fake
// desktop with recorded window calls (0x40010000 = 1073807360, WM_CLOSE =
// 16, WM_NEXTDLGCTL = 40).
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <string>
#include <vector>

#include "controls/plugin_panel.h"
#include "gui/fake_peer.h"

namespace {

using namespace gui;

// Windows by handle: the live ones are a set; every call is logged.
class RecordedWindows : public TForeignWindows {
 public:
  std::set<uintptr_t> alive;
  std::vector<std::string> log;
  uintptr_t topChild = 0;

  bool IsWindow(uintptr_t h) const override { return alive.count(h) != 0; }
  void Show(uintptr_t h, bool v) override { Add(h, v ? "show" : "hide"); }
  intptr_t Send(uintptr_t h, unsigned msg, uintptr_t wp, intptr_t) override {
    Add(h, "send " + std::to_string(msg) + "," + std::to_string(wp));
    return 0;
  }
  void Post(uintptr_t h, unsigned msg, uintptr_t wp, intptr_t) override {
    Add(h, "post " + std::to_string(msg) + "," + std::to_string(wp));
  }
  void SetStyle(uintptr_t h, uint32_t style) override { Add(h, "style " + std::to_string(style)); }
  void SetParent(uintptr_t h, uintptr_t p) override { Add(h, "parent " + std::to_string(p)); }
  void SetText(uintptr_t h, const std::string& t) override { Add(h, "text " + t); }
  void Move(uintptr_t h, const Rect& r) override {
    Add(h, "move " + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," +
               std::to_string(r.Width()) + "x" + std::to_string(r.Height()));
  }
  uintptr_t TopChild(uintptr_t) const override { return topChild; }
  void Focus(uintptr_t h) override { Add(h, "focus"); }

 private:
  void Add(uintptr_t h, const std::string& what) { log.push_back(std::to_string(h) + " " + what); }
};

struct Change {
  uintptr_t now, before;
  bool operator==(const Change& o) const { return now == o.now && before == o.before; }
};

class PluginPanelTest : public testing::Test {
 protected:
  PluginPanelTest() {
    windows.alive = {1, 2, 3};
    panel.SetBounds(0, 0, 200, 100);
    panel.OnPanelChange = [this](Control* sender, uintptr_t now, uintptr_t before) {
      EXPECT_EQ(sender, &panel);
      changes.push_back({now, before});
    };
  }
  std::vector<std::string> Taken() { return std::exchange(windows.log, {}); }
  std::string Handle() { return std::to_string(panel.Handle()); }

  FakeDesktop desk;
  RecordedWindows windows;
  ScopedService<TForeignWindows> useWindows{windows};
  TPluginPanel panel;
  std::vector<Change> changes;
};

TEST_F(PluginPanelTest, HostingAWindowClosesThePreviousOne) {
  panel.SetHostedWindow(1);
  Taken();
  panel.SetHostedWindow(2);
  const std::vector<std::string> hosted2 = {"1 hide", "1 send 16,0", "2 style 1073807360",
                                            "2 parent " + Handle(), "2 text TARNWICK_WINDOW_TRACKER",
                                            "2 move 0,0,200x100", "2 show"};
  EXPECT_EQ(Taken(), hosted2);
  EXPECT_EQ(changes, (std::vector<Change>{{1, 0}, {2, 1}}));
  // The same window again: nothing at all.
  panel.SetHostedWindow(2);
  EXPECT_TRUE(Taken().empty());
  EXPECT_EQ(changes.size(), 2u);
  // A resize follows the panel; the focus goes on to the hosted window,
  // with Shift held to its last control.
  panel.SetBounds(0, 0, 150, 80);
  EXPECT_EQ(Taken(), (std::vector<std::string>{"2 move 0,0,150x80"}));
  windows.topChild = 2;
  desk.env.SetKeyDown(VK_SHIFT, true);
  desk.Send(panel, WM_SETFOCUS);
  EXPECT_EQ(Taken(), (std::vector<std::string>{"2 focus", "2 post 40,1"}));
}

TEST_F(PluginPanelTest, AWindowThatIsGoneIsNeverTouched) {
  panel.SetHostedWindow(1);
  Taken();
  windows.alive.erase(1);
  panel.SetBounds(0, 0, 120, 60);
  EXPECT_TRUE(Taken().empty()) << "the destroyed window is not moved";
  panel.SetHostedWindow(3);
  EXPECT_EQ(Taken().front(), "3 style 1073807360") << "nor hidden or closed";
  // A handle that is no window is not hosted; 0 lets the hosted one go.
  panel.SetHostedWindow(99);
  EXPECT_TRUE(Taken().empty());
  EXPECT_EQ(panel.HostedWindow(), 3u);
  panel.SetHostedWindow(0);
  EXPECT_EQ(Taken(), (std::vector<std::string>{"3 hide", "3 send 16,0"}));
  EXPECT_EQ(changes, (std::vector<Change>{{1, 0}, {3, 1}, {0, 3}}));
}

}  // namespace
