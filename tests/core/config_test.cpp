// The tag-structured configuration reader: parser states, split-invariance,
// look-ups, file errors and deep trees.
#include "core/config_wrapper.h"

#include <gtest/gtest.h>

#include "platform/stream.h"
#include "tests/support/test_util.h"
#include "tools/config_dump.h"

namespace {

std::string Parsed(const std::string& text) {
  TConfigHandle h;
  h.LoadFromBuffer(text.data(), text.size());
  return configdump::Dump(h.Root());
}

const char kRules[] =
    "<!SCANNING_RULES>\r\n"
    "<RULE KEYWORD=\"*\\MUSIC*\" IGNORE_KEYWORD=\"\" DESCRIPTION=\"Music\">\r\n"
    "<rule\tkeyword=\"*\\MP3*\"\r\n  ignore_keyword=\"*\\TEMP*\" description=\"MP3s\">\r\n"
    "<!/SCANNING_RULES>\r\n";

TEST(Config, SectionsItemsAndAttributesInAnyCase) {
  TConfig c;
  c.LoadFromBuffer(kRules, sizeof kRules - 1);
  ASSERT_TRUE(c.SetCurrentNode("\\scanning_rules"));
  ASSERT_EQ(c.ItemCount(), 2);
  EXPECT_EQ(c.ItemName(0), "RULE");
  EXPECT_EQ(c.GetValue("keyword"), "*\\MUSIC*");
  EXPECT_EQ(c.GetValue("IGNORE_KEYWORD"), "");
  EXPECT_EQ(c.GetValue("Description"), "Music");
  EXPECT_EQ(c.ItemName(1), "rule");
  EXPECT_EQ(c.GetValue("IGNORE_KEYWORD"), "*\\TEMP*");
  EXPECT_EQ(c.GetValue("DESCRIPTION"), "MP3s");
  EXPECT_EQ(c.GetValue("MISSING"), "");
  // Out of range: empty, current item unchanged.
  EXPECT_EQ(c.ItemName(2), "");
  EXPECT_EQ(c.GetValue("DESCRIPTION"), "MP3s");
  EXPECT_FALSE(c.SetCurrentNode("NOPE"));
  EXPECT_TRUE(c.SetCurrentNode(""));
  EXPECT_EQ(c.ItemCount(), 2);
}

TEST(Config, SameTreeForEverySplit) {
  const std::string text = std::string(kRules) +
                           "<!A><!B><ITEM X=1 Y=\"two words\" X=3><!/B>"
                           "<!a><ITEM Z=\"q>lost\" after>text<!/A> <X K=v>"
                           "<!\\A></closing><bad =\"=\">";
  const std::string whole = Parsed(text);
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    TConfigHandle h;
    h.Clear();
    h.Parse(text.data(), cut);
    h.Parse(text.data() + cut, text.size() - cut);
    ASSERT_EQ(configdump::Dump(h.Root()), whole) << "split at " << cut;
  }
  // Byte by byte as well.
  TConfigHandle h;
  for (char ch : text) h.Parse(&ch, 1);
  EXPECT_EQ(configdump::Dump(h.Root()), whole);
}

TEST(Config, ParserEdgeCases) {
  // A section opened twice is one section; items accumulate; a repeated
  // attribute is kept twice and the first is found.
  {
    TConfig c;
    const std::string t = "<!S><I A=1 A=2><!/S><!s><I B=\"x\"><!/s>";
    c.LoadFromBuffer(t.data(), t.size());
    ASSERT_TRUE(c.SetCurrentNode("\\S"));
    EXPECT_EQ(c.ItemCount(), 2);
    c.ItemName(0);
    EXPECT_EQ(c.GetValue("A"), "1");
    EXPECT_EQ(c.Handle().CurrentItem()->AttributeValues.size(), 2u);
  }
  // A mismatched closing tag is ignored; the items stay in the open section.
  {
    TConfig c;
    const std::string t = "<!OUTER><!/OTHER><I><!/OUTER><J>";
    c.LoadFromBuffer(t.data(), t.size());
    EXPECT_EQ(c.ItemCount(), 1);  // J at the root
    ASSERT_TRUE(c.SetCurrentNode("OUTER"));
    EXPECT_EQ(c.ItemCount(), 1);
    EXPECT_EQ(c.ItemName(0), "I");
  }
  // "</x>" without "!" is an item named "/x".
  {
    TConfig c;
    c.LoadFromBuffer("</x>", 4);
    ASSERT_EQ(c.ItemCount(), 1);
    EXPECT_EQ(c.ItemName(0), "/x");
  }
  // Unquoted values end at a blank; attribute names are trimmed; a quoted
  // value containing ">" is lost and the rest is outside text.
  {
    TConfig c;
    const std::string t = "<I A=one two B = \"b\" C=\"x>y\" D=\"d\">";
    c.LoadFromBuffer(t.data(), t.size());
    c.ItemName(0);
    EXPECT_EQ(c.GetValue("A"), "one");
    // "two" runs into the next name, and the value starts with the blank.
    EXPECT_EQ(c.GetValue("TWO B"), " \"b\"");
    EXPECT_EQ(c.GetValue("C"), "");
    EXPECT_EQ(c.GetValue("D"), "");
    EXPECT_EQ(c.Handle().CurrentItem()->AttributeNames.size(), 2u);
  }
  // Nested sections with a path relative to the current node.
  {
    TConfig c;
    const std::string t = "<!A><!B><I K=\"v\"><!/B><!/A>";
    c.LoadFromBuffer(t.data(), t.size());
    ASSERT_TRUE(c.SetCurrentNode("A"));
    ASSERT_TRUE(c.SetCurrentNode("b"));
    c.ItemName(0);
    EXPECT_EQ(c.GetValue("k"), "v");
    EXPECT_FALSE(c.SetCurrentNode("\\A\\C"));
    EXPECT_TRUE(c.SetCurrentNode("\\a\\b"));
  }
}

