#include "core/simple_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/plugin_manager.h"
#include "platform/files.h"
#include "tests/support/test_util.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

TEST(SimpleConfig, ReadsPairsWithTabsAndBlanksAroundEquals) {
  TSimpleConfig c;
  c.LoadFromText(
      "[Main]\r\n"
      "A = \"1\"\r\n"
      "B\t=\t\"two words\"\r\n"
      "C   =\"3\"\r\n"
      "D=   \"4\"\r\n"
      "E \"no equals\"\r\n");
  ASSERT_TRUE(c.SetSection("main"));
  EXPECT_EQ(c.ReadString("a"), "1");
  EXPECT_EQ(c.ReadString("B"), "two words");
  EXPECT_EQ(c.ReadString("C"), "3");
  EXPECT_EQ(c.ReadString("D"), "4");
  EXPECT_EQ(c.ReadString("E"), "");
}

TEST(SimpleConfig, MalformedLinesAreDroppedAndReadingGoesOn) {
  TSimpleConfig c;
  c.LoadFromText(
      "Top = \"before any section\"\r\n"
      "[One]\r\n"
      "Broken = \"no closing quote\r\n"
      "Good = \"yes\"\r\n"
      "NoQuote = value\r\n"
      "After = \"ok\"\r\n"
      "[Two\r\n"
      "Swallowed = \"x\"]\r\n"
      "Key = \"in the long name\"\r\n");
  ASSERT_TRUE(c.SetSection(""));
  EXPECT_EQ(c.ReadString("Top"), "before any section");
  ASSERT_TRUE(c.SetSection("One"));
  EXPECT_EQ(c.ReadString("Broken"), "");
  EXPECT_EQ(c.ReadString("Good"), "yes");
  EXPECT_EQ(c.ReadString("NoQuote"), "");
  EXPECT_EQ(c.ReadString("After"), "ok");
  // A section line without its "]" takes everything up to the next "]".
  std::string longName = "Two\r\nSwallowed = \"x\"";
  EXPECT_TRUE(c.SetSection(longName));
  EXPECT_EQ(c.ReadString("Key"), "in the long name");
  EXPECT_EQ(c.SectionCount(), 3);
  // The current section after loading is the one of the last pair read.
  TSimpleConfig d;
  d.LoadFromText("[A]\r\nx = \"1\"\r\n[B]\r\ny = \"2\"\r\n[C]\r\n");
  EXPECT_EQ(d.CurrentSection(), "B");
}

TEST(SimpleConfig, OrderCaseAndOverwrite) {
  TSimpleConfig c;
  c.SetSection("Zeta");
  c.WriteString("First", "1");
  c.WriteString("Second", "2");
  c.SetSection("alpha");
  c.WriteInteger("N", 7);
  c.SetSection("ZETA");
  c.WriteString("FIRST", "one");  // overwritten in place; first case kept
  c.WriteBool("Flag", true);
  EXPECT_EQ(c.SaveToText(),
            "[Zeta]\r\n"
            "First = \"one\"\r\n"
            "Second = \"2\"\r\n"
            "Flag = \"TRUE\"\r\n"
            "\r\n"
            "[alpha]\r\n"
            "N = \"7\"\r\n");
  c.DeleteSection("ALPHA");
  c.DeleteSection("missing");
  EXPECT_EQ(c.SectionCount(), 1);
  // Reading from a missing section or key gives empty text, 0, false.
  EXPECT_FALSE(c.SetSection("nowhere"));
  EXPECT_EQ(c.ReadString("First"), "");
  EXPECT_EQ(c.ReadInteger("First"), 0);
  EXPECT_FALSE(c.ReadBool("First"));
}

