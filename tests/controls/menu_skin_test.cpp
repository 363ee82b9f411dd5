// The menu skin without a window system: its colour arithmetic, which
// items it takes over, the sizes it measures with the fixed measurer (6 x
// 13 a character) and what it draws, read from the recording canvas. The
// classic colours: face 192, shadow 128, highlight (0, 0, 128).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "controls/color_utils.h"
#include "controls/menu_skin.h"
#include "gui/fake_peer.h"
#include "gui/form.h"
#include "gui/image_list.h"
#include "gui/recording_canvas.h"
#include "gui/tool_bar.h"
#include "platform/dispatcher.h"

namespace {

using namespace gui;

// A skin whose surface has a chosen colour depth and whose system menu
// font is a fixed one.
class DepthSkin : public TMenuSkin {
 public:
  using TMenuSkin::TMenuSkin;
  int bits = 32;
  // Items drawn as on an 80 x 40 popup window whose whole area draws into
  // frameLog.
  bool onPopup = false;
  std::vector<std::string> frameLog;

 protected:
  int SurfaceBits(const Canvas&) const override { return bits; }
  std::unique_ptr<Canvas> PopupFrame(const Canvas&, gui::Size& size) const override {
    if (!onPopup) return nullptr;
    size = {80, 40};
    auto frame = std::make_unique<RecordingCanvas>(size);
    frame->SetSink(const_cast<std::vector<std::string>*>(&frameLog));
    return frame;
  }
  void SystemMenuFont(gui::Font& f) const override {
    f.SetName("Menu");
    f.SetHeight(-12);
    f.SetColor(clMenuText);
  }
};

// Whether the log has the line, or (prefix) a line that begins so.
bool Has(const RecordingCanvas& c, const std::string& line, bool prefix = false) {
  return std::any_of(c.Log().begin(), c.Log().end(),
                     [&](const std::string& l) { return prefix ? l.rfind(line, 0) == 0 : l == line; });
}

class MenuSkinTest : public testing::Test {
 protected:
  MenuSkinTest() {
    bar = new MainMenu(&form);
    file = bar->Items().AddItem("&File");
    open = file->AddItem("&Open");
    exit = file->AddItem("E&xit");
    exit->SetShortCut(MakeShortCut('Q', ssCtrl));
    line = file->AddItem("-");
    system = file->AddItem("System");
    system->SetTag(999);
    own = file->AddItem("Own");
    own->OnDrawItem = [](Component*, Canvas&, const Rect&, unsigned) {};
    popup = new PopupMenu(&form);
    popup->Items().AddItem("Copy");
    form.SetMenu(bar);
    skin = new DepthSkin(&form);
  }

