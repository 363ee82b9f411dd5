#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/recording_canvas.h"
#include "gui/registry_ini_file.h"
#include "tests/support/test_util.h"
#include "treelist/grid_utils.h"

namespace {

using namespace gui;

// A layout as the grid's layout store writes it.
void WriteLayout(TGridRegIniWrapper& w) {
  w.WriteInteger("Grid", "Width", -17);
  w.WriteInteger("Grid", "Big", INT_MAX);
  w.WriteInteger("Grid", "Small", INT_MIN);
  w.WriteBool("Grid", "ShowGrid", true);
  w.WriteBool("Grid", "ShowRoot", false);
  w.WriteInteger("Grid.Col0", "Width", 120);
}

void ExpectLayout(const TGridRegIniWrapper& r) {
  EXPECT_EQ(r.ReadInteger("grid", "width", 0), -17);  // names ignore case
  EXPECT_EQ(r.ReadInteger("Grid", "Big", 0), INT_MAX);
  EXPECT_EQ(r.ReadInteger("Grid", "Small", 0), INT_MIN);
  EXPECT_TRUE(r.ReadBool("Grid", "ShowGrid", false));
  EXPECT_FALSE(r.ReadBool("Grid", "ShowRoot", true));
  EXPECT_EQ(r.ReadInteger("Grid.Col0", "Width", 0), 120);
  EXPECT_EQ(r.ReadInteger("Grid", "Missing", 42), 42);
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(GridRegIniWrapper, LayoutSurvivesAnIniFileOnDisk) {
  const std::string path = testutil::TempFolder("grid-layout") + "layout.ini";
  {
    IniFile ini(path);
    TGridRegIniWrapper w(ini);
    WriteLayout(w);
    ini.WriteString("Grid", "Garbage", "12abc");
    ini.WriteString("Grid", "Seven", "7");
    for (const char* s : {"ab", "abc", "b", "AB1"}) w.WriteInteger(s, "x", 1);
    ASSERT_TRUE(ini.UpdateFile());  // the owner writes it out, not the wrapper
  }
  IniFile ini(path);
  TGridRegIniWrapper r(ini);
  ExpectLayout(r);
  EXPECT_EQ(r.ReadInteger("Grid", "Garbage", 5), 5);
  EXPECT_TRUE(r.ReadBool("Grid", "Seven", false));

  r.EraseSectionsStartingWith("");  // would match everything: nothing goes
  EXPECT_EQ(r.ReadSections().size(), 6u);
  r.EraseSectionsStartingWith("ab");  // case-sensitive
  EXPECT_EQ(Sorted(r.ReadSections()), (std::vector<std::string>{"AB1", "Grid", "Grid.Col0", "b"}));
  r.EraseSection("Grid.Col0");
  EXPECT_EQ(r.ReadInteger("Grid.Col0", "Width", 0), 0);
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

TEST(GridRegIniWrapper, LayoutSurvivesTheRegistryWhichPrefixErasingLeavesAlone) {
  const std::string root = "Software\\Tarnwick_26\\Tests\\GridLayout";
  Registry().DeleteKey(root);
  {
    RegistryIniFile reg(root);
    TGridRegIniWrapper w(reg);
    EXPECT_TRUE(w.IsRegistry());
    WriteLayout(w);
    w.WriteInteger("ab", "x", 1);
  }
  RegistryIniFile reg(root);
  TGridRegIniWrapper r(reg);
  ExpectLayout(r);
  r.EraseSectionsStartingWith("ab");
  r.EraseSectionsStartingWith("G");
  EXPECT_EQ(Sorted(r.ReadSections()), (std::vector<std::string>{"Grid", "Grid.Col0", "ab"}));
  r.EraseSection("ab");
  EXPECT_EQ(Sorted(r.ReadSections()), (std::vector<std::string>{"Grid", "Grid.Col0"}));
  Registry().DeleteKey(root);
}

TEST(GridTextFlags, TranslateToTheSystemsFormattedDrawing) {
  EXPECT_EQ(GridTextSystemFlags(gtfEndEllipsis, false),
            unsigned(DT_LEFT | DT_EXPANDTABS | DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE | DT_TOP));
  EXPECT_EQ(GridTextSystemFlags(gtfRight | gtfWordWrap | gtfPrefix, true),
            unsigned(DT_RIGHT | DT_EXPANDTABS | DT_NOCLIP | DT_WORDBREAK));
  EXPECT_EQ(GridTextSystemFlags(gtfCenter | gtfVCenter | gtfPathEllipsis, true),
            unsigned(DT_CENTER | DT_EXPANDTABS | DT_NOCLIP | DT_PATH_ELLIPSIS | DT_NOPREFIX |
                     DT_SINGLELINE | DT_VCENTER));
  EXPECT_EQ(GridTextSystemFlags(gtfBottom, false) & (DT_BOTTOM | DT_SINGLELINE),
            unsigned(DT_BOTTOM | DT_SINGLELINE));
}

// DrawTextEx on a recording canvas measuring 6 x 13 pixels a character.
class DrawTextExTest : public testing::Test {
 protected:
  DrawTextExTest() : c({200, 100}, "c", &measurer) {
    font.SetName("Cell");
    brush.SetColor(clYellow);
    c.Font().SetName("Caller");
    c.SetTextColor(clRed);
    c.SetBkColor(clGreen);
    c.SetBkMode(OPAQUE);
  }
  int Draw(std::string_view text, unsigned flags, Rect textRect, Rect clip, int* height = nullptr) {
    c.ClearLog();
    const int result =
        DrawTextEx(c, text, height, clBlue, clWhite, font, brush, flags, textRect, clip);
    EXPECT_EQ(c.Font().Name(), "Caller") << flags;
    EXPECT_EQ(c.TextColor(), clRed) << flags;
    EXPECT_EQ(c.BkColor(), clGreen) << flags;
    EXPECT_EQ(c.BkMode(), OPAQUE) << flags;
    EXPECT_EQ(c.Brush().Color(), clWhite) << flags;
    return result;
  }
  bool Logged(const std::string& part) const {
    return c.LogText().find(part) != std::string::npos;
  }
  FixedTextMeasurer measurer;
  RecordingCanvas c;
  Font font;
  Brush brush;
};

TEST_F(DrawTextExTest, MeasuringAnswersTheHeightDifferenceAndDrawsNothing) {
  int lineHeight = -1;
  EXPECT_EQ(Draw("", gtfMeasure, {0, 0, 50, 20}, {0, 0, 50, 30}, &lineHeight), 0);
  EXPECT_EQ(lineHeight, 13);
  EXPECT_EQ(c.LogText().find("Text"), std::string::npos) << c.LogText();
  // One line: 30 - 20 + 13; word-wrapped into three lines of 24 pixels.
  EXPECT_EQ(Draw("abcd", gtfMeasure, {0, 0, 50, 20}, {0, 0, 50, 30}), 23);
  EXPECT_EQ(Draw("aaa bbb ccc", gtfMeasure | gtfWordWrap, {0, 0, 24, 20}, {0, 0, 24, 20}), 39);
  EXPECT_FALSE(Logged("FillRect") || Logged("ExtTextOut") || Logged("-> \"")) << c.LogText();
}

TEST_F(DrawTextExTest, OneLineTextIsPlacedFilledAndCut) {
  Draw("ab", gtfRight | gtfBottom, {10, 10, 50, 40}, {0, 0, 60, 50});
  EXPECT_TRUE(Logged("ExtTextOut(38,27,opaque clipped 0,0,60,50,\"ab\")")) << c.LogText();
  // Wider than its rectangle: the clip part beyond is filled and cut off.
  Draw("abcdefghij", gtfCenter, {10, 0, 40, 13}, {0, 0, 60, 13});
  EXPECT_TRUE(Logged("FillRect(40,0,60,13) brush=#FFFF00")) << c.LogText();
  EXPECT_TRUE(Logged("ExtTextOut(10,0,opaque clipped 0,0,40,13,\"abcdefghij\")")) << c.LogText();
  Draw("abcdefghij", gtfCenter | gtfNoFill, {10, 0, 40, 13}, {0, 0, 60, 13});
  EXPECT_FALSE(Logged("FillRect")) << c.LogText();
  EXPECT_TRUE(Logged("ExtTextOut(10,0,clipped 0,0,40,13,\"abcdefghij\")")) << c.LogText();
  EXPECT_TRUE(Logged("bk=transparent")) << c.LogText();
  Draw("abcdefghij", gtfNoFill | gtfKeepBkMode, {10, 0, 40, 13}, {0, 0, 60, 13});
  EXPECT_FALSE(Logged("FillRect") || Logged("transparent")) << c.LogText();
  // An empty text still fills its background.
  Draw("", gtfLeft, {0, 0, 40, 13}, {0, 0, 40, 13});
  EXPECT_TRUE(Logged("ExtTextOut(0,0,opaque clipped 0,0,40,13,\"\")")) << c.LogText();
}

TEST_F(DrawTextExTest, FormattedTextAndTheFocusFrame) {
  // Ellipsis of a text too wide: the system's formatted drawing, clipped,
  // on the clip filled with the brush, transparent.
  Draw("abcdefghij", gtfEndEllipsis | gtfVCenter | gtfFocusRect, {10, 0, 40, 20}, {0, 0, 60, 20});
  EXPECT_TRUE(Logged("FillRect(0,0,60,20) brush=#FFFF00")) << c.LogText();
  EXPECT_TRUE(Logged("DrawText(\"abcdefghij\",10,0,40,20,DT_VCENTER|DT_SINGLELINE|DT_EXPANDTABS|"
                     "DT_NOPREFIX|DT_END_ELLIPSIS) -> \"ab...\"@10,3"))
      << c.LogText();
  EXPECT_TRUE(Logged("DrawFocusRect(9,-1,41,21)")) << c.LogText();
  // The frame follows the measured text: word-wrapped, the lines' rectangle.
  Draw("aaa bbb", gtfWordWrap | gtfFocusRect | gtfFocusFollowsText, {0, 0, 30, 40}, {0, 0, 30, 40});
  EXPECT_TRUE(Logged("DrawFocusRect(-1,-1,19,27)")) << c.LogText();
  // ... one line: its top moves to the bottom less the text height.
  Draw("ab", gtfFocusRect | gtfFocusFollowsText, {0, 0, 30, 40}, {0, 0, 30, 40});
  EXPECT_TRUE(Logged("DrawFocusRect(-1,26,31,41)")) << c.LogText();
  // An empty text has a frame unless it follows the text.
  Draw("", gtfFocusRect | gtfFocusFollowsText, {0, 0, 30, 13}, {0, 0, 30, 13});
  EXPECT_FALSE(Logged("DrawFocusRect")) << c.LogText();
  Draw("", gtfFocusRect, {0, 0, 30, 13}, {0, 0, 30, 13});
  EXPECT_TRUE(Logged("DrawFocusRect(-1,-1,31,14)")) << c.LogText();
}

TEST(GridDrawingHelpers, BitmapsOnlyGrowEachSideOnItsOwn) {
  Bitmap b(10, 20);
  EnsureBitmapSize(b, 5, 5);
  EnsureBitmapSize(b, 30, 8);
  EXPECT_EQ(Size(b.Width(), b.Height()), Size(30, 20));
}

}  // namespace
