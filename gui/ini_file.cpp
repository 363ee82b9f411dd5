#include "gui/ini_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "platform/stream.h"
#include "platform/text.h"

namespace gui {

namespace {

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

// ---------------------------------------------------------------- CustomIniFile

int CustomIniFile::ReadInteger(const std::string& section, const std::string& name, int def) const {
  const std::string s = plat::Trim(ReadString(section, name, ""));
  if (s.empty()) return def;
  const char* begin = s.c_str();
  size_t at = 0;
  bool neg = false;
  if (s[0] == '-' || s[0] == '+') {
    neg = s[0] == '-';
    ++at;
  }
  int base = 10;
  if (s.compare(at, 2, "0x") == 0 || s.compare(at, 2, "0X") == 0) {
    base = 16;
    at += 2;
  } else if (s.compare(at, 1, "$") == 0) {
    base = 16;
    at += 1;
  }
  if (at >= s.size() || s[at] == '-' || s[at] == '+' || s[at] == ' ') return def;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(begin + at, &end, base);
  if (errno != 0 || *end != '\0') return def;
  const long long r = neg ? -v : v;
  if (r < -2147483648LL || r > (base == 16 ? 4294967295LL : 2147483647LL)) return def;
  return int(uint32_t(r));
}

void CustomIniFile::WriteInteger(const std::string& section, const std::string& name, int value) {
  WriteString(section, name, std::to_string(value));
}

bool CustomIniFile::ReadBool(const std::string& section, const std::string& name, bool def) const {
  return ReadInteger(section, name, def ? 1 : 0) != 0;
}

void CustomIniFile::WriteBool(const std::string& section, const std::string& name, bool value) {
  WriteString(section, name, value ? "1" : "0");
}

std::vector<std::string> CustomIniFile::ReadSectionValues(const std::string& section) const {
  std::vector<std::string> out;
  for (const std::string& n : ReadSection(section)) out.push_back(n + "=" + ReadString(section, n, ""));
  return out;
}

bool CustomIniFile::SectionExists(const std::string& section) const {
  for (const std::string& s : ReadSections())
    if (plat::SameText(s, section)) return true;
  return false;
}

bool CustomIniFile::ValueExists(const std::string& section, const std::string& name) const {
  for (const std::string& n : ReadSection(section))
    if (plat::SameText(n, name)) return true;
  return false;
}

// ---------------------------------------------------------------- IniFile

IniFile::IniFile(const std::string& path) : path_(path) {
  plat::MemoryStream m;
  try {
    m.LoadFromFile(path);
  } catch (const plat::EStreamError&) {
    return;  // a missing file is an empty store
  }
  SetText(m.AsString());
}

IniFile::~IniFile() {
  if (dirty_) UpdateFile();
}

IniFile::Section* IniFile::Find(const std::string& section) {
  for (Section& s : sections_)
    if (plat::SameText(s.name, section)) return &s;
  return nullptr;
}

const IniFile::Section* IniFile::Find(const std::string& section) const {
  return const_cast<IniFile*>(this)->Find(section);
}

std::string IniFile::ReadString(const std::string& section, const std::string& name,
                                const std::string& def) const {
  if (const Section* s = Find(section))
    for (const auto& v : s->values)
      if (plat::SameText(v.first, name)) return v.second;
  return def;
}

void IniFile::WriteString(const std::string& section, const std::string& name,
                          const std::string& value) {
  // What would break the file's lines is refused rather than written.
  if (plat::Trim(section).empty() || section.find(']') != std::string::npos || HasLineBreak(section))
    throw std::invalid_argument("unusable ini section name: " + section);
  if (plat::Trim(name).empty() || name.find('=') != std::string::npos || HasLineBreak(name) ||
      plat::Trim(name)[0] == '[' || plat::Trim(name)[0] == ';')
    throw std::invalid_argument("unusable ini value name: " + name);
  if (HasLineBreak(value)) throw std::invalid_argument("ini values are single lines: " + name);
  Section* s = Find(section);
  if (!s) {
    sections_.push_back({section, {}});
    s = &sections_.back();
  }
  for (auto& v : s->values)
    if (plat::SameText(v.first, name)) {
      if (v.second != value) {
        v.second = value;
        dirty_ = true;
      }
      return;
    }
  s->values.emplace_back(name, value);
  dirty_ = true;
}

std::vector<std::string> IniFile::ReadSection(const std::string& section) const {
  std::vector<std::string> out;
  if (const Section* s = Find(section))
    for (const auto& v : s->values) out.push_back(v.first);
  return out;
}

std::vector<std::string> IniFile::ReadSections() const {
  std::vector<std::string> out;
  for (const Section& s : sections_) out.push_back(s.name);
  return out;
}

void IniFile::EraseSection(const std::string& section) {
  for (size_t i = 0; i < sections_.size(); ++i)
    if (plat::SameText(sections_[i].name, section)) {
      sections_.erase(sections_.begin() + long(i));
      dirty_ = true;
      return;
    }
}

void IniFile::DeleteKey(const std::string& section, const std::string& name) {
  if (Section* s = Find(section))
    for (size_t i = 0; i < s->values.size(); ++i)
      if (plat::SameText(s->values[i].first, name)) {
        s->values.erase(s->values.begin() + long(i));
        dirty_ = true;
        return;
      }
}

std::string IniFile::Text() const {
  std::string out;
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (i) out += "\r\n";
    out += "[" + sections_[i].name + "]\r\n";
    for (const auto& v : sections_[i].values) {
      // Blanks at the ends of a value, and quotes around it, survive in
      // quotes.
      const std::string& val = v.second;
      const bool quote =
          !val.empty() && (uint8_t(val.front()) <= 32 || uint8_t(val.back()) <= 32 ||
                           (val.size() >= 2 && (val.front() == '"' || val.front() == '\'') &&
                            val.back() == val.front()));
      out += v.first + "=" + (quote ? "\"" + val + "\"" : val) + "\r\n";
    }
  }
  return out;
}

void IniFile::SetText(const std::string& text) {
  sections_.clear();
  Section* cur = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = plat::Trim(std::string_view(text).substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
    if (pos < text.size()) ++pos;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      const std::string name = plat::Trim(line.substr(1, close == std::string::npos || close == 0
                                                           ? std::string::npos
                                                           : close - 1));
      if (name.empty()) {
        cur = nullptr;
        continue;
      }
      cur = Find(name);
      if (!cur) {
        sections_.push_back({name, {}});
        cur = &sections_.back();
      }
      continue;
    }
    const size_t eq = line.find('=');
    if (!cur || eq == std::string::npos) continue;
    const std::string name = plat::Trim(line.substr(0, eq));
    std::string value = plat::Trim(line.substr(eq + 1));
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\'')))
      value = value.substr(1, value.size() - 2);
    if (name.empty()) continue;
    bool seen = false;
    for (const auto& v : cur->values) seen = seen || plat::SameText(v.first, name);
    if (!seen) cur->values.emplace_back(name, value);  // the first of repeated names counts
  }
  dirty_ = false;
}

bool IniFile::UpdateFile() {
  if (path_.empty()) return false;
  try {
    const std::string text = Text();
    plat::FileStream f(path_, plat::FileStream::kCreate);
    f.WriteBuffer(text.data(), int64_t(text.size()));
  } catch (const plat::EStreamError&) {
    return false;
  }
  dirty_ = false;
  return true;
}

}  // namespace gui
