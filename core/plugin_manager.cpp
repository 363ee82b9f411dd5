#include "core/plugin_manager.h"

#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

TPluginHolder::~TPluginHolder() {
  for (void* b : Blocks) std::free(b);
  Blocks.clear();
}

std::string TPluginHolder::ModuleFolder() const {
  return plat::ExtractFilePath(std::string(FileName, strnlen(FileName, sizeof FileName)));
}

TPluginManager::~TPluginManager() { UnloadAll(); }

void TPluginManager::UnloadAt(int i) {
  auto* holder = static_cast<TPluginHolder*>(Names.Object(i));
  Names.Delete(i);
  if (!holder) return;
  if (holder->Shutdown) holder->Shutdown();
  if (holder->Module) plat::FreeLib(holder->Module);
  delete holder;
}

void TPluginManager::Unload(std::string_view name) {
  int i = Names.IndexOf(plat::UpperCase(plat::Trim(name)));
  if (i >= 0) UnloadAt(i);
}

void TPluginManager::UnloadAll() {
  // By position, not by name: an entry is released even when its name
  // would not be found again after trimming.
  while (!Names.Empty()) UnloadAt(0);
  LoadedCount = 0;
}
