// The menu skin without a window system: its colour arithmetic, which
// items it takes over, the sizes it measures with the fixed measurer and
// what it draws, read from the recording canvas.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controls/color_utils.h"
#include "controls/menu_skin.h"
#include "gui/fake_peer.h"
#include "gui/form.h"
#include "gui/image_list.h"
#include "gui/recording_canvas.h"

namespace {

using namespace gui;

// A skin whose surface has a chosen colour depth.
class DepthSkin : public TMenuSkin {
 public:
  using TMenuSkin::TMenuSkin;
  int bits = 32;

 protected:
  int SurfaceBits(const Canvas&) const override { return bits; }
};

// Lines of the log that begin with a prefix.
std::vector<std::string> Lines(const RecordingCanvas& c, const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& l : c.Log())
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  return out;
}

bool Has(const RecordingCanvas& c, const std::string& line) {
  return std::find(c.Log().begin(), c.Log().end(), line) != c.Log().end();
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
    own->OnDrawItem = [this](Component*, Canvas&, const Rect&, unsigned) { ++ownDraws; };
    popup = new PopupMenu(&form);
    popupItem = popup->Items().AddItem("Copy");
    form.SetMenu(bar);
    skin = new DepthSkin(&form);
  }

  FakeDesktop desk;
  FixedSystemColorTable colors;  // the classic scheme
  ScopedService<SystemColorTable> useColors{colors};
  RecordingMenuBackend menus;
  ScopedService<MenuBackend> useMenus{menus};
  Form form;
  MainMenu* bar;
  MenuItem *file, *open, *exit, *line, *system, *own;
  PopupMenu* popup;
  MenuItem* popupItem;
  DepthSkin* skin;
  int ownDraws = 0;
};

TEST(MenuSkinColors, LightenDarkenAndGrayRoundAndClamp) {
  EXPECT_EQ(Lighten(MakeRGB(0, 100, 255), 68), MakeRGB(173, 205, 255));
  EXPECT_EQ(Lighten(MakeRGB(250, 240, 10), 10), MakeRGB(250, 242, 34)) << "halves to even";
  EXPECT_EQ(Lighten(MakeRGB(1, 2, 3), 150), clWhite);
  EXPECT_EQ(Lighten(MakeRGB(1, 2, 3), -5), MakeRGB(1, 2, 3));
  EXPECT_EQ(Darken(MakeRGB(50, 150, 250), 100), MakeRGB(0, 50, 150));
  EXPECT_EQ(Brighten(MakeRGB(50, 230, 0), 40), MakeRGB(90, 255, 40));
  EXPECT_EQ(GrayOf(MakeRGB(30, 60, 91), 10), MakeRGB(70, 70, 70));
  EXPECT_EQ(GrayOf(MakeRGB(250, 250, 250), 10), MakeRGB(240, 240, 240));
}

TEST_F(MenuSkinTest, WorkingColoursFollowTheDepthAndTheSystemColours) {
  // Classic scheme: face 192, shadow 128, highlight (0, 0, 128).
  TMenuSkinColors k = skin->WorkingColors(32);
  EXPECT_EQ(k.MenuBackground, MakeRGB(246, 246, 246));
  EXPECT_EQ(k.IconColumn, MakeRGB(202, 202, 202));
  EXPECT_EQ(k.SelectFill, MakeRGB(173, 173, 214));
  EXPECT_EQ(k.LightShade1, MakeRGB(204, 204, 230));
  EXPECT_EQ(k.DisabledText, MakeRGB(141, 141, 141));
  EXPECT_EQ(k.Separator, MakeRGB(160, 160, 160));
  EXPECT_EQ(k.Shadow1, MakeRGB(102, 102, 102));
  EXPECT_EQ(k.SelectFrame, clHighlight);
  // A surface of fewer colours: plain colours, no lightening.
  k = skin->WorkingColors(8);
  EXPECT_EQ(k.MenuBackground, clWhite);
  EXPECT_EQ(k.SelectFill, clWhite);
  EXPECT_EQ(k.IconColumn, clBtnFace);
  EXPECT_EQ(k.Separator, clBtnShadow);

  // The skin's own colours.
  skin->SetUseSystemColors(false);
  skin->SetSelectColor(MakeRGB(0, 100, 255));
  skin->SetColor(clRed);
  EXPECT_EQ(skin->WorkingColors(8).SelectFill, MakeRGB(0, 100, 255));
  EXPECT_EQ(skin->WorkingColors(8).LightShade2, MakeRGB(192, 192, 192));
  EXPECT_EQ(skin->WorkingColors(16).SelectFill, MakeRGB(173, 205, 255));
  EXPECT_EQ(skin->WorkingColors(16).MenuBackground, clRed);
  // Lightened colours go through the surface's nearest colour; the others
  // are left as they are.
  auto fiveBits = [](Color c) { return c & 0xF8F8F8; };
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
  EXPECT_FALSE(popupItem->OnDrawItem);

  // Removing leaves an item's own hook.
  skin->SetActive(false);
  EXPECT_FALSE(bar->OwnerDraw());
  EXPECT_FALSE(open->OnDrawItem);
  EXPECT_FALSE(open->OnMeasureItem);
  ASSERT_TRUE(own->OnDrawItem);
  RecordingCanvas c;
  own->OnDrawItem(own, c, {}, 0);
  EXPECT_EQ(ownDraws, 1);

  // Overriding takes the item's own hook too; a menu tagged 999 is left.
  popup->SetTag(999);
  skin->SetSkinControls(kAllSkinControls);
  skin->SetOverrideOwnerDraw(true);
  skin->SetActive(true);
  EXPECT_TRUE(skin->SkinsItem(*own));
  EXPECT_FALSE(popup->OwnerDraw());
  EXPECT_FALSE(system->OnDrawItem);
}

