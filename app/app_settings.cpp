#include "app/app_settings.h"

#include <algorithm>

#include "core/global_functions.h"
#include "core/simple_config.h"
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

void Write(const char* section, const char* key, const std::string& value) {
  SettingsStore().SetSection(section);
  SettingsStore().WriteString(key, value);
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

void TAppSettings::Save() const {
  Write("Advanced", "Nick", Nick);
  Write("Advanced", "DataPort", std::to_string(DataPort));
  Write("Downloads", "Folder", DownloadFolder);
  Write("Searching", "MaxResults", std::to_string(MaxResults));
  Write("SharedItems", "FileTypes", FileTypes);
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
