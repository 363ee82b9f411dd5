#include "core/simple_config.h"

#include <cstdint>
#include <cstring>

#include "core/global_functions.h"
#include "core/plugin_manager.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

enum class CharClass { kQuote, kEquals, kOpen, kClose, kLineEnd, kBlank, kText, kEnd };

CharClass ClassAt(std::string_view text, size_t pos) {
  if (pos >= text.size()) return CharClass::kEnd;
  switch (text[pos]) {
    case '"': return CharClass::kQuote;
    case '=': return CharClass::kEquals;
    case '[': return CharClass::kOpen;
    case ']': return CharClass::kClose;
    case '\r':
    case '\n': return CharClass::kLineEnd;
    case ' ':
    case '\t': return CharClass::kBlank;
    default: return CharClass::kText;
  }
}

}  // namespace

TSimpleConfig::~TSimpleConfig() {
  for (int i = 0; i < sections_.Count(); ++i) delete static_cast<TSectionObject*>(sections_.Object(i));
}

TSectionObject* TSimpleConfig::Find(std::string_view name) const {
  int i = sections_.IndexOf(name);
  return i < 0 ? nullptr : static_cast<TSectionObject*>(sections_.Object(i));
}

bool TSimpleConfig::SetSection(std::string_view name) {
  current_ = std::string(name);
  return Find(name) != nullptr;
}

void TSimpleConfig::DeleteSection(std::string_view name) {
  int i = sections_.IndexOf(name);
  if (i < 0) return;
  delete static_cast<TSectionObject*>(sections_.Object(i));
  sections_.Delete(i);
}

bool TSimpleConfig::CanHoldValue(std::string_view value) {
  return value.find_first_of("\"\r\n") == std::string_view::npos;
}

bool TSimpleConfig::CanHoldKey(std::string_view key) {
  return !key.empty() && key.find_first_of(" \t=\r\n") == std::string_view::npos;
}

bool TSimpleConfig::WriteString(std::string_view key, std::string_view value) {
  if (!CanHoldKey(key) || !CanHoldValue(value)) return false;
  TSectionObject* s = Current();
  if (!s) {
    s = new TSectionObject;
    sections_.Add(current_, s);
  }
  int k = s->Keys.IndexOf(key);
  if (k < 0) {
    s->Keys.Add(std::string(key));
    s->Values.Add(std::string(value));
  } else {
    s->Values[k] = std::string(value);
  }
  return true;
}

bool TSimpleConfig::WriteInteger(std::string_view key, int value) { return WriteString(key, plat::IntToStr(value)); }

bool TSimpleConfig::WriteBool(std::string_view key, bool value) { return WriteString(key, BoolToStr(value)); }

std::string TSimpleConfig::ReadString(std::string_view key) const {
  const TSectionObject* s = Current();
  if (!s) return std::string();
  int k = s->Keys.IndexOf(key);
  return k < 0 ? std::string() : s->Values[k];
}

int TSimpleConfig::ReadInteger(std::string_view key) const {
  return int(int32_t(uint32_t(uint64_t(DigitsToInt64(ReadString(key))))));
}

bool TSimpleConfig::ReadBool(std::string_view key) const { return StrToBool(ReadString(key)); }

bool TSimpleConfig::LoadFromFile(const std::string& fileName) {
  plat::StringList lines;
  if (!lines.LoadFromFile(fileName)) return false;
  LoadFromText(lines.Text());
  return true;
}

