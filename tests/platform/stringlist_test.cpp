#include "platform/stringlist.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/files.h"
#include "platform/stream.h"
#include "tests/support/test_util.h"

namespace {

using plat::StringList;

TEST(StringList, AddInsertDeleteAndObjects) {
  StringList l;
  int a = 1, b = 2;
  EXPECT_EQ(l.Add("one", &a), 0);
  EXPECT_EQ(l.Add("three"), 1);
  l.Insert(1, "two", &b);
  ASSERT_EQ(l.Count(), 3);
  EXPECT_EQ(l[1], "two");
  EXPECT_EQ(l.Object(1), &b);
  EXPECT_EQ(l.IndexOfObject(&a), 0);
  EXPECT_EQ(l.IndexOfObject(&b), 1);
  l.Delete(0);
  EXPECT_EQ(l[0], "two");
  EXPECT_EQ(l.IndexOfObject(&a), -1);
  l.Insert(l.Count(), "end");
  EXPECT_EQ(l[l.Count() - 1], "end");
  EXPECT_THROW(l.Insert(-1, "x"), std::out_of_range);
  EXPECT_THROW(l.Insert(l.Count() + 1, "x"), std::out_of_range);
  EXPECT_THROW(l.Delete(l.Count()), std::out_of_range);
  l[0] = "changed";
  EXPECT_EQ(l[0], "changed");
  l.Clear();
  EXPECT_TRUE(l.Empty());
}

TEST(StringList, IndexOfIgnoresCaseOfLatinLetters) {
  StringList l;
  l.Add("Caf\xE9");
  l.Add("Stra\xDF" "e");
  l.Add("caf\xC9");
  EXPECT_EQ(l.IndexOf("CAF\xC9"), 0);  // first match
  EXPECT_EQ(l.IndexOf("STRA\xDF" "E"), 1);
  EXPECT_EQ(l.IndexOf("Cafe"), -1);
  EXPECT_EQ(l.IndexOf(""), -1);
}

TEST(StringList, NamesAndValues) {
  StringList l;
  l.Add("Port=6699");
  l.Add("novalue");
  l.Add("Path=C:=x");
  l.Add("=empty name");
  EXPECT_EQ(l.Name(0), "Port");
  EXPECT_EQ(l.Name(1), "");
  EXPECT_EQ(l.Value("PORT"), "6699");
  EXPECT_EQ(l.Value("path"), "C:=x");
  EXPECT_EQ(l.Value("novalue"), "");
  EXPECT_EQ(l.IndexOfName("novalue"), -1);
  EXPECT_EQ(l.IndexOfName(""), 3);
  EXPECT_EQ(l.Value("missing"), "");
}

TEST(StringList, TextSplitsOnEveryLineEnd) {
  StringList l;
  l.SetText("a\r\nb\nc\rd");
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l[3], "d");
  EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n");
  l.SetText("x\r\n");
  EXPECT_EQ(l.Count(), 1);
  l.SetText("x\n\r\ny\r\r");  // empty lines are kept
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l[1], "");
  EXPECT_EQ(l[2], "y");
  EXPECT_EQ(l[3], "");
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Text(), "");
  l.SetText(std::string_view("nul\0inside", 10));
  ASSERT_EQ(l.Count(), 1);
  EXPECT_EQ(l[0].size(), 10u);
}

TEST(StringList, FilesKeepBytes) {
  const std::string dir = testutil::TempFolder("strings");
  StringList l;
  l.Add("first \xE9\xFF");
  l.Add("");
  l.Add("last");
  ASSERT_TRUE(l.SaveToFile(dir + "list.txt"));
  plat::MemoryStream raw;
  raw.LoadFromFile(dir + "list.txt");
  EXPECT_EQ(raw.AsString(), "first \xE9\xFF\r\n\r\nlast\r\n");
  StringList back;
  ASSERT_TRUE(back.LoadFromFile(dir + "list.txt"));
  EXPECT_EQ(back.Text(), l.Text());
  EXPECT_FALSE(back.LoadFromFile(dir + "missing.txt"));
  EXPECT_FALSE(l.SaveToFile(dir + "no" + plat::kPathDelim + "such" + plat::kPathDelim + "x.txt"));
}

}  // namespace
