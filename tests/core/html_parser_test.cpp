#include "core/html_parser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "tests/support/test_util.h"

namespace {

void Parse(THTMLParser& p, const std::string& text) {
  plat::MemoryStream m;
  m.WriteBuffer(text.data(), int64_t(text.size()));
  m.SetPosition(0);
  p.ParseStream(m);
}

TEST(HTMLParser, WithoutContainersEveryTagIsAChildOfTheRoot) {
  THTMLParser p;
  Parse(p, "<TARNWICK><CACHE HOST=\"cache.example\" PORT=8890></CACHE><MENU/></TARNWICK>");
  THTMLObject* root = p.Root();
  ASSERT_EQ(root->ChildCount(), 3);
  EXPECT_EQ(root->Children(0)->Name(), "TARNWICK");
  THTMLObject* cache = root->FindChild(" cache ");
  ASSERT_NE(cache, nullptr);
  EXPECT_EQ(cache->Parent(), root);
  EXPECT_EQ(cache->GetAttribute("host"), "cache.example");
  EXPECT_EQ(cache->GetAttribute("PORT"), "8890");
  EXPECT_EQ(cache->GetAttribute("missing"), "");
  EXPECT_EQ(root->Children(2)->Name(), "MENU");
  EXPECT_EQ(root->FindChild("nothing"), nullptr);
}

TEST(HTMLParser, ContainersNestAndAnyContainerCloseEndsTheLevel) {
  THTMLParser p;
  p.AddContainerTag(" tarnwick ");
  p.AddContainerTag("Menu");
  Parse(p,
        "<Tarnwick>\r\n"
        "  <menu name=a><item x=1></item><item x=2></TARNWICK>\r\n"  // closed by another container
        "  <Cache host=h></whatever>\r\n"                              // non-container close: no effect
        "  <Menu name=b></Menu>\r\n"
        "</Tarnwick></Tarnwick></Tarnwick>");                          // extra closes stop at the root
  THTMLObject* root = p.Root();
  ASSERT_EQ(root->ChildCount(), 1);
  THTMLObject* top = root->Children(0);
  EXPECT_EQ(top->Name(), "Tarnwick");
  ASSERT_EQ(top->ChildCount(), 3);
  THTMLObject* menu = top->Children(0);
  EXPECT_EQ(menu->GetAttribute("NAME"), "a");
  ASSERT_EQ(menu->ChildCount(), 2);
  EXPECT_EQ(menu->Children(1)->GetAttribute("x"), "2");
  EXPECT_EQ(top->Children(1)->Name(), "Cache");
  EXPECT_EQ(top->Children(2)->GetAttribute("name"), "b");
  EXPECT_EQ(top->Children(2)->Parent(), top);
}

TEST(HTMLParser, AttributeQuotingAndRepeats) {
  THTMLParser p;
  Parse(p,
        "<T a=\"double\" b='single' c=\"mixed' d='x\" e  =  spaced f=1 f=2 g=\"\" \"q\"=3 n1 n2=4>");
  THTMLObject* t = p.Root()->FindChild("T");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->GetAttribute("A"), "double");
  EXPECT_EQ(t->GetAttribute("B"), "single");
  EXPECT_EQ(t->GetAttribute("C"), "mixed");  // ends at the first quote of either kind
  EXPECT_EQ(t->GetAttribute("E"), "spaced");
  EXPECT_EQ(t->GetAttribute("F"), "2");  // the last value wins
  EXPECT_EQ(t->GetAttribute("G"), "");
  EXPECT_EQ(t->GetAttribute("N1 N2"), "4");  // a name without "=" runs into the next
  t->SetAttribute("f", "3");
  EXPECT_EQ(t->GetAttribute("F"), "3");
}

TEST(HTMLParser, TextAndRawText) {
  THTMLParser p;
  p.AddContainerTag("BOX");
  Parse(p, "  lead <BOX k=v>\r\n   inner text, with = and 'quotes' <ITEM>tail</BOX>after");
  THTMLObject* root = p.Root();
  THTMLObject* box = root->FindChild("box");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(root->Text(), "lead after");
  EXPECT_EQ(box->Text(), "inner text, with = and 'quotes' tail");
  // Raw text: every character read while the node was the open one; the
  // opening tag belongs to the parent, the closing tag to the node.
  EXPECT_EQ(box->RawText(), "\r\n   inner text, with = and 'quotes' <ITEM>tail</BOX>");
  EXPECT_EQ(root->RawText(), "  lead <BOX k=v>after");
}

TEST(HTMLParser, TruncatedInputLeavesNoHalfTag) {
  THTMLParser p;
  Parse(p, "<A x=1><B y=\"unterminated");
  EXPECT_EQ(p.Root()->ChildCount(), 1);
  Parse(p, "<A></");
  EXPECT_EQ(p.Root()->ChildCount(), 1);
  Parse(p, "");
  EXPECT_EQ(p.Root()->ChildCount(), 0);
}

TEST(HTMLParser, ProgressCanStopAfterOneBlock) {
  std::string dir = testutil::TempFolder("htmlparser");
  std::string file = dir + "Application.cfg";
  std::string text;
  while (text.size() < 20000) text += "<ITEM n=" + std::to_string(text.size()) + ">\r\n";
  {
    std::ofstream f(file, std::ios::binary);
    f << text;
  }
  THTMLParser p;
  std::vector<int> calls;
  p.OnProgress = [&](THTMLParser* sender, int percent, int&) {
    EXPECT_EQ(sender, &p);
    calls.push_back(percent);
  };
  ASSERT_TRUE(p.ParseFile(file));
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls.back(), 100);
  int all = p.Root()->ChildCount();

  calls.clear();
  p.OnProgress = [&](THTMLParser*, int percent, int& cont) {
    calls.push_back(percent);
    cont = 0;
  };
  ASSERT_TRUE(p.ParseFile(file));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], int(8192 * 100.0 / double(text.size()) + 0.5));
  EXPECT_GT(p.Root()->ChildCount(), 0);
  EXPECT_LT(p.Root()->ChildCount(), all);
  // A stopped read does not stop the next one.
  p.OnProgress = nullptr;
  ASSERT_TRUE(p.ParseFile(file));
  EXPECT_EQ(p.Root()->ChildCount(), all);
}

TEST(HTMLParser, MissingFileGivesFalseAndAnEmptyTree) {
  THTMLParser p;
  Parse(p, "<A><B>");
  ASSERT_EQ(p.Root()->ChildCount(), 2);
  EXPECT_FALSE(p.ParseFile(testutil::TempFolder("htmlparser") + "missing.cfg"));
  ASSERT_NE(p.Root(), nullptr);
  EXPECT_EQ(p.Root()->ChildCount(), 0);
}

TEST(HTMLParser, DeepNestingIsFreedWithoutRecursion) {
  THTMLParser p;
  p.AddContainerTag("D");
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "<D>";
  Parse(p, text);
  int depth = 0;
  for (THTMLObject* n = p.Root(); n->ChildCount() > 0; n = n->Children(0)) ++depth;
  EXPECT_EQ(depth, 200000);
}

}  // namespace
