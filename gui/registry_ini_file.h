// A settings store over the registry: sections are subkeys of a root key
// path (under the current user's key), values are text values of those
// subkeys. The registry itself is a service: the window system's in the
// product, an in-memory process-wide store natively and in tests.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/ini_file.h"
#include "gui/services.h"

namespace gui {

// The registry below the current user's key; paths use backslashes
// ("Software\\Tarnwick_26\\Grid"); names compare without regard to case.
class RegistryAccess {
 public:
  virtual ~RegistryAccess() = default;
  virtual bool KeyExists(const std::string& path) const = 0;
  virtual bool CreateKey(const std::string& path) = 0;
  // Deletes the key with its values and subkeys.
  virtual bool DeleteKey(const std::string& path) = 0;
  virtual std::vector<std::string> SubKeys(const std::string& path) const = 0;
  virtual std::vector<std::string> ValueNames(const std::string& path) const = 0;
  // A value as text (a number value in decimal); false when absent.
  virtual bool ReadValue(const std::string& path, const std::string& name,
                         std::string& out) const = 0;
  // Writes a text value, creating the key.
  virtual bool WriteValue(const std::string& path, const std::string& name,
                          const std::string& value) = 0;
  virtual bool DeleteValue(const std::string& path, const std::string& name) = 0;
};

// The in-memory registry.
class MemoryRegistry : public RegistryAccess {
 public:
  bool KeyExists(const std::string& path) const override;
  bool CreateKey(const std::string& path) override;
  bool DeleteKey(const std::string& path) override;
  std::vector<std::string> SubKeys(const std::string& path) const override;
  std::vector<std::string> ValueNames(const std::string& path) const override;
  bool ReadValue(const std::string& path, const std::string& name,
                 std::string& out) const override;
  bool WriteValue(const std::string& path, const std::string& name,
                  const std::string& value) override;
  bool DeleteValue(const std::string& path, const std::string& name) override;
  void Clear() { keys_.clear(); }

 private:
  struct Key {
    std::string path;  // as first created
    std::vector<std::pair<std::string, std::string>> values;
  };
  std::map<std::string, Key> keys_;  // by upper-cased path
};

inline RegistryAccess& Registry() { return Service<RegistryAccess>::Get(); }
template <>
RegistryAccess& DefaultService<RegistryAccess>();

class RegistryIniFile : public CustomIniFile {
 public:
  // root: the key path whose subkeys are the sections.
  explicit RegistryIniFile(const std::string& root);
  const std::string& Root() const { return root_; }

  std::string ReadString(const std::string& section, const std::string& name,
                         const std::string& def) const override;
  void WriteString(const std::string& section, const std::string& name,
                   const std::string& value) override;
  std::vector<std::string> ReadSection(const std::string& section) const override;
  std::vector<std::string> ReadSections() const override;
  bool SectionExists(const std::string& section) const override;
  void EraseSection(const std::string& section) override;
  void DeleteKey(const std::string& section, const std::string& name) override;
  // Registry writes take effect at once.
  bool UpdateFile() override { return true; }

 private:
  std::string Path(const std::string& section) const;
  std::string root_;
};

}  // namespace gui