TEST_F(MenuSkinTest, MeasuredSizesWithTheFixedMeasurer) {
  skin->SetActive(true);
  RecordingCanvas c;  // 6 x 13 pixels a character
  int w = 0, h = 0;
  skin->MeasureItem(*file, c, w, h);
  EXPECT_EQ(w, 5 * 6 + 5 - 6 + 8) << "the menu bar's item: no icon column, 8 more";
  EXPECT_EQ(h, 13 + 10);
  w = h = 0;
  skin->MeasureItem(*exit, c, w, h);
  EXPECT_EQ(w, (5 + 6 + 3) * 6 + 5 - 6 + 24) << "caption, \"Ctrl+Q\", \"WWW\", the icon column";
  EXPECT_EQ(h, 23);
  // A separator is 4 pixels high whatever is proposed; proposed values
  // larger than the measured ones stay.
  w = 300, h = 30;
  skin->MeasureItem(*line, c, w, h);
  EXPECT_EQ(h, 4);
  w = 300, h = 30;
  skin->MeasureItem(*open, c, w, h);
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 30);

  // A glyph 16 x 20: the column stays IconWidth wide, the item grows to
  // the glyph's height + 6.
  ImageList images(nullptr, 16, 20);
  Bitmap pic(16, 20);
  images.Add(pic);
  bar->SetImages(&images);
  open->SetImageIndex(0);
  w = h = 0;
  skin->MeasureItem(*open, c, w, h);
  EXPECT_EQ(w, 5 * 6 + 5 - 6 + 24);
  EXPECT_EQ(h, 26);
  bar->SetImages(nullptr);

  // An inactive skin proposes nothing.
  skin->SetActive(false);
  w = 7, h = 8;
  skin->MeasureItem(*exit, c, w, h);
  EXPECT_EQ(w, 7);
  EXPECT_EQ(h, 8);
}

TEST_F(MenuSkinTest, DrawsCheckedDisabledAndSeparatorItems) {
  skin->SetActive(true);
  RecordingCanvas c({200, 40});
  skin->DrawItem(*open, c, {0, 0, 120, 20}, ODS_CHECKED);
  // Icon column and background (the rectangle one pixel lower), the
  // centred 10 x 10 check box in the light shade framed in the check
  // colour, the caption from the text start + 3 centred on "W".
  EXPECT_TRUE(Has(c, "FillRect(0,0,24,21) brush=#CACACA")) << c.LogText();
  EXPECT_TRUE(Has(c, "FillRect(24,0,120,21) brush=#F6F6F6"));
  EXPECT_TRUE(Has(c, "FillRect(7,5,17,15) brush=#CCCCE6"));
  EXPECT_TRUE(Has(c, "FrameRect(7,5,17,15) brush=clHighlight"));
  EXPECT_EQ(Lines(c, "Polyline(").size(), 3u) << "the tick";
  const auto text = Lines(c, "DrawText(\"&Open\",27,4,120,17,");
  ASSERT_EQ(text.size(), 1u) << c.LogText();
  EXPECT_NE(text[0].find("text=clMenuText bk=transparent"), std::string::npos) << text[0];

  // Disabled: the caption in the disabled colour, the shortcut lighter
  // still and right-aligned 10 pixels in.
  c.ClearLog();
  skin->DrawItem(*exit, c, {0, 0, 120, 20}, ODS_GRAYED);
  const auto caption = Lines(c, "DrawText(\"E&xit\"");
  ASSERT_EQ(caption.size(), 1u);
  EXPECT_NE(caption[0].find("text=#8D8D8D"), std::string::npos) << caption[0];
  const auto shortcut = Lines(c, "DrawText(\"Ctrl+Q \",27,4,110,17,DT_RIGHT|DT_VCENTER|DT_SINGLELINE|DT_NOPREFIX)");
  ASSERT_EQ(shortcut.size(), 1u) << c.LogText();
  EXPECT_NE(shortcut[0].find("text=#B5B5B5"), std::string::npos) << shortcut[0];
  EXPECT_TRUE(Lines(c, "FrameRect(").empty()) << "unchecked: no box";

  // A separator: a line from the text start + 7 at the middle, no text.
  c.ClearLog();
  skin->DrawItem(*line, c, {0, 0, 120, 4}, 0);
  EXPECT_TRUE(Has(c, "MoveTo(31,2)")) << c.LogText();
  EXPECT_TRUE(Has(c, "LineTo(120,2) pen=#A0A0A0"));
  EXPECT_TRUE(Lines(c, "DrawText(").empty());
}

