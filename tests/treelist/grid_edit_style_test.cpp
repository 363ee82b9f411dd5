#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "treelist/grid_edit_style.h"

namespace {

// An editor as the in-place editor links itself: its own controller through
// the StyleController protocol (link, free notification, unlink), its style
// made by a factory, every StyleChanged counted.
class FakeEditor : public gui::Component, public TGridStyledEditor {
 public:
  using StyleMaker = std::function<std::unique_ptr<TGridEditStyle>(FakeEditor*)>;
  explicit FakeEditor(const StyleMaker& make = {}) {
    style = make ? make(this) : MakeGridEditStyle(this);
  }
  ~FakeEditor() override {
    if (controller && !controller->Destroying()) controller->RemoveEditor(this);
    style.reset();
  }
  void SetStyleController(TGridEditStyleController* c) {
    if (c == controller) return;
    if (controller && !controller->Destroying()) controller->RemoveEditor(this);
    controller = c;
    if (c) {
      c->AddEditor(this);
      FreeNotification(c);
      c->EditorChanged(this);
    } else {
      StyleChanged();
    }
  }
  TGridEditStyleController* GetStyleController() const override { return controller; }
  void StyleChanged() override {
    ++changes;
    if (onChanged) onChanged();
  }
  TGridEditStyle* GetEditStyle() const override { return style.get(); }

  std::unique_ptr<TGridEditStyle> style;
  TGridEditStyleController* controller = nullptr;
  int changes = 0;
  std::function<void()> onChanged;

