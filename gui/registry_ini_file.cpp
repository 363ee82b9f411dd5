#include "gui/registry_ini_file.h"

#include "platform/text.h"

namespace gui {

namespace {

std::string CleanPath(const std::string& p) {
  size_t b = 0, e = p.size();
  while (b < e && p[b] == '\\') ++b;
  while (e > b && p[e - 1] == '\\') --e;
  return p.substr(b, e - b);
}

std::string KeyOf(const std::string& p) { return plat::UpperCase(CleanPath(p)); }

}  // namespace

// ---------------------------------------------------------------- MemoryRegistry

bool MemoryRegistry::KeyExists(const std::string& path) const { return keys_.count(KeyOf(path)) != 0; }

bool MemoryRegistry::CreateKey(const std::string& path) {
  const std::string clean = CleanPath(path);
  if (clean.empty()) return false;
  // Every key on the way exists too.
  for (size_t at = 0;;) {
    const size_t slash = clean.find('\\', at);
    const std::string part = clean.substr(0, slash);
    keys_.try_emplace(plat::UpperCase(part), Key{part, {}});
    if (slash == std::string::npos) break;
    at = slash + 1;
  }
  return true;
}

bool MemoryRegistry::DeleteKey(const std::string& path) {
  const std::string k = KeyOf(path);
  if (k.empty() || !keys_.count(k)) return false;
  const std::string below = k + "\\";
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (it->first == k || it->first.compare(0, below.size(), below) == 0)
      it = keys_.erase(it);
    else
      ++it;
  }
  return true;
}

std::vector<std::string> MemoryRegistry::SubKeys(const std::string& path) const {
  std::vector<std::string> out;
  const std::string below = KeyOf(path) + "\\";
  for (const auto& [k, key] : keys_)
    if (k.compare(0, below.size(), below) == 0 && k.find('\\', below.size()) == std::string::npos)
      out.push_back(key.path.substr(below.size()));
  return out;
}

std::vector<std::string> MemoryRegistry::ValueNames(const std::string& path) const {
  std::vector<std::string> out;
  auto it = keys_.find(KeyOf(path));
  if (it != keys_.end())
    for (const auto& v : it->second.values) out.push_back(v.first);
  return out;
}

bool MemoryRegistry::ReadValue(const std::string& path, const std::string& name, std::string& out) const {
  auto it = keys_.find(KeyOf(path));
  if (it == keys_.end()) return false;
  for (const auto& v : it->second.values)
    if (plat::SameText(v.first, name)) {
      out = v.second;
      return true;
    }
  return false;
}

bool MemoryRegistry::WriteValue(const std::string& path, const std::string& name, const std::string& value) {
  if (!CreateKey(path)) return false;
  Key& key = keys_[KeyOf(path)];
  for (auto& v : key.values)
    if (plat::SameText(v.first, name)) {
      v.second = value;
      return true;
    }
  key.values.emplace_back(name, value);
  return true;
}

bool MemoryRegistry::DeleteValue(const std::string& path, const std::string& name) {
  auto it = keys_.find(KeyOf(path));
  if (it == keys_.end()) return false;
  auto& vals = it->second.values;
  for (size_t i = 0; i < vals.size(); ++i)
    if (plat::SameText(vals[i].first, name)) {
      vals.erase(vals.begin() + long(i));
      return true;
    }
  return false;
}

// ---------------------------------------------------------------- RegistryIniFile

RegistryIniFile::RegistryIniFile(const std::string& root) : root_(CleanPath(root)) {}

// A section is one subkey: an empty name or one with a backslash would
// reach the root or another key, so such names reach nothing.
std::string RegistryIniFile::Path(const std::string& section) const {
  if (section.empty() || section.find('\\') != std::string::npos) return "";
  return root_ + "\\" + section;
}

std::string RegistryIniFile::ReadString(const std::string& section, const std::string& name,
                                        const std::string& def) const {
  std::string v;
  const std::string p = Path(section);
  return !p.empty() && Registry().ReadValue(p, name, v) ? v : def;
}

void RegistryIniFile::WriteString(const std::string& section, const std::string& name,
                                  const std::string& value) {
  const std::string p = Path(section);
  if (!p.empty()) Registry().WriteValue(p, name, value);
}

std::vector<std::string> RegistryIniFile::ReadSection(const std::string& section) const {
  const std::string p = Path(section);
  return p.empty() ? std::vector<std::string>{} : Registry().ValueNames(p);
}

std::vector<std::string> RegistryIniFile::ReadSections() const { return Registry().SubKeys(root_); }

bool RegistryIniFile::SectionExists(const std::string& section) const {
  const std::string p = Path(section);
  return !p.empty() && Registry().KeyExists(p);
}

void RegistryIniFile::EraseSection(const std::string& section) {
  const std::string p = Path(section);
  if (!p.empty()) Registry().DeleteKey(p);
}

void RegistryIniFile::DeleteKey(const std::string& section, const std::string& name) {
  const std::string p = Path(section);
  if (!p.empty()) Registry().DeleteValue(p, name);
}

}  // namespace gui
