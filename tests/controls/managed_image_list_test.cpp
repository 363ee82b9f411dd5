#include "controls/managed_image_list.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_util.h"

namespace {

using namespace gui;

struct Images {
  std::string dir = testutil::TempFolder("managed_image_list");
  TManagedImageList list{nullptr, 4, 3};
  std::vector<int> moves;
  std::vector<std::string> names;
  Images() {
    list.OnIndexChange = [this](TManagedImageList*, int at) { moves.push_back(at); };
  }
  // A w x h .bmp file: column x in colour (x + 1) * shade, the bottom-left
  // pixel (the transparent colour) white.
  std::string Bmp(const std::string& name, int w, int h, int shade) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.SetPixel(x, y, MakeRGB((x + 1) * shade, 0, 0));
    b.SetPixel(0, h - 1, clWhite);
    const std::string path = dir + name;
    testutil::WriteFileBytes(path, b.SaveToBytes());
    names.push_back(path);
    return path;
  }
  // Every listed name holds its own image of the list.
  void ExpectSound() {
    std::set<int> seen;
    int listed = 0;
    for (const std::string& n : names) {
      const int i = list.IndexOf(n);
      if (i < 0) continue;
      ++listed;
      EXPECT_LT(i, list.Count()) << n;
      EXPECT_TRUE(seen.insert(i).second) << n << " shares " << i;
    }
    EXPECT_EQ(listed, list.iCount());
  }
};

// One name, three spellings: one image used three times; a released
// image's later neighbours move down.
TEST(ManagedImageList, SharesAnImageByNameAndCountsItsUses) {
  Images t;
  const std::string a = t.Bmp("a.bmp", 4, 3, 10);
  ASSERT_EQ(t.list.AddImage(a), 0);
  EXPECT_EQ(t.list.AddImage(a), 0);
  EXPECT_EQ(t.list.AddImage("  " + plat::UpperCase(a) + " \t"), 0);
  EXPECT_EQ(t.list.Count(), 1);
  EXPECT_EQ(t.list.UseCount(a), 3);
  t.list.ReleaseImage(0);
  t.list.RemoveImage(a);
  EXPECT_EQ(t.list.Count(), 1);
  t.list.ReleaseImage(0);
  EXPECT_EQ(t.list.Count(), 0);
  EXPECT_EQ(t.list.iCount(), 0);
  EXPECT_EQ(t.moves, (std::vector<int>{0}));
  t.list.ReleaseImage(0);  // nobody holds it now
  t.list.RemoveImage(a);
  EXPECT_EQ(t.moves.size(), 1u);

  // Releasing the middle of three: the last moves down and keeps its name.
  const std::string b = t.Bmp("b.bmp", 4, 3, 20), c = t.Bmp("c.bmp", 4, 3, 30);
  EXPECT_EQ(t.list.AddImage(a), 0);
  EXPECT_EQ(t.list.AddImage(b), 1);
  EXPECT_EQ(t.list.AddImage(c), 2);
  t.list.ReleaseImage(1);
  EXPECT_EQ(t.moves, (std::vector<int>{0, 1}));
  EXPECT_EQ(t.list.AddImage(c), 1);
  EXPECT_EQ(t.list.ImageAt(1)->Pixel(3, 0), MakeRGB(120, 0, 0));
  t.ExpectSound();
}

// A picture of another width still makes exactly one image: a wider one
// is cut, a narrower one padded with its transparent colour.
TEST(ManagedImageList, PicturesOfAnyWidthMakeOneImage) {
  Images t;
  const std::string wide = t.Bmp("wide.bmp", 10, 3, 20), narrow = t.Bmp("narrow.bmp", 2, 2, 40);
  EXPECT_EQ(t.list.AddImage(wide), 0);
  t.ExpectSound();
  EXPECT_EQ(t.list.AddImage(narrow), 1);
  t.ExpectSound();
  EXPECT_EQ(t.list.Count(), 2);
  EXPECT_EQ(t.list.ImageAt(0)->Pixel(3, 0), MakeRGB(80, 0, 0));
  const Bitmap* mask = t.list.MaskAt(1);
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask->Pixel(1, 0), clBlack);  // the picture
  EXPECT_EQ(mask->Pixel(0, 1), clWhite);  // its transparent colour
  EXPECT_EQ(mask->Pixel(3, 0), clWhite);  // the padding
  EXPECT_EQ(mask->Pixel(1, 2), clWhite);
  t.list.RemoveImage(wide);
  EXPECT_EQ(t.list.IndexOf(narrow), 0);
  t.ExpectSound();
}

// What cannot be loaded gives -1 and changes nothing; an icon handle
// taken from the name is registered even when it names no icon.
TEST(ManagedImageList, UnloadableNamesAndIconHandles) {
  Images t;
  const std::string png = t.dir + "picture.png", bad = t.dir + "bad.bmp";
  testutil::WriteFileBytes(png, "\x89PNG\r\n\x1a\n");
  testutil::WriteFileBytes(bad, "BM this is no bitmap");
  for (const std::string& n : {png, bad, t.dir + "missing.bmp", t.dir + "missing.ico", std::string()}) {
    EXPECT_EQ(t.list.AddImage(n), -1) << n;
    EXPECT_EQ(t.list.Count(), 0);
  }
  EXPECT_EQ(t.list.AddImage("RESOURCE://"), 0);
  EXPECT_EQ(t.list.AddImage("resource://99999999999999999999999"), 1);  // too wide: no icon
  EXPECT_EQ(t.list.AddImage("RESOURCE://4660"), 2);
  EXPECT_EQ(t.list.AddImage("resource://4660 "), 2);
  EXPECT_EQ(t.list.iCount(), 3);
  EXPECT_EQ(t.list.Count(), 3);
}

}  // namespace
