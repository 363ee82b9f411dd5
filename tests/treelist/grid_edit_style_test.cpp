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
  }
  void SetStyleController(TGridEditStyleController* c) {
    if (controller && !controller->Destroying()) controller->RemoveEditor(this);
    controller = c;
    if (!c) return StyleChanged();
    c->AddEditor(this);
    FreeNotification(c);
    c->EditorChanged(this);
  }
  TGridEditStyleController* GetStyleController() const override { return controller; }
  void StyleChanged() override {
    ++changes;
    if (onChanged) onChanged();
  }
  TGridEditStyle* GetEditStyle() const override { return style.get(); }

  TGridEditStyleController* controller = nullptr;
  std::unique_ptr<TGridEditStyle> style;
  int changes = 0;
  std::function<void()> onChanged;

 protected:
  void Notification(gui::Component* c, gui::Operation op) override {
    if (op == gui::Operation::Remove && c == controller) controller = nullptr;
  }
};

TEST(GridEditStyle, ValuesResolveAssignedOwnControllerDefaultFixedAndNotifyOnRealChange) {
  EXPECT_EQ(FakeEditor().style->BorderColor(), 0x80000006u);  // no unit: the fixed default
  TGridEditStylesUse unit;
  TGridEditStyleController* def = GridDefaultStyleController();
  TGridEditStyleController own;
  FakeEditor ed;
  def->SetBorderStyle(xbsFlat);
  EXPECT_EQ(ed.style->BorderStyle(), xbsFlat);
  ed.SetStyleController(&own);
  EXPECT_EQ(ed.style->BorderStyle(), xbs3D);  // own's, not the default's
  own.SetEdges(edgLeft | edgTop);
  EXPECT_EQ(ed.style->Edges(), edgLeft | edgTop);

  const int base = ed.changes;
  ed.style->SetBorderStyle(xbs3D);  // what it resolves to already: still assigned, notified
  ed.style->SetBorderStyle(xbs3D);
  EXPECT_EQ(ed.changes, base + 1);
  EXPECT_EQ(ed.style->AssignedValues(), svBorderStyle);
  own.SetBorderStyle(xbsSingle);
  EXPECT_EQ(ed.style->BorderStyle(), xbs3D);  // the assigned value wins
  ed.style->SetAssignedValues(0);
  EXPECT_EQ(ed.changes, base + 3);
  EXPECT_EQ(ed.style->BorderStyle(), xbsSingle);

  FakeEditor copy;
  copy.style->Assign(*ed.style);  // resolved values, all assigned there
  EXPECT_EQ(copy.style->AssignedValues(), 0x7F);
  EXPECT_EQ(copy.style->Edges(), edgLeft | edgTop);
  copy.style->RestoreDefaults();
  EXPECT_EQ(copy.style->AssignedValues(), 0);
}

TEST(GridStyleController, EachEditorHearsItsControllerOncePerAnnouncedChange) {
  TGridEditStylesUse unit;
  TGridEditStyleController* def = GridDefaultStyleController();
  TGridEditStyleController a;
  FakeEditor onDefault, onA, twice;
  onA.SetStyleController(&a);
  twice.SetStyleController(def);  // linked to the default by its style and by itself
  int events = 0;
  def->OnStyleChanged = [&](TGridStyleController*, TGridStyledEditor*) { ++events; };
  const int d0 = onDefault.changes, a0 = onA.changes, t0 = twice.changes;
  def->SetHotTrack(true);
  EXPECT_EQ(onDefault.changes - d0, 1);
  EXPECT_EQ(twice.changes - t0, 1);
  EXPECT_EQ(onA.changes - a0, 0);
  EXPECT_EQ(events, 2);

  // Brackets, Assign, RestoreDefaults and loading: once each, at the end.
  a.BeginUpdate();
  a.BeginUpdate();
  a.SetShadow(true);
  a.SetBorderColor(gui::clRed);
  a.EndUpdate();
  EXPECT_EQ(onA.changes - a0, 0);
  a.EndUpdate();
  EXPECT_EQ(onA.changes - a0, 1);
  TGridEditStyleController b;
  b.SetBorderStyle(xbsNone);
  a.Assign(b);
  a.RestoreDefaults();
  EXPECT_EQ(onA.changes - a0, 3);
  a.BeginLoading();
  a.SetBorderStyle(xbsThick);
  a.SetShadow(true);
  a.EndLoading();
  EXPECT_EQ(onA.changes - a0, 4);
  EXPECT_EQ(onA.style->BorderStyle(), xbsThick);
}

TEST(GridStyleController, NoLinkOutlivesTheObjectItPointsTo) {
  InitGridEditStyles();
  auto a = std::make_unique<TGridEditStyleController>();
  auto ed = std::make_unique<FakeEditor>();
  ed->SetStyleController(a.get());
  a.reset();  // the editor is told
  EXPECT_EQ(ed->controller, nullptr);
  ed.reset();  // and unlinks from the default
  EXPECT_EQ(GridDefaultStyleController()->EditorCount(), 0);

  // A style whose default is another controller unlinks from that one.
  struct OtherDefault : TGridEditStyle {
    OtherDefault(TGridStyledEditor* e, TGridEditStyleController* c) : TGridEditStyle(e), c(c) {}
    TGridEditStyleController* GetDefaultStyleController() const override { return c; }
    TGridEditStyleController* c;
  };
  TGridEditStyleController other;
  ed = std::make_unique<FakeEditor>(
      [&](FakeEditor* e) { return MakeGridEditStyle<OtherDefault>(e, &other); });
  EXPECT_TRUE(other.IsLinked(ed.get()));
  EXPECT_FALSE(GridDefaultStyleController()->IsLinked(ed.get()));
  ed.reset();
  EXPECT_EQ(other.EditorCount(), 0);

  // The last finalisation clears the default controller before freeing it;
  // an editor freed later touches nothing (the sanitizer watches).
  auto late = std::make_unique<FakeEditor>();
  FinalizeGridEditStyles();
  EXPECT_EQ(GridDefaultStyleController(), nullptr);
  EXPECT_EQ(late->style->LinkedController(), nullptr);
  late.reset();
}

TEST(GridStyleController, HandlersThatFreeOrUnlinkEditorsDoNotDerailTheWalk) {
  TGridEditStylesUse unit;
  TGridEditStyleController a;
  auto first = std::make_unique<FakeEditor>();
  auto second = std::make_unique<FakeEditor>();
  auto third = std::make_unique<FakeEditor>();
  for (FakeEditor* e : {first.get(), second.get(), third.get()}) e->SetStyleController(&a);
  first->onChanged = [&] { second.reset(); };
  const int t0 = third->changes;
  a.SetShadow(true);
  EXPECT_EQ(third->changes - t0, 1);
  first->onChanged = [&] { third->SetStyleController(nullptr); };
  a.SetShadow(false);
  EXPECT_EQ(third->changes - t0, 2);  // its own switch only, not a's change
}

}  // namespace