TEST(Config, OverlongPendingTextIsDropped) {
  std::string t = "<I A=\"" + std::string(16001, 'v') + "end\" B=\"ok\">";
  TConfig c;
  c.LoadFromBuffer(t.data(), t.size());
  c.ItemName(0);
  EXPECT_EQ(c.GetValue("A"), "end");
  EXPECT_EQ(c.GetValue("B"), "ok");
}

TEST(Config, SelectItemCreatesMissingItems) {
  TConfig c;
  const std::string t = "<I A=1><I A=2>";
  c.LoadFromBuffer(t.data(), t.size());
  EXPECT_TRUE(c.SelectItem("i"));
  EXPECT_EQ(c.GetValue("A"), "1");
  EXPECT_TRUE(c.SelectItem("NEW"));
  EXPECT_EQ(c.ItemCount(), 3);
  EXPECT_EQ(c.GetValue("A"), "");
  EXPECT_EQ(c.ItemName(2), "NEW");
}

TEST(Config, Files) {
  const std::string dir = testutil::TempFolder("config");
  TConfig c;
  try {
    c.LoadFromFile(dir + "missing.dat");
    FAIL() << "no exception";
  } catch (const EConfig& e) {
    EXPECT_EQ(e.Code, -2);
    EXPECT_STREQ(e.what(), "Config Exception -2");
  }
  // A file larger than one piece reads like the buffer.
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "<!S><I N=\"" + std::to_string(i) + "\"><!/S>\r\n";
  {
    plat::FileStream f(dir + "big.dat", plat::FileStream::kCreate);
    f.WriteBuffer(text.data(), int64_t(text.size()));
  }
  c.LoadFromFile(dir + "big.dat");
  EXPECT_EQ(configdump::Dump(c.Handle().Root()), Parsed(text));
  ASSERT_TRUE(c.SetCurrentNode("S"));
  EXPECT_EQ(c.ItemCount(), 2000);
  c.ItemName(1999);
  EXPECT_EQ(c.GetValue("N"), "1999");
}

// Each section tag opens a level below the one before: a tree far deeper
// than any stack holds frames for is replaced by the next load and freed
// with its reader, level by level, without recursion.
TEST(Config, DeepNestingIsFreedWithoutRecursion) {
  constexpr int kDepth = 200000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "<!D>";
  text += "<I A=deep>";
  TConfig c;
  c.LoadFromBuffer(text.data(), text.size());
  int depth = 0;
  const TConfigNode* n = &c.Handle().Root();
  for (; !n->Sections.empty(); n = n->Sections[0].node.get()) ++depth;
  EXPECT_EQ(depth, kDepth);
  ASSERT_EQ(n->Items.size(), 1u);
  EXPECT_EQ(*n->Items[0].node->FindValue("a"), "deep");
  const std::string flat = "<!S><I A=1><!/S>";
  c.LoadFromBuffer(flat.data(), flat.size());
  ASSERT_TRUE(c.SetCurrentNode("\\S"));
  EXPECT_EQ(c.ItemCount(), 1);
  // The reader goes with a deep tree again.
  c.LoadFromBuffer(text.data(), text.size());
}

}  // namespace