// The format has no escaping: a value with a double quote or a line break
// (or a key with a blank, a tab, an equals sign or a line break) would be
// read back cut short, or as pairs and sections of its own. Such a write
// is refused and stores nothing; what the key held stays, and what is
// saved reads back as it was written.
TEST(SimpleConfig, AWriteTheFormatCannotHoldIsRefusedAndStoresNothing) {
  TSimpleConfig c;
  c.SetSection("Server1");
  ASSERT_TRUE(c.WriteString("Password", "old"));
  for (const char* value : {"pa\"ss", "\"", "two\r\nlines", "line\nfeed", "carriage\rreturn",
                            "x\"\r\n[Advanced]\r\nNick = \"mallory"}) {
    EXPECT_FALSE(c.WriteString("Password", value)) << value;
    EXPECT_FALSE(c.WriteString("Fresh", value)) << value;
  }
  for (const char* key : {"", "two words", "tab\tbed", "a=b", "line\r\nbreak"}) {
    EXPECT_FALSE(c.WriteString(key, "v")) << key;
    EXPECT_FALSE(c.WriteInteger(key, 1)) << key;
    EXPECT_FALSE(c.WriteBool(key, true)) << key;
  }
  c.SetSection("Refused");
  EXPECT_FALSE(c.WriteString("K", "\""));
  EXPECT_EQ(c.SectionCount(), 1) << "a refused write creates no section";
  // What the format does hold, 8-bit text, blanks, brackets and "=" in a
  // value included.
  c.SetSection("Server1");
  EXPECT_TRUE(c.WriteString("Host", " [x] = 'y' \xE9\t"));
  EXPECT_TRUE(c.WriteInteger("Port", 8888));
  EXPECT_TRUE(c.WriteBool("Redirect", false));
  EXPECT_EQ(c.ReadString("Password"), "old");
  EXPECT_EQ(c.ReadString("Fresh"), "");
  TSimpleConfig back;
  back.LoadFromText(c.SaveToText());
  EXPECT_EQ(back.SaveToText(), c.SaveToText());
  ASSERT_TRUE(back.SetSection("Server1"));
  EXPECT_EQ(back.ReadString("Password"), "old");
  EXPECT_EQ(back.ReadString("Host"), " [x] = 'y' \xE9\t");
  EXPECT_EQ(back.SectionCount(), 1);
}

TEST(SimpleConfig, IntegersAndBooleans) {
  TSimpleConfig c;
  c.SetSection("S");
  c.WriteString("Neg", "-12");
  c.WriteInteger("Minus", -5);
  c.WriteString("Mixed", "a1b2c3");
  c.WriteString("Big", "4294967297");  // 2^32 + 1: cut to 32 bits
  c.WriteString("Huge", "123456789012345678901234567890");
  c.WriteString("T1", "true ");
  c.WriteString("T2", " TrUe");
  c.WriteString("F", "yes");
  EXPECT_EQ(c.ReadInteger("Neg"), 12);
  EXPECT_EQ(c.ReadInteger("Minus"), 5);  // the minus does not survive
  EXPECT_EQ(c.ReadString("Minus"), "-5");
  EXPECT_EQ(c.ReadInteger("Mixed"), 123);
  EXPECT_EQ(c.ReadInteger("Big"), 1);
  EXPECT_EQ(c.ReadInteger("Huge"), 0);  // more digits than fit read as 0
  EXPECT_TRUE(c.ReadBool("T1"));
  EXPECT_TRUE(c.ReadBool("T2"));
  EXPECT_FALSE(c.ReadBool("F"));
}

TEST(SimpleConfig, FilesRoundTripByteForByte) {
  std::string dir = testutil::TempFolder("simplecfg");
  std::string a = dir + "a.cfg", b = dir + "b.cfg";
  // Mixed line ends, tabs and 8-bit bytes on the way in.
  WriteAll(a, "X = \"\xE9t\xE9\"\n[S1]\rk1\t=\t\"v1\"\r\n\r\n[S2]\nk2 = \"\"\n[Empty]\n");
  TSimpleConfig c;
  ASSERT_TRUE(c.LoadFromFile(a));
  ASSERT_TRUE(c.SaveToFile(b));
  std::string first = ReadAll(b);
  EXPECT_EQ(first,
            "[]\r\nX = \"\xE9t\xE9\"\r\n\r\n[S1]\r\nk1 = \"v1\"\r\n\r\n[S2]\r\nk2 = \"\"\r\n");
  TSimpleConfig d;
  ASSERT_TRUE(d.LoadFromFile(b));
  ASSERT_TRUE(d.SaveToFile(a));
  EXPECT_EQ(ReadAll(a), first);
  EXPECT_FALSE(plat::FileExists(a + ".tmp"));
  // Loading merges into what is there.
  WriteAll(b, "[S1]\r\nk1 = \"new\"\r\nk3 = \"3\"\r\n");
  ASSERT_TRUE(d.LoadFromFile(b));
  d.SetSection("s1");
  EXPECT_EQ(d.ReadString("k1"), "new");
  EXPECT_EQ(d.ReadString("k3"), "3");
  EXPECT_EQ(d.SectionCount(), 3);  // "[Empty]" had no pair
  EXPECT_FALSE(d.LoadFromFile(dir + "missing.cfg"));
}

