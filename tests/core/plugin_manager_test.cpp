#include "core/plugin_manager.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/files.h"

namespace {

int shutdowns = 0;
void CountShutdown() { ++shutdowns; }

TEST(PluginManager, UnloadFindsByTrimmedNameAndReleasesTheHolder) {
  shutdowns = 0;
  TPluginManager m;
  m.Unload("nothing");  // unknown: nothing happens
  m.LoadedCount = 3;
  m.UnloadAll();  // empty list: only the count is reset
  EXPECT_EQ(m.LoadedCount, 0);

  auto* a = new TPluginHolder;
  a->Shutdown = CountShutdown;
  a->Blocks.push_back(std::malloc(16));  // owned, freed with the holder
  m.Names.Add("ALPHA", a);
  auto* b = new TPluginHolder;
  b->Shutdown = CountShutdown;
  m.Names.Add("BETA", b);
  m.Unload("  alpha ");
  EXPECT_EQ(shutdowns, 1);
  ASSERT_EQ(m.Names.Count(), 1);
  EXPECT_EQ(m.Names[0], "BETA");
  m.LoadedCount = 1;
  m.UnloadAll();
  EXPECT_EQ(shutdowns, 2);
  EXPECT_EQ(m.Names.Count(), 0);
  EXPECT_EQ(m.LoadedCount, 0);
}

TEST(PluginManager, ModuleFolder) {
  TPluginHolder h;
  EXPECT_EQ(h.ModuleFolder(), "");
  std::string path = std::string("plugins") + plat::kPathDelim + "p.dll";
  std::copy(path.begin(), path.end(), h.FileName);
  EXPECT_EQ(h.ModuleFolder(), std::string("plugins") + plat::kPathDelim);
}

}  // namespace