void TSimpleConfig::LoadFromText(std::string_view text) {
  std::string section;
  size_t pos = 0;
  for (;;) {
    switch (ClassAt(text, pos)) {
      case CharClass::kEnd:
        return;
      case CharClass::kOpen: {
        // The name runs to the next "]", across line ends if need be.
        size_t start = ++pos;
        while (ClassAt(text, pos) != CharClass::kClose && ClassAt(text, pos) != CharClass::kEnd) ++pos;
        section.assign(text.substr(start, pos - start));
        if (pos < text.size()) ++pos;
        break;
      }
      case CharClass::kText: {
        size_t start = pos;
        for (CharClass c = ClassAt(text, pos);
             c != CharClass::kEquals && c != CharClass::kBlank && c != CharClass::kLineEnd && c != CharClass::kEnd;
             c = ClassAt(text, ++pos)) {
        }
        std::string_view key = text.substr(start, pos - start);
        while (ClassAt(text, pos) == CharClass::kBlank) ++pos;
        if (ClassAt(text, pos) != CharClass::kEquals) {
          if (pos < text.size()) ++pos;  // the key is dropped with that character
          break;
        }
        ++pos;
        // Skip to the opening quote; a line end first drops the pair.
        CharClass c;
        while ((c = ClassAt(text, pos)) != CharClass::kQuote && c != CharClass::kLineEnd && c != CharClass::kEnd) ++pos;
        if (c != CharClass::kQuote) break;
        size_t vstart = ++pos;
        while ((c = ClassAt(text, pos)) != CharClass::kQuote && c != CharClass::kLineEnd && c != CharClass::kEnd) ++pos;
        if (c != CharClass::kQuote) break;
        std::string_view value = text.substr(vstart, pos - vstart);
        ++pos;
        SetSection(section);
        WriteString(key, value);
        break;
      }
      default:  // line ends, blanks and stray quotes, "]" or "="
        ++pos;
        break;
    }
  }
}

std::string TSimpleConfig::SaveToText() const {
  std::string out;
  for (int i = 0; i < sections_.Count(); ++i) {
    if (!out.empty()) out += "\r\n";
    out += '[';
    out += sections_[i];
    out += "]\r\n";
    const auto* s = static_cast<const TSectionObject*>(sections_.Object(i));
    for (int k = 0; k < s->Keys.Count(); ++k) {
      out += s->Keys[k];
      out += " = \"";
      out += s->Values[k];
      out += "\"\r\n";
    }
  }
  return out;
}

bool TSimpleConfig::SaveToFile(const std::string& fileName) const {
  std::string text = SaveToText();
  if (text.empty()) {
    plat::DeleteFile(fileName);
    return !plat::FileExists(fileName);
  }
  // The old file stays in place until the new one is complete.
  std::string temp = fileName + ".tmp";
  try {
    plat::FileStream f(temp, plat::FileStream::kCreate);
    f.WriteBuffer(text.data(), int64_t(text.size()));
    f.Flush();
  } catch (const plat::EStreamError&) {
    plat::DeleteFile(temp);
    return false;
  }
  if (!plat::RenameFile(temp, fileName)) {
    plat::DeleteFile(temp);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- globals

namespace {

// Created together on first use, in the order the program relies on.
struct ProgramGlobals {
  TSimpleConfig settings;
  TSimpleConfig language;
  TPluginManager plugins;
  std::string programFolder = AppDirectory();
};

ProgramGlobals& Globals() {
  static ProgramGlobals g;
  return g;
}

}  // namespace

TSimpleConfig& SettingsStore() { return Globals().settings; }
TSimpleConfig& LanguageStore() { return Globals().language; }
TPluginManager& PluginList() { return Globals().plugins; }
const std::string& ProgramFolderPath() { return Globals().programFolder; }

std::string GetLanguageText(std::string_view key) { return LanguageStore().ReadString(key); }

void SetLanguageSection(std::string_view name) { LanguageStore().SetSection(name); }

void StrToCharArray(char (&dest)[256], std::string_view text) {
  size_t n = text.size() < 254 ? text.size() : 254;
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

std::string ResolveFile(const TPluginHolder* plugin, const char* fileName) {
  return ResolveFile(plugin, fileName, ProgramFolderPath());
}

std::string ResolveFile(const TPluginHolder* plugin, const char* fileName, const std::string& program) {
  std::string name = fileName ? fileName : "";
  if (name.empty() || plat::FileExists(name)) return name;
  std::string candidates[3];
  int n = 0;
  if (plugin) {
    std::string folder = plugin->ModuleFolder();
    if (!folder.empty()) candidates[n++] = plat::IncludeTrailingDelim(folder) + name;
  }
  candidates[n++] = program + "Legacy" + plat::kPathDelim + name;
  candidates[n++] = program + name;
  for (int i = 0; i < n; ++i)
    if (plat::FileExists(candidates[i])) return candidates[i];
  return name;
}

void ShowText(const std::string& text) { plat::ShowMessage(text); }