TEST_F(MenuSkinTest, TheSelectedBarItemCastsAStepShadowOrAStripOnFewerColours) {
  skin->SetActive(true);
  RecordingCanvas c({200, 40});
  skin->DrawItem(*file, c, {0, 0, 40, 19}, ODS_SELECTED);
  EXPECT_TRUE(Has(c, "FillRect(0,0,40,20) brush=clBtnFace")) << c.LogText();
  EXPECT_TRUE(Has(c, "FillRect(0,0,32,20) brush=#ADADD6"));
  EXPECT_TRUE(Has(c, "Polyline(0,19 0,0 32,0 32,20) pen=clHighlight"));
  EXPECT_TRUE(Has(c, "FillRect(33,0,40,20) brush=#B6B6B6"));
  EXPECT_TRUE(Has(c, "FillRect(33,3,38,20) brush=#A2A2A2"));
  EXPECT_TRUE(Has(c, "FillRect(33,5,37,20) brush=#848484"));
  EXPECT_TRUE(Has(c, "FillRect(33,6,35,20) brush=#5C5C5C"));
  EXPECT_TRUE(Has(c, "Polyline(35,1 39,1 39,6) pen=clBtnFace"));
  EXPECT_TRUE(Has(c, "Polyline(34,5 34,7) pen=#989898"));
  const auto caption = Lines(c, "DrawText(\"&File\",7,3,40,16,");
  EXPECT_EQ(caption.size(), 1u) << "the bar's text starts at left + 4";

  c.ClearLog();
  skin->bits = 8;
  skin->DrawItem(*file, c, {0, 0, 40, 19}, ODS_SELECTED);
  EXPECT_TRUE(Has(c, "Polyline(0,19 0,0 37,0 37,20) pen=clHighlight")) << c.LogText();
  EXPECT_TRUE(Has(c, "FillRect(38,2,40,20) brush=#7A7A7A"));
  EXPECT_TRUE(Has(c, "FillRect(38,0,40,2) brush=clBtnFace"));
}

TEST_F(MenuSkinTest, DrawingSkinsNewItemsWithoutRebuildingTheMenu) {
  skin->SetActive(true);
  MenuItem* added = file->AddItem("Added later");
  EXPECT_FALSE(skin->SkinsItem(*added));
  const int changes = menus.changes;
  RecordingCanvas c({200, 40});
  // Drawing through the item's hook, as the window layer does.
  open->OnDrawItem(open, c, {0, 0, 120, 20}, 0);
  EXPECT_TRUE(skin->SkinsItem(*added));
  EXPECT_TRUE(skin->SkinsItem(*open));
  EXPECT_EQ(menus.changes, changes) << "the menu was rebuilt during a draw";
  EXPECT_TRUE(bar->OwnerDraw());
}

TEST_F(MenuSkinTest, GlyphsAreDimmedLiftedWithAShadowOrGreyed) {
  ImageList images(nullptr, 16, 16);
  Bitmap pic(16, 16);
  images.Add(pic);
  bar->SetImages(&images);
  open->SetImageIndex(0);
  skin->SetActive(true);
  RecordingCanvas c({200, 40});
  // Box: the column less 1, 2, 3, 2 -> (1,2,21,19); the glyph centred at (3,2).
  skin->DrawItem(*open, c, {0, 0, 120, 20}, ODS_SELECTED);
  const auto masked = Lines(c, "DrawMasked(");
  ASSERT_EQ(masked.size(), 2u) << c.LogText();
  EXPECT_EQ(masked[0].rfind("DrawMasked(4,3,", 0), 0u) << "the shadow two pixels right and down";
  EXPECT_EQ(masked[1].rfind("DrawMasked(2,1,", 0), 0u) << "the glyph lifted by one";
  c.ClearLog();
  skin->bits = 8;
  skin->DrawItem(*open, c, {0, 0, 120, 20}, ODS_GRAYED);
  EXPECT_EQ(Lines(c, "DrawMasked(").size(), 1u) << "drawn by the image list: " << c.LogText();
  bar->SetImages(nullptr);
}

}  // namespace