TEST(SimpleConfig, EmptyStoreRemovesTheFile) {
  std::string dir = testutil::TempFolder("simplecfg");
  std::string f = dir + "Application4.cfg";
  WriteAll(f, "[Old]\r\nk = \"v\"\r\n");
  TSimpleConfig empty;
  EXPECT_TRUE(empty.SaveToFile(f));
  EXPECT_FALSE(plat::FileExists(f));
  EXPECT_TRUE(empty.SaveToFile(f));  // and creates none
  EXPECT_FALSE(plat::FileExists(f));
  TSimpleConfig c;
  c.LoadFromText("[Lonely]\r\n");
  EXPECT_EQ(c.SectionCount(), 0);  // a bracket line alone creates nothing
}

TEST(SimpleConfig, FailedSaveKeepsTheOldFile) {
  std::string dir = testutil::TempFolder("simplecfg");
  std::string f = dir + "Application4.cfg";
  std::string old = "[Old]\r\nk = \"v\"\r\n";
  WriteAll(f, old);
  TSimpleConfig c;
  c.SetSection("New");
  c.WriteString("k", "w");
  // A folder where the temporary file would go: the write fails before
  // anything touches the target.
  ASSERT_TRUE(plat::CreateDir(f + ".tmp"));
  EXPECT_FALSE(c.SaveToFile(f));
  EXPECT_EQ(ReadAll(f), old);
  std::error_code ec;
  std::filesystem::remove(f + ".tmp", ec);
  // A temporary file left over by a crash after the write: the target is
  // still the old one, and the next save replaces both cleanly.
  WriteAll(f + ".tmp", "half written garbage that is longer than the new text");
  EXPECT_EQ(ReadAll(f), old);
  EXPECT_TRUE(c.SaveToFile(f));
  EXPECT_EQ(ReadAll(f), "[New]\r\nk = \"w\"\r\n");
  EXPECT_FALSE(plat::FileExists(f + ".tmp"));
  // A target that cannot be created (its folder is missing) fails.
  EXPECT_FALSE(c.SaveToFile(dir + "no-such-folder" + plat::kPathDelim + "x.cfg"));
}

TEST(SimpleConfigGlobals, LanguageTextsAndCharArrays) {
  LanguageStore().LoadFromText("[General]\r\n00000 = \"OK\"\r\n[Settings]\r\n00000 = \"Apply\"\r\n");
  SetLanguageSection("Settings");
  EXPECT_EQ(GetLanguageText("00000"), "Apply");
  SetLanguageSection("general");
  EXPECT_EQ(GetLanguageText("00000"), "OK");
  EXPECT_EQ(GetLanguageText("00001"), "");
  SetLanguageSection("Missing");
  EXPECT_EQ(GetLanguageText("00000"), "");
  EXPECT_EQ(&SettingsStore(), &SettingsStore());
  EXPECT_NE(&SettingsStore(), &LanguageStore());
  EXPECT_EQ(PluginList().Names.Count(), 0);
  EXPECT_FALSE(ProgramFolderPath().empty());

  char field[256];
  std::memset(field, 'x', sizeof field);
  StrToCharArray(field, "abc");
  EXPECT_STREQ(field, "abc");
  StrToCharArray(field, std::string(300, 'y'));
  EXPECT_EQ(std::strlen(field), 254u);
  EXPECT_EQ(field[255], 'x');  // untouched past the terminator
}

TEST(SimpleConfigGlobals, ResolveFileSearchOrder) {
  std::string program = testutil::TempFolder("resolve-prog");
  std::string pluginDir = testutil::TempFolder("resolve-plugin");
  ASSERT_TRUE(plat::CreateDir(program + "Legacy"));
  std::string legacy = program + "Legacy" + plat::kPathDelim;
  TPluginHolder holder;
  StrToCharArray(holder.FileName, pluginDir + "provider.dll");

  // Nothing exists: the name comes back unchanged.
  EXPECT_EQ(ResolveFile(&holder, "icon.bmp", program), "icon.bmp");
  WriteAll(program + "icon.bmp", "p");
  EXPECT_EQ(ResolveFile(&holder, "icon.bmp", program), program + "icon.bmp");
  WriteAll(legacy + "icon.bmp", "l");
  EXPECT_EQ(ResolveFile(&holder, "icon.bmp", program), legacy + "icon.bmp");
  WriteAll(pluginDir + "icon.bmp", "m");
  EXPECT_EQ(ResolveFile(&holder, "icon.bmp", program), pluginDir + "icon.bmp");
  EXPECT_EQ(ResolveFile(nullptr, "icon.bmp", program), legacy + "icon.bmp");
  // An existing path is taken as it is.
  std::string full = program + "icon.bmp";
  EXPECT_EQ(ResolveFile(&holder, full.c_str(), program), full);
}

}  // namespace