 protected:
  void Notification(gui::Component* c, gui::Operation op) override {
    gui::Component::Notification(c, op);
    if (op == gui::Operation::Remove && c == controller) controller = nullptr;
  }
};

TEST(GridEditStyle, EachValueResolvesAssignedThenOwnControllerThenDefaultThenFixed) {
  {
    FakeEditor bare;  // no unit: nothing to fall back on but the fixed defaults
    EXPECT_EQ(bare.style->BorderColor(), 0x80000006u);
    EXPECT_EQ(bare.style->BorderStyle(), xbs3D);
    EXPECT_EQ(bare.style->Edges(), kGridEditAllEdges);
    EXPECT_FALSE(bare.style->Shadow());
    EXPECT_EQ(bare.style->LinkedController(), nullptr);
  }
  TGridEditStylesUse unit;
  TGridEditStyleController* def = GridDefaultStyleController();
  ASSERT_NE(def, nullptr);
  TGridEditStyleController own;
  FakeEditor ed;
  def->SetBorderStyle(xbsFlat);
  def->SetShadow(true);
  EXPECT_EQ(ed.style->BorderStyle(), xbsFlat);
  EXPECT_TRUE(ed.style->Shadow());
  ed.SetStyleController(&own);
  EXPECT_EQ(ed.style->BorderStyle(), xbs3D);  // own's value, not the default's
  EXPECT_FALSE(ed.style->Shadow());
  own.SetButtonTransparence(ebtAlways);
  own.SetEdges(edgLeft | edgTop);
  ed.style->SetButtonTransparence(ebtInactive);
  EXPECT_EQ(ed.style->ButtonTransparence(), ebtInactive);
  EXPECT_EQ(ed.style->Edges(), edgLeft | edgTop);
  EXPECT_EQ(ed.style->AssignedValues(), svButtonTransparence);
}

TEST(GridEditStyle, SettersMarkAssignedAndNotifyOnlyOnRealChange) {
  TGridEditStylesUse unit;
  FakeEditor ed;
  const int base = ed.changes;
  ed.style->SetBorderStyle(xbs3D);  // equal to what it resolves to: still assigned
  EXPECT_EQ(ed.changes, base + 1);
  EXPECT_EQ(ed.style->AssignedValues(), svBorderStyle);
  ed.style->SetBorderStyle(xbs3D);
  EXPECT_EQ(ed.changes, base + 1);
  ed.style->SetHotTrack(true);
  EXPECT_EQ(ed.changes, base + 2);
  GridDefaultStyleController()->SetBorderStyle(xbsSingle);
  EXPECT_EQ(ed.style->BorderStyle(), xbs3D);  // assigned wins
  ed.style->SetAssignedValues(svBorderStyle | svHotTrack);
  EXPECT_EQ(ed.changes, base + 3);  // the default's change reached it once
  ed.style->SetAssignedValues(0);
  EXPECT_EQ(ed.changes, base + 4);
  EXPECT_EQ(ed.style->BorderStyle(), xbsSingle);
  EXPECT_FALSE(ed.style->HotTrack());

  FakeEditor other;
  other.style->Assign(*ed.style);  // resolved values become assigned there
  EXPECT_EQ(other.style->AssignedValues(), 0x7F);
  EXPECT_EQ(other.style->BorderStyle(), xbsSingle);
  const int before = other.changes;
  other.style->RestoreDefaults();
  EXPECT_EQ(other.changes, before + 1);
  EXPECT_EQ(other.style->AssignedValues(), 0);
}

TEST(GridStyleController, EditorsHearOnlyTheirOwnControllerOncePerChange) {
  TGridEditStylesUse unit;
  TGridEditStyleController* def = GridDefaultStyleController();
  TGridEditStyleController a;
  FakeEditor onDefault, onA, onDefaultExplicitly;
  onA.SetStyleController(&a);
  onDefaultExplicitly.SetStyleController(def);  // linked to the default twice
  int events = 0;
  def->OnStyleChanged = [&](TGridStyleController*, TGridStyledEditor*) { ++events; };
  const int d0 = onDefault.changes, a0 = onA.changes, e0 = onDefaultExplicitly.changes;

  def->SetHotTrack(true);
  EXPECT_EQ(onDefault.changes, d0 + 1);
  EXPECT_EQ(onA.changes, a0);
  EXPECT_EQ(onDefaultExplicitly.changes, e0 + 1);
  EXPECT_EQ(events, 2);
  a.SetHotTrack(true);
  a.SetHotTrack(true);  // no change
  EXPECT_EQ(onA.changes, a0 + 1);
  EXPECT_EQ(onDefault.changes, d0 + 1);

  // Brackets, Assign, RestoreDefaults and loading announce once.
  a.BeginUpdate();
  a.BeginUpdate();
  a.SetShadow(true);
  a.SetBorderColor(gui::clRed);
  a.EndUpdate();
  EXPECT_EQ(onA.changes, a0 + 1);
  a.EndUpdate();
  EXPECT_EQ(onA.changes, a0 + 2);
  TGridEditStyleController b;
  b.SetBorderStyle(xbsNone);
  b.SetEdges(edgBottom);
  a.Assign(b);
  EXPECT_EQ(onA.changes, a0 + 3);
  EXPECT_EQ(onA.style->BorderStyle(), xbsNone);
  EXPECT_EQ(onA.style->Edges(), edgBottom);
  a.RestoreDefaults();
  EXPECT_EQ(onA.changes, a0 + 4);
  EXPECT_EQ(a.BorderColor(), kGridEditDefaultBorderColor);
  a.BeginLoading();
  a.SetShadow(true);
  a.SetBorderStyle(xbsThick);
  EXPECT_EQ(onA.changes, a0 + 4);
  a.EndLoading();
  EXPECT_EQ(onA.changes, a0 + 5);
  onA.SetStyleController(nullptr);
  EXPECT_EQ(onA.style->BorderStyle(), xbs3D);  // back on the default
}

TEST(GridStyleController, LifetimesNeverLeaveALinkToAFreedObject) {
  InitGridEditStyles();
  auto a = std::make_unique<TGridEditStyleController>();
  auto ed = std::make_unique<FakeEditor>();
  ed->SetStyleController(a.get());
  EXPECT_TRUE(a->IsLinked(ed.get()));
  EXPECT_TRUE(GridDefaultStyleController()->IsLinked(ed.get()));
  a.reset();  // the editor is told and falls back to the default
  EXPECT_EQ(ed->controller, nullptr);
  ed->SetStyleController(nullptr);
  auto b = std::make_unique<TGridEditStyleController>();
  ed->SetStyleController(b.get());
  ed.reset();  // freeing the editor unlinks it from both
  EXPECT_EQ(b->EditorCount(), 0);
  EXPECT_EQ(GridDefaultStyleController()->EditorCount(), 0);

  // A style whose default controller is another one unlinks from that one,
  // not from the program-wide default.
  struct OwnDefaultStyle : TGridEditStyle {
    OwnDefaultStyle(TGridStyledEditor* e, TGridEditStyleController* c)
        : TGridEditStyle(e), c(c) {}
    TGridEditStyleController* GetDefaultStyleController() const override { return c; }
    TGridEditStyleController* c;
  };
  ed = std::make_unique<FakeEditor>(
      [&](FakeEditor* e) { return MakeGridEditStyle<OwnDefaultStyle>(e, b.get()); });
  EXPECT_TRUE(b->IsLinked(ed.get()));
  EXPECT_FALSE(GridDefaultStyleController()->IsLinked(ed.get()));
  ed.reset();
  EXPECT_EQ(b->EditorCount(), 0);

  // The last finalisation frees the default controller and clears it; an
  // editor freed afterwards touches nothing (the sanitizer would say so).
  auto late = std::make_unique<FakeEditor>();
  InitGridEditStyles();
  FinalizeGridEditStyles();
  EXPECT_NE(GridDefaultStyleController(), nullptr);  // still one use
  FinalizeGridEditStyles();
  EXPECT_EQ(GridDefaultStyleController(), nullptr);
  EXPECT_EQ(late->style->LinkedController(), nullptr);
  late.reset();
}

TEST(GridStyleController, AHandlerThatFreesOrUnlinksEditorsDoesNotDerailTheWalk) {
  TGridEditStylesUse unit;
  TGridEditStyleController a;
  auto first = std::make_unique<FakeEditor>();
  auto second = std::make_unique<FakeEditor>();
  auto third = std::make_unique<FakeEditor>();
  for (FakeEditor* e : {first.get(), second.get(), third.get()}) e->SetStyleController(&a);
  first->onChanged = [&] { second.reset(); };  // frees the next one in the list
  const int t0 = third->changes;
  a.SetShadow(true);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(third->changes, t0 + 1);
  EXPECT_EQ(a.EditorCount(), 2);
  first->onChanged = [&] { third->SetStyleController(nullptr); };
  const int t1 = third->changes;
  a.SetShadow(false);
  EXPECT_EQ(third->changes, t1 + 1);  // only its own switch back, not a's change
}

}  // namespace
