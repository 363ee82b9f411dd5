#include "platform/system.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "platform/files.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

TEST(System, GuidTextShapeAndUniqueness) {
  const std::regex shape("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string g = plat::NewGuidText();
    EXPECT_TRUE(std::regex_match(g, shape)) << g;
    EXPECT_TRUE(seen.insert(g).second) << "repeated " << g;
  }
}

TEST(System, GuidBytesDiffer) {
  unsigned char a[16] = {}, b[16] = {};
  plat::NewGuidBytes(a);
  plat::NewGuidBytes(b);
  EXPECT_NE(std::string(reinterpret_cast<char*>(a), 16), std::string(reinterpret_cast<char*>(b), 16));
}

TEST(System, ProgramFolderHoldsTheExecutable) {
  const std::string exe = plat::ExecutablePath();
  const std::string folder = plat::ProgramFolder();
  ASSERT_FALSE(exe.empty());
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), plat::kPathDelim);
  EXPECT_EQ(exe.compare(0, folder.size(), folder), 0);
  EXPECT_TRUE(plat::FileExists(exe));
  EXPECT_TRUE(plat::DirectoryExists(folder));
}

// Digits group as the user's locale says on Windows, by "," elsewhere.
TEST(System, ThousandsSeparatorOfTheUser) {
#ifdef _WIN32
  char text[8] = {};
  ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, text, sizeof text), 0);
  EXPECT_EQ(plat::ThousandsSeparator(), text[0] ? text[0] : ',');
#else
  EXPECT_EQ(plat::ThousandsSeparator(), ',');
#endif
}

TEST(System, MissingLibraryAndSymbol) {
  EXPECT_EQ(plat::LoadLib("no-such-library-tarnwick.so.dll"), nullptr);
  EXPECT_EQ(plat::LibSymbol(nullptr, "x"), nullptr);
  plat::FreeLib(nullptr);
}

}  // namespace