  FakeDesktop desk;
  RecordingMenuBackend menus;
  ScopedService<MenuBackend> useMenus{menus};
  Form form;
  MainMenu* bar;
  MenuItem *file, *open, *exit, *line, *system, *own;
  PopupMenu* popup;
  DepthSkin* skin;
  RecordingCanvas c{{200, 40}};
};

TEST_F(MenuSkinTest, WorkingColoursFollowTheDepthAndTheSystemColours) {
  EXPECT_EQ(Lighten(MakeRGB(250, 240, 10), 10), MakeRGB(250, 242, 34)) << "halves to even";
  EXPECT_EQ(Lighten(MakeRGB(1, 2, 3), 150), clWhite);
  EXPECT_EQ(Darken(MakeRGB(50, 150, 250), 100), MakeRGB(0, 50, 150));
  EXPECT_EQ(GrayOf(MakeRGB(30, 60, 91), 10), MakeRGB(70, 70, 70));
  EXPECT_EQ(GrayOf(MakeRGB(250, 250, 250), 10), MakeRGB(240, 240, 240));

  TMenuSkinColors k = skin->WorkingColors(32);
  EXPECT_EQ(k.MenuBackground, MakeRGB(246, 246, 246));
  EXPECT_EQ(k.SelectFill, MakeRGB(173, 173, 214));
  EXPECT_EQ(k.Shadow1, MakeRGB(102, 102, 102));
  k = skin->WorkingColors(8);  // fewer colours: plain ones, no lightening
  EXPECT_EQ(k.SelectFill, clWhite);
  EXPECT_EQ(k.IconColumn, clBtnFace);
  // The skin's own colours; only lightened ones go through the surface's
  // nearest colour.
  skin->SetUseSystemColors(false);
  skin->SetSelectColor(MakeRGB(0, 100, 255));
  skin->SetColor(clRed);
  EXPECT_EQ(skin->WorkingColors(8).SelectFill, MakeRGB(0, 100, 255));
  EXPECT_EQ(skin->WorkingColors(8).LightShade2, MakeRGB(192, 192, 192));
  auto fiveBits = [](Color x) { return x & 0xF8F8F8; };
  EXPECT_EQ(skin->WorkingColors(16, fiveBits).SelectFill, MakeRGB(168, 200, 248));
  EXPECT_EQ(skin->WorkingColors(16, fiveBits).MenuBackground, clRed);
}

TEST_F(MenuSkinTest, ApplyingTakesOverTheItemsThatAreNotTheirOwnAndRemovingGivesThemBack) {
  skin->SetSkinControls(SkinBit(scMainMenu));
  skin->SetActive(true);
  EXPECT_TRUE(bar->OwnerDraw());
  for (MenuItem* i : {file, open, exit, line}) EXPECT_TRUE(skin->SkinsItem(*i)) << i->Caption();
  EXPECT_FALSE(system->OnDrawItem) << "Tag 999 keeps the system's drawing";
  EXPECT_FALSE(skin->SkinsItem(*own));
  EXPECT_FALSE(popup->OwnerDraw()) << "popup menus were not asked for";
  // The bar beside the items takes the colour the items are drawn on (in
  // the system's colours the bar's own, which the system draws beside
  // them where a bar cannot have a brush), and follows it.
  EXPECT_EQ(bar->BarColor(), clMenu);
  skin->SetUseSystemColors(false);
  skin->SetMenuBarColor(clRed);
  EXPECT_EQ(bar->BarColor(), clRed);

  skin->SetActive(false);
  EXPECT_FALSE(bar->OwnerDraw());
  EXPECT_EQ(bar->BarColor(), clDefault) << "the system's bar again";
  EXPECT_FALSE(open->OnDrawItem || open->OnMeasureItem);
  EXPECT_TRUE(own->OnDrawItem) << "the item's own hook stays";

  // Overriding takes the item's own hook too; a menu tagged 999 is left.
  popup->SetTag(999);
  skin->SetSkinControls(kAllSkinControls);
  skin->SetOverrideOwnerDraw(true);
  skin->SetActive(true);
  EXPECT_TRUE(skin->SkinsItem(*own));
  EXPECT_FALSE(popup->OwnerDraw());
}

// Removing the skin takes back all it applied, even when the kinds chosen
// (or a menu's tag) changed while it was on; a hook of the skin's that a
// caller kept neither draws nor measures while the skin is off.
TEST_F(MenuSkinTest, RemovingUndoesWhatWasAppliedWhateverIsChosenByThen) {
  skin->SetActive(true);
  ASSERT_TRUE(bar->OwnerDraw() && popup->OwnerDraw());
  const auto kept = open->OnDrawItem;
  skin->SetSkinControls(0);
  skin->SetSkinContainers(0);
  popup->SetTag(999);
  skin->SetActive(false);
  EXPECT_FALSE(bar->OwnerDraw());
  EXPECT_FALSE(popup->OwnerDraw());
  EXPECT_EQ(bar->BarColor(), clDefault);
  for (MenuItem* i : {file, open, exit, popup->Items().Items(0)})
    EXPECT_FALSE(i->OnDrawItem || i->OnMeasureItem) << i->Caption();
  EXPECT_TRUE(own->OnDrawItem);
  kept(open, c, {0, 0, 100, 20}, ODS_SELECTED);
  int w = 5, h = 6;
  skin->MeasureItem(*open, c, w, h);
  EXPECT_TRUE(c.Log().empty()) << c.LogText();
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(5, 6));
}

TEST_F(MenuSkinTest, MeasuredSizesOnlyEverGrowTheProposedOnes) {
  skin->SetActive(true);
  int w = 0, h = 0;
  skin->MeasureItem(*file, c, w, h);
  EXPECT_EQ(w, 5 * 6 + 5 - 6 + 8) << "a bar item: no icon column, less the '&', 8 more";
  EXPECT_EQ(h, 13 + 10);
  w = h = 0;
  skin->MeasureItem(*exit, c, w, h);
  EXPECT_EQ(w, (5 + 6 + 3) * 6 + 5 - 6 + 24) << "caption, \"Ctrl+Q\", \"WWW\", the icon column";
  w = 300, h = 30;
  skin->MeasureItem(*line, c, w, h);
  EXPECT_EQ(h, 4) << "a separator, whatever is proposed";
  h = 30;
  skin->MeasureItem(*open, c, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(300, 30));
  skin->SetActive(false);
  w = 7, h = 8;
  skin->MeasureItem(*exit, c, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(7, 8)) << "inactive";
}

