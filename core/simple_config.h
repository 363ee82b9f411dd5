// The settings and language stores: named sections of key/value strings,
// read from and written to text of section lines ("[Name]") and value lines
// (Key = "value"). Section names and keys are matched without regard to
// case and keep the case in which they were first stored; sections and keys
// keep the order in which they were created.
//
// Also the program-wide globals of the same unit: the settings store, the
// language store, the plug-in list and the program folder, and the small
// services built on them.
#pragma once
#include <string>
#include <string_view>

#include "platform/stringlist.h"

class TPluginHolder;
class TPluginManager;

// One section: parallel key and value lists (one index is one pair).
class TSectionObject {
 public:
  plat::StringList Keys;
  plat::StringList Values;
};

class TSimpleConfig {
 public:
  TSimpleConfig() = default;
  ~TSimpleConfig();
  TSimpleConfig(const TSimpleConfig&) = delete;
  TSimpleConfig& operator=(const TSimpleConfig&) = delete;

  // Makes name the current section, whether it exists or not; true when
  // it exists.
  bool SetSection(std::string_view name);
  // Removes a section with its keys; nothing happens for an unknown name.
  void DeleteSection(std::string_view name);

  // Whether the text format holds a value as it is. It has no escaping: a
  // double quote would end the value early, and a line break would end
  // its line, the rest being read as keys or sections of its own.
  static bool CanHoldValue(std::string_view value);
  // Whether it holds a key: one that is not empty and has no blank, tab,
  // equals sign or line break.
  static bool CanHoldKey(std::string_view key);

  // Store into the current section, creating it (at the end) when needed.
  // False when the format cannot hold the key or the value: then nothing
  // is stored, and what the key held before stays.
  bool WriteString(std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view key, int value);
  bool WriteBool(std::string_view key, bool value);

  // The value in the current section; empty when section or key is missing.
  std::string ReadString(std::string_view key) const;
  // The digits of the value read as a number and cut to 32 bits (a minus
  // sign is dropped like any other non-digit); 0 when there is no digit.
  int ReadInteger(std::string_view key) const;
  // True when the trimmed, upper-cased value is "TRUE".
  bool ReadBool(std::string_view key) const;

  // Adds the pairs of the file to the store (nothing is cleared first);
  // false when the file cannot be read. Malformed lines are dropped.
  bool LoadFromFile(const std::string& fileName);
  // The parsing step of LoadFromFile over text whose lines end in CR LF.
  void LoadFromText(std::string_view text);

  // Writes the store to fileName through a temporary file that replaces
  // the target only once it is complete, so a failure never loses the old
  // file. An empty store writes nothing and removes the old file. False
  // when the file cannot be written.
  bool SaveToFile(const std::string& fileName) const;
  // The text SaveToFile writes.
  std::string SaveToText() const;

  const std::string& CurrentSection() const { return current_; }
  int SectionCount() const { return sections_.Count(); }
  const std::string& SectionName(int i) const { return sections_[i]; }

 private:
  TSectionObject* Find(std::string_view name) const;
  TSectionObject* Current() const { return Find(current_); }

  plat::StringList sections_;  // objects: TSectionObject*, owned
  std::string current_;
};

// The program-wide stores and lists, created together (in this order) on
// first use and freed when the program ends.
TSimpleConfig& SettingsStore();
TSimpleConfig& LanguageStore();
TPluginManager& PluginList();
// The program's folder with a trailing separator.
const std::string& ProgramFolderPath();

// ReadString on the language store's current section.
std::string GetLanguageText(std::string_view key);
// SetSection on the language store.
void SetLanguageSection(std::string_view name);

// Copies text into a 256-byte record field: at most 254 characters and a
// terminating NUL.
void StrToCharArray(char (&dest)[256], std::string_view text);

// The first existing file of: fileName itself; the plug-in's module folder
// + fileName; program folder + "Legacy" + fileName; program folder +
// fileName. fileName unchanged when none exists. plugin may be null.
std::string ResolveFile(const TPluginHolder* plugin, const char* fileName);
// The same with the program folder given (with its trailing separator).
std::string ResolveFile(const TPluginHolder* plugin, const char* fileName, const std::string& programFolder);

// Shows text in the plain message box.
void ShowText(const std::string& text);
