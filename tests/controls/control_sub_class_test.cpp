// The menu skin beyond menus, on the fake desktop: which controls its walk
// reaches (the form's components and the children of the chosen kinds of
// container), which it hooks, what the hooked ones look like drawn flat,
// tool bars and control bars drawn through its handlers, and everything
// given back when it is removed. The classic colours: face 192.
#include "controls/control_sub_class.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/menu_skin.h"
#include "gui/control_bar.h"
#include "gui/fake_peer.h"
#include "gui/form.h"
#include "gui/text_measurer.h"
#include "gui/tool_bar.h"

namespace {

using namespace gui;

// A control of a chosen kind; as a check box it answers its check state.
class KindControl : public Control {
 public:
  KindControl(Component* owner, ControlKind kind, Control* parent, Rect bounds) : Control(owner), kind_(kind) {
    SetParent(parent);
    SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
  }
  ControlKind Kind() const override { return kind_; }
  int check = 0;

 protected:
  void WndProc(Message& m) override {
    if (m.Msg == BM_GETCHECK) {
      m.Result = check;
      return;
    }
    Control::WndProc(m);
  }

 private:
  ControlKind kind_;
};

bool Has(const std::string& log, const std::string& part) { return log.find(part) != std::string::npos; }

struct SkinnedForm : testing::Test {
  FakeDesktop desk;
  FixedTextMeasurer measurer;
  ScopedService<TextMeasurer> useMeasurer{measurer};
  RecordingMenuBackend menus;
  ScopedService<MenuBackend> useMenus{menus};
  Form form;
  TMenuSkin* skin = new TMenuSkin(&form);
  KindControl* Make(ControlKind k, Control* parent, Rect bounds, Component* owner = nullptr) {
    return new KindControl(owner ? owner : &form, k, parent, bounds);
  }
};

TEST_F(SkinnedForm, TheWalkReachesTheChosenContainersAndHooksTheChosenKinds) {
  skin->SetSkinContainers(SkinBit(sccForm) | SkinBit(sccPanel));
  KindControl* edit = Make(ControlKind::Edit, &form, {0, 0, 80, 20});
  KindControl* panel = Make(ControlKind::Panel, &form, {0, 30, 100, 60});
  // Owned by their containers: met only by walking into them.
  KindControl* inPanel = Make(ControlKind::Button, panel, {5, 5, 60, 25}, panel);
  KindControl* group = Make(ControlKind::GroupBox, &form, {0, 100, 100, 160});
  KindControl* inGroup = Make(ControlKind::CheckBox, group, {5, 20, 80, 37}, group);
  auto* bar = new ToolBar(&form);
  bar->SetParent(&form);
  auto* own = new ControlBar(&form);
  own->OnBandPaint = [](ControlBar*, Control*, Canvas&, Rect&, unsigned&) {};
  auto* plain = new ControlBar(&form);

  skin->SetActive(true);
  for (Control* c : {static_cast<Control*>(edit), static_cast<Control*>(panel), static_cast<Control*>(inPanel),
                     static_cast<Control*>(group)})
    EXPECT_NE(skin->SubClassOf(*c), nullptr) << int(c->Kind());
  EXPECT_EQ(skin->SubClassOf(*inGroup), nullptr) << "group boxes were not asked to be walked";
  EXPECT_TRUE(bar->Flat());
  EXPECT_TRUE(skin->SkinsBar(*bar));
  EXPECT_FALSE(skin->SkinsBar(*own)) << "a handler of its own stays";
  EXPECT_TRUE(skin->SkinsBar(*plain));

  skin->SetActive(false);
  for (Control* c : {static_cast<Control*>(edit), static_cast<Control*>(inPanel)}) {
    EXPECT_EQ(skin->SubClassOf(*c), nullptr);
    EXPECT_FALSE(c->WindowProc) << "the control's own handler again";
  }
  EXPECT_FALSE(bar->OnCustomDrawButton);
  EXPECT_TRUE(own->OnBandPaint);
  EXPECT_FALSE(plain->OnBandPaint);

  // Only the kinds asked for, and overriding takes the bar's own handler.
  skin->SetSkinControls(SkinBit(scEdit) | SkinBit(scControlbar));
  skin->SetOverrideOwnerDraw(true);
  skin->SetActive(true);
  EXPECT_NE(skin->SubClassOf(*edit), nullptr);
  EXPECT_EQ(skin->SubClassOf(*panel), nullptr);
  EXPECT_FALSE(skin->SkinsBar(*bar));
  EXPECT_TRUE(skin->SkinsBar(*own));
  // A hooked control going first is forgotten: its hook goes with it, and
  // removing the skin later touches nothing of it (ASan).
  const int parts = skin->ComponentCount();
  delete edit;
  EXPECT_EQ(skin->ComponentCount(), parts - 1);
  // Removing gives everything back even when the kinds chosen changed
  // while the skin was on.
  KindControl* later = Make(ControlKind::Edit, panel, {5, 30, 60, 50}, panel);
  skin->SetSkinContainers(kAllSkinContainers);
  skin->SetSkinControls(kAllSkinControls);
  skin->SetActive(false);
  skin->SetActive(true);
  ASSERT_NE(skin->SubClassOf(*later), nullptr);
  ASSERT_TRUE(skin->SkinsBar(*bar));
  skin->SetSkinControls(0);
  skin->SetSkinContainers(0);
  skin->SetActive(false);
  for (Control* c : {static_cast<Control*>(later), static_cast<Control*>(panel), static_cast<Control*>(inGroup)}) {
    EXPECT_EQ(skin->SubClassOf(*c), nullptr) << int(c->Kind());
    EXPECT_FALSE(c->WindowProc) << int(c->Kind());
  }
  EXPECT_FALSE(skin->SkinsBar(*bar));
  EXPECT_FALSE(skin->SkinsBar(*own));
  EXPECT_EQ(skin->ComponentCount(), 0);
}

// A hooked button drawn flat over its own painting, lit while the mouse is
// over it; a check box with its tick. Unhooking under a handler another
// party put in front later leaves that party's chain working.
TEST_F(SkinnedForm, HookedControlsAreDrawnFlatAndGivenBack) {
  skin->SetSkinControls(SkinBit(scButton) | SkinBit(scCheckBox));
  KindControl* button = Make(ControlKind::Button, &form, {10, 10, 70, 30});
  button->SetCaption("Go");
  KindControl* check = Make(ControlKind::CheckBox, &form, {10, 40, 90, 57});
  check->check = BST_CHECKED;
  skin->SetActive(true);

  std::string log = desk.Paint(*button);
  EXPECT_TRUE(Has(log, "FrameRect(0,0,60,20) brush=#989898")) << log;
  EXPECT_TRUE(Has(log, "DrawText(\"Go\",0,0,60,20,DT_CENTER|DT_VCENTER|DT_SINGLELINE)")) << log;
  desk.MouseMove(*button, 5, 5);
  EXPECT_TRUE(skin->SubClassOf(*button)->Hot());
  log = desk.Paint(*button);
  EXPECT_TRUE(Has(log, "FillRect(0,0,60,20) brush=#ADADD6")) << log;
  EXPECT_TRUE(Has(log, "FrameRect(0,0,60,20) brush=clHighlight")) << log;

  log = desk.Paint(*check);
  EXPECT_TRUE(Has(log, "FrameRect(0,2,13,15) brush=#989898")) << log;
  EXPECT_TRUE(Has(log, "Polyline(3,7 5,9 10,4)")) << log;

  std::vector<unsigned> seen;
  button->WindowProc = [&, before = button->WindowProc](Message& m) {
    seen.push_back(m.Msg);
    before(m);
  };
  skin->SetActive(false);
  EXPECT_EQ(skin->SubClassOf(*button), nullptr);
  EXPECT_FALSE(check->WindowProc);
  log = desk.Paint(*button);
  EXPECT_FALSE(Has(log, "FrameRect(")) << log;
  EXPECT_FALSE(seen.empty());
}

// Tool buttons and control-bar bands in the skin's flat looks instead of
// the bars' raised edges.
TEST_F(SkinnedForm, BarsDrawTheirButtonsAndBandsThroughTheSkin) {
  auto* bar = new ToolBar(&form);
  bar->SetParent(&form);
  bar->SetBounds(0, 0, 100, 22);
  auto* button = new ToolButton(bar);
  button->SetCaption("T");
  button->SetParent(bar);
  auto* bands = new ControlBar(&form);
  bands->SetParent(&form);
  bands->SetBounds(0, 30, 100, 40);
  Make(ControlKind::Other, bands, {20, 5, 70, 25}, bands);
  EXPECT_TRUE(Has(desk.Paint(*bar), "DrawEdge(")) << "raised without the skin";
  EXPECT_TRUE(Has(desk.Paint(*bands), "DrawEdge("));

  skin->SetActive(true);
  desk.MouseMove(*bar, 5, 5);
  EXPECT_EQ(bar->HotButton(), button);
  std::string log = desk.Paint(*bar);
  EXPECT_TRUE(Has(log, "FillRect(0,0,23,22) brush=#ADADD6")) << log;
  EXPECT_TRUE(Has(log, "FrameRect(0,0,23,22) brush=clHighlight")) << log;
  EXPECT_FALSE(Has(log, "DrawEdge(")) << log;
  log = desk.Paint(*bands);
  EXPECT_TRUE(Has(log, "FillRect(7,3,72,27) brush=clMenu")) << log;
  EXPECT_FALSE(Has(log, "DrawEdge(")) << log;
}

}  // namespace
