#include "app/app_settings.h"

#include <algorithm>

#include "app/language.h"
#include "core/global_functions.h"
#include "core/simple_config.h"
#include "gui/menu.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

std::string Read(const char* section, const char* key, const std::string& fallback) {
  TSimpleConfig& s = SettingsStore();
  s.SetSection(section);
  const std::string v = s.ReadString(key);
  return v.empty() ? fallback : v;
}

int ReadNumber(const char* section, const char* key, int fallback) {
  TSimpleConfig& s = SettingsStore();
  s.SetSection(section);
  return s.ReadString(key).empty() ? fallback : s.ReadInteger(key);
}

constexpr const char* kSection = "StoredEntries";

bool Write(const char* section, const char* key, const std::string& value) {
  SettingsStore().SetSection(section);
  return SettingsStore().WriteString(key, value);
}

}  // namespace

TAppSettings TAppSettings::Load(const std::string& programFolder) {
  TAppSettings a;
  Randomize();
  a.Nick = Read("Advanced", "Nick", "Tarnwick" + std::to_string(1000 + Random(9000)));
  a.DataPort = ReadNumber("Advanced", "DataPort", kDefaultDataPort);
  a.DownloadFolder =
      plat::IncludeTrailingDelim(Read("Downloads", "Folder", plat::IncludeTrailingDelim(programFolder) + "Downloads"));
  a.MaxResults = ReadNumber("Searching", "MaxResults", kDefaultMaxResults);
  if (a.MaxResults <= 0) a.MaxResults = kDefaultMaxResults;
  a.FileTypes = Read("SharedItems", "FileTypes", a.FileTypes);
  return a;
}

bool TAppSettings::Save() const {
  bool stored = Write("Advanced", "Nick", Nick);
  stored = Write("Advanced", "DataPort", std::to_string(DataPort)) && stored;
  stored = Write("Downloads", "Folder", DownloadFolder) && stored;
  stored = Write("Searching", "MaxResults", std::to_string(MaxResults)) && stored;
  return Write("SharedItems", "FileTypes", FileTypes) && stored;
}

void TAppSettings::TakeEntries(const std::string& dataPort, const std::string& downloadFolder,
                               const std::string& fileTypes) {
  DataPort = int(std::min<int64_t>(EasyStrToInt64(dataPort), 65535));
  const std::string folder = plat::Trim(downloadFolder);
  if (!folder.empty()) DownloadFolder = plat::IncludeTrailingDelim(folder);
  FileTypes = SharedTypes(fileTypes);
}

std::string TAppSettings::SharedTypes(const std::string& entry) {
  const std::string t = plat::Trim(entry);
  return t.empty() ? "*.*" : t;
}

std::string UnstorableEntry(const TTypedEntries& entries) {
  for (const auto& [label, text] : entries) {
    if (TSimpleConfig::CanHoldValue(text)) continue;
    std::string name = plat::Trim(gui::StripAccelerator(label));
    if (!name.empty() && name.back() == ':') name.pop_back();
    return name + " " + LangText(kSection, "00000", "cannot hold a double quote or a line break.");
  }
  return "";
}
