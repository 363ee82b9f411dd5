// The program-wide list of loaded plug-in modules. This program loads no
// plug-in modules itself: the list stays empty and the unload operations
// find nothing to do. A network provider built into the program makes a
// TPluginHolder of its own so that file names it passes are resolved
// relative to its folder (ResolveFile).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stringlist.h"

class TPluginHolder {
 public:
  using ShutdownRoutine = void (*)();

  TPluginHolder() = default;
  // Releases every owned memory block.
  ~TPluginHolder();
  TPluginHolder(const TPluginHolder&) = delete;
  TPluginHolder& operator=(const TPluginHolder&) = delete;

  void* Module = nullptr;               // plat::LoadLib handle, null when none
  char FileName[256] = {};              // the module's file, NUL-terminated
  ShutdownRoutine Shutdown = nullptr;   // called before the module is released
  std::vector<void*> Blocks;            // owned memory (std::malloc'ed)
  int32_t Values[6] = {};

  // The folder part of FileName, with its trailing separator ("" when the
  // name has no folder).
  std::string ModuleFolder() const;
};

class TPluginManager {
 public:
  TPluginManager() = default;
  // Unloads everything.
  ~TPluginManager();
  TPluginManager(const TPluginManager&) = delete;
  TPluginManager& operator=(const TPluginManager&) = delete;

  // Unloads the module listed under name (trimmed, without regard to
  // case): calls its shutdown routine, releases the module, frees the
  // holder and deletes the entry. Unknown names are ignored.
  void Unload(std::string_view name);
  // Unloads every module, then resets the loaded count.
  void UnloadAll();

  int32_t Values[4] = {};
  plat::StringList Names;    // upper-cased names; objects: TPluginHolder*, owned
  plat::StringList Second;
  int LoadedCount = 0;

 private:
  void UnloadAt(int i);
};
