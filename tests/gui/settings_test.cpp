#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "gui/ini_file.h"
#include "gui/registry_ini_file.h"
#include "tests/support/test_util.h"

namespace {

using namespace gui;
using Names = std::vector<std::string>;

// The same behaviour through the interface, for both stores; reopen()
// gives a fresh store over what the previous one kept.
void ExerciseStore(const std::function<std::unique_ptr<CustomIniFile>()>& reopen) {
  {
    auto s = reopen();
    s->WriteString("Grid", "Caption", "Name & size");
    s->WriteInteger("Grid", "Width", -120);
    s->WriteInteger("Grid", "Big", 2147483647);
    s->WriteBool("Grid", "Visible", true);
    s->WriteBool("Other", "Flag", false);
    s->WriteString("Other", "Text", "keep");
    s->WriteString("Grid", "Garbage", "12abc");
    s->WriteString("Grid", "Padded", "  two blanks  ");
    ASSERT_TRUE(s->UpdateFile());
  }
  auto s = reopen();
  EXPECT_EQ(s->ReadString("GRID", "caption", "x"), "Name & size");
  EXPECT_EQ(s->ReadInteger("Grid", "Width", 0), -120);
  EXPECT_EQ(s->ReadInteger("Grid", "Big", 0), 2147483647);
  EXPECT_EQ(s->ReadInteger("Grid", "Garbage", 7), 7);
  EXPECT_EQ(s->ReadInteger("Grid", "Missing", 9), 9);
  EXPECT_EQ(s->ReadString("Grid", "Padded", ""), "  two blanks  ");
  EXPECT_TRUE(s->ReadBool("Grid", "Visible", false));
  EXPECT_FALSE(s->ReadBool("Other", "Flag", true));
  EXPECT_TRUE(s->ReadBool("Grid", "Width", false));  // any integer but 0
  EXPECT_EQ(s->ReadSections(), (Names{"Grid", "Other"}));
  EXPECT_EQ(s->ReadSection("Other"), (Names{"Flag", "Text"}));
  EXPECT_EQ(s->ReadSectionValues("Other"), (Names{"Flag=0", "Text=keep"}));
  EXPECT_TRUE(s->SectionExists("other"));
  EXPECT_TRUE(s->ValueExists("Grid", "WIDTH"));
  s->DeleteKey("Grid", "Width");
  EXPECT_FALSE(s->ValueExists("Grid", "Width"));
  s->EraseSection("Grid");
  s->EraseSection("");  // reaches nothing
  ASSERT_TRUE(s->UpdateFile());
  s = reopen();
  EXPECT_EQ(s->ReadSections(), (Names{"Other"}));
  EXPECT_EQ(s->ReadString("Other", "Text", ""), "keep");
}

TEST(SettingsStores, IniFileRoundTrip) {
  const std::string dir = testutil::TempFolder("gui_ini");
  const std::string path = dir + "/layout.ini";
  ExerciseStore([&] { return std::make_unique<IniFile>(path); });
  // The file itself is plain lines.
  EXPECT_EQ(testutil::ReadFileBytes(path), "[Other]\r\nFlag=0\r\nText=keep\r\n");
}

TEST(SettingsStores, RegistryStandInRoundTrip) {
  MemoryRegistry reg;
  ScopedService<RegistryAccess> use(reg);
  reg.WriteValue("Software\\Tarnwick_26\\Else", "Kept", "1");
  ExerciseStore([] { return std::make_unique<RegistryIniFile>("Software\\Tarnwick_26\\Grid"); });
  EXPECT_TRUE(reg.KeyExists("software\\tarnwick_26\\grid\\other"));
  // Erasing a section never reaches a key beside or above the root.
  RegistryIniFile grid("Software\\Tarnwick_26\\Grid");
  grid.EraseSection("..\\Else");
  grid.EraseSection("");
  std::string v;
  EXPECT_TRUE(reg.ReadValue("Software\\Tarnwick_26\\Else", "Kept", v));
  EXPECT_TRUE(reg.KeyExists("Software\\Tarnwick_26\\Grid"));
}

// A hand-written or damaged file: what can be read is read, the rest is
// skipped; text that would break the file's lines is refused.
TEST(SettingsStores, IniReaderIsTolerantAndWriterRefusesLineBreaks) {
  IniFile ini("");
  ini.SetText("stray=1\n; comment\r\n[ A ]\r\n x = 1 \r\nnovalue\r\n=anon\rX=2\n[b\nq=\"quoted\"\n[]\nlost=1\n[a]\ny=3");
  EXPECT_EQ(ini.ReadSections(), (Names{"A", "b"}));
  EXPECT_EQ(ini.ReadString("a", "x", ""), "1");  // the first of repeated names
  EXPECT_EQ(ini.ReadString("a", "y", ""), "3");
  EXPECT_EQ(ini.ReadString("b", "q", ""), "quoted");
  EXPECT_FALSE(ini.ValueExists("b", "lost"));
  EXPECT_THROW(ini.WriteString("a", "k", "line\r\n[evil]"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("a", "k=v", "1"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("a]", "k", "1"), std::invalid_argument);
  EXPECT_EQ(ini.ReadSections(), (Names{"A", "b"}));
  EXPECT_FALSE(ini.UpdateFile());  // no file name
}

}  // namespace