TEST_F(MenuSkinTest, DrawsCheckedDisabledAndSeparatorItems) {
  skin->SetActive(true);
  // Checked: column and background one pixel lower than the item, the
  // centred 10 x 10 box in the light shade framed in the check colour,
  // the caption from the text start + 3, centred on the height of "W".
  skin->DrawItem(*open, c, {0, 0, 120, 20}, ODS_CHECKED);
  EXPECT_TRUE(Has(c, "FillRect(0,0,24,21) brush=#CACACA")) << c.LogText();
  EXPECT_TRUE(Has(c, "FillRect(24,0,120,21) brush=#F6F6F6"));
  EXPECT_TRUE(Has(c, "FillRect(7,5,17,15) brush=#CCCCE6"));
  EXPECT_TRUE(Has(c, "FrameRect(7,5,17,15) brush=clHighlight"));
  EXPECT_TRUE(Has(c, "DrawText(\"&Open\",27,4,120,17,DT_VCENTER|DT_SINGLELINE) -> \"Open\"@27,4_0 "
                     "font=Menu/-12 text=clMenuText bk=transparent"));
  // Disabled: the caption in the disabled colour, the shortcut lighter
  // still, right-aligned 10 pixels in.
  c.ClearLog();
  skin->DrawItem(*exit, c, {0, 0, 120, 20}, ODS_GRAYED);
  EXPECT_TRUE(Has(c, "DrawText(\"E&xit\",27,4,120,17,DT_VCENTER|DT_SINGLELINE) -> \"Exit\"@27,4_1 "
                     "font=Menu/-12 text=#8D8D8D bk=transparent")) << c.LogText();
  EXPECT_TRUE(Has(c, "DrawText(\"Ctrl+Q \",27,4,110,17,DT_RIGHT|DT_VCENTER|DT_SINGLELINE|DT_NOPREFIX) "
                     "-> \"Ctrl+Q \"@68,4 font=Menu/-12 text=#B5B5B5 bk=transparent"));
  EXPECT_FALSE(Has(c, "FrameRect(", true)) << "unchecked: no box";
  // A separator: a line from the text start + 7 across the middle.
  c.ClearLog();
  skin->DrawItem(*line, c, {0, 0, 120, 4}, 0);
  EXPECT_TRUE(Has(c, "MoveTo(31,2)")) << c.LogText();
  EXPECT_TRUE(Has(c, "LineTo(120,2) pen=#A0A0A0"));
  EXPECT_FALSE(Has(c, "DrawText(", true));
}

TEST_F(MenuSkinTest, TheSelectedBarItemCastsAStepShadowOrAStripOnFewerColours) {
  skin->SetActive(true);
  skin->DrawItem(*file, c, {0, 0, 40, 19}, ODS_SELECTED);
  for (const char* l : {"FillRect(0,0,40,20) brush=clMenu", "FillRect(0,0,32,20) brush=#ADADD6",
                        "Polyline(0,19 0,0 32,0 32,20) pen=clHighlight", "FillRect(33,0,40,20) brush=#B6B6B6",
                        "FillRect(33,3,38,20) brush=#A2A2A2", "FillRect(33,5,37,20) brush=#848484",
                        "FillRect(33,6,35,20) brush=#5C5C5C", "Polyline(35,1 39,1 39,6) pen=clMenu",
                        "Polyline(34,5 34,7) pen=#989898"})
    EXPECT_TRUE(Has(c, l)) << l << "\n" << c.LogText();
  EXPECT_TRUE(Has(c, "DrawText(\"&File\",7,3,40,16,", true)) << "the bar's text starts at left + 4";
  c.ClearLog();
  skin->bits = 8;
  skin->DrawItem(*file, c, {0, 0, 40, 19}, ODS_SELECTED);
  for (const char* l : {"Polyline(0,19 0,0 37,0 37,20) pen=clHighlight", "FillRect(38,2,40,20) brush=#7A7A7A",
                        "FillRect(38,0,40,2) brush=clMenu"})
    EXPECT_TRUE(Has(c, l)) << l << "\n" << c.LogText();
}

TEST_F(MenuSkinTest, DrawingSkinsNewItemsWithoutRebuildingTheMenu) {
  skin->SetActive(true);
  MenuItem* added = file->AddItem("Added later");
  EXPECT_FALSE(skin->SkinsItem(*added));
  const int changes = menus.changes;
  open->OnDrawItem(open, c, {0, 0, 120, 20}, 0);  // through the hook, as the window layer draws
  EXPECT_TRUE(skin->SkinsItem(*added));
  EXPECT_TRUE(skin->SkinsItem(*open));
  EXPECT_EQ(menus.changes, changes) << "the menu was rebuilt during a draw";
}

