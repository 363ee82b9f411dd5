#include "app/program_files.h"

#include "core/plugin_manager.h"
#include "core/simple_config.h"
#include "platform/files.h"

void LoadProgramFiles(const std::string& folder) {
  const std::string dir = plat::IncludeTrailingDelim(folder);
  SettingsStore().LoadFromFile(dir + "Application4.cfg");
  LanguageStore().LoadFromFile(dir + "Application.flf");
}

bool SaveSettingsFile(const std::string& folder) {
  return SettingsStore().SaveToFile(plat::IncludeTrailingDelim(folder) + "Application4.cfg");
}

bool SaveProgramFiles(const std::string& folder) {
  const bool saved = SaveSettingsFile(folder);
  PluginList().UnloadAll();
  return saved;
}