// Right to left, every horizontal rule is mirrored within the item: the
// column, the box and its tick, the text's side, the bar item's shadow.
// With FlatMenu a drop-down item also flattens its popup window's border.
TEST_F(MenuSkinTest, RightToLeftMenusAreMirroredAndFlatPopupsGetAFlatBorder) {
  skin->SetActive(true);
  bar->SetRightToLeft(true);
  skin->DrawItem(*open, c, {0, 0, 120, 20}, ODS_CHECKED);
  for (const char* l : {"FillRect(96,0,120,21) brush=#CACACA", "FillRect(0,0,96,21) brush=#F6F6F6",
                        "FrameRect(103,5,113,15) brush=clHighlight", "Polyline(110,8 108,10 103,5) pen=clMenuText"})
    EXPECT_TRUE(Has(c, l)) << l << "\n" << c.LogText();
  EXPECT_TRUE(Has(c, "DrawText(\"&Open\",0,4,93,17,DT_RIGHT|", true)) << c.LogText();
  c.ClearLog();
  skin->DrawItem(*file, c, {0, 0, 40, 19}, ODS_SELECTED);
  for (const char* l : {"FillRect(8,0,40,20) brush=#ADADD6", "Polyline(39,19 39,0 7,0 7,20) pen=clHighlight",
                        "FillRect(0,0,7,20) brush=#B6B6B6", "Polyline(4,1 0,1 0,6) pen=clMenu"})
    EXPECT_TRUE(Has(c, l)) << l << "\n" << c.LogText();

  skin->onPopup = true;
  skin->DrawItem(*open, c, {0, 0, 120, 20}, 0);
  EXPECT_TRUE(skin->frameLog.empty()) << "the system's border without FlatMenu";
  skin->SetFlatMenu(true);
  skin->DrawItem(*file, c, {0, 0, 40, 19}, 0);
  EXPECT_TRUE(skin->frameLog.empty()) << "the bar is no popup";
  skin->DrawItem(*open, c, {0, 0, 120, 20}, 0);
  EXPECT_EQ(skin->frameLog, (std::vector<std::string>{"Save() -> 1", "FrameRect(0,0,80,40) brush=#747474",
                                                      "FrameRect(1,1,79,39) brush=#F6F6F6",
                                                      "FrameRect(2,2,78,38) brush=#F6F6F6", "Restore(1)"}));
}

// A glyph comes from the parent item's sub-menu images before the menu's,
// else from the item's own bitmap; it widens the column and the item.
TEST_F(MenuSkinTest, GlyphsComeFromTheSubMenuImagesOrTheItemsOwnBitmap) {
  skin->SetActive(true);
  int w0 = 0, h0 = 0;
  skin->MeasureItem(*open, c, w0, h0);
  ImageList wide(nullptr, 32, 30);
  Bitmap picture(32, 30);
  wide.Add(picture);
  file->SetSubMenuImages(&wide);
  open->SetImageIndex(0);
  int w = 0, h = 0;
  skin->MeasureItem(*open, c, w, h);
  EXPECT_EQ(w - w0, 32 - 24);
  EXPECT_EQ(h, 36);
  skin->DrawItem(*open, c, {0, 0, 120, 36}, 0);
  EXPECT_TRUE(Has(c, "DrawMasked(", true)) << c.LogText();
  EXPECT_TRUE(Has(c, "DrawText(\"&Open\",39,", true)) << "text after the wider glyph";

  c.ClearLog();
  Bitmap own(12, 12);
  exit->SetBitmap(&own);
  skin->DrawItem(*exit, c, {0, 0, 120, 20}, 0);
  EXPECT_TRUE(Has(c, "DrawMasked(5,4,", true)) << c.LogText();
  exit->SetBitmap(nullptr);
  c.ClearLog();
  skin->DrawItem(*exit, c, {0, 0, 120, 20}, 0);
  EXPECT_FALSE(Has(c, "DrawMasked(", true));
}

// With AutoDetect, what is added to the form later (a sub-item deep in a
// menu, a tool bar) is skinned once the loop runs; without it, not.
TEST_F(MenuSkinTest, AutoDetectAppliesTheSkinAgainToWhatIsAdded) {
  skin->SetAutoDetect(true);
  skin->SetActive(true);
  MenuItem* deep = open->AddItem("Recent");
  auto* tools = new ToolBar(&form);
  EXPECT_FALSE(skin->SkinsItem(*deep));
  plat::MainLoop::ProcessMessages();
  EXPECT_TRUE(skin->SkinsItem(*deep));
  EXPECT_TRUE(skin->SkinsBar(*tools));
  skin->SetAutoDetect(false);
  MenuItem* later = open->AddItem("Later");
  plat::MainLoop::ProcessMessages();
  EXPECT_FALSE(skin->SkinsItem(*later));
}

}  // namespace
