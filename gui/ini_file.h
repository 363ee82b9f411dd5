// Settings stores with one interface: an ini file ([section] lines and
// name=value lines) and a registry store (gui/registry_ini_file.h).
// Section and value names are compared without regard to case.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace gui {

class CustomIniFile {
 public:
  virtual ~CustomIniFile() = default;
  virtual std::string ReadString(const std::string& section, const std::string& name,
                                 const std::string& def) const = 0;
  virtual void WriteString(const std::string& section, const std::string& name,
                           const std::string& value) = 0;
  // Decimal text (also "0x..." hex); text that is not a number gives def.
  virtual int ReadInteger(const std::string& section, const std::string& name, int def) const;
  virtual void WriteInteger(const std::string& section, const std::string& name, int value);
  // Written as "1" / "0", read as an integer that is not 0.
  virtual bool ReadBool(const std::string& section, const std::string& name, bool def) const;
  virtual void WriteBool(const std::string& section, const std::string& name, bool value);
  // The names of the values of a section / the sections, in stored order.
  virtual std::vector<std::string> ReadSection(const std::string& section) const = 0;
  virtual std::vector<std::string> ReadSections() const = 0;
  // "name=value" lines of a section.
  virtual std::vector<std::string> ReadSectionValues(const std::string& section) const;
  virtual bool SectionExists(const std::string& section) const;
  virtual bool ValueExists(const std::string& section, const std::string& name) const;
  virtual void EraseSection(const std::string& section) = 0;
  virtual void DeleteKey(const std::string& section, const std::string& name) = 0;
  // Writes what is kept in memory out (false on failure).
  virtual bool UpdateFile() = 0;
};

// An ini file kept in memory: read when opened (a missing file is an
// empty store), written by UpdateFile and on destruction when changed.
// The reader is tolerant: lines that are neither "[section]" nor
// "name=value" are skipped, blanks around names and values are trimmed,
// ';' starts a comment line, CR LF / LF / CR end lines.
class IniFile : public CustomIniFile {
 public:
  explicit IniFile(const std::string& path);
  ~IniFile() override;
  const std::string& FileName() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& name,
                         const std::string& def) const override;
  void WriteString(const std::string& section, const std::string& name,
                   const std::string& value) override;
  std::vector<std::string> ReadSection(const std::string& section) const override;
  std::vector<std::string> ReadSections() const override;
  void EraseSection(const std::string& section) override;
  void DeleteKey(const std::string& section, const std::string& name) override;
  bool UpdateFile() override;

  // The file's text as it would be written, and reading from text.
  std::string Text() const;
  void SetText(const std::string& text);

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
  };
  Section* Find(const std::string& section);
  const Section* Find(const std::string& section) const;
  std::string path_;
  std::vector<Section> sections_;
  bool dirty_ = false;
};

}  // namespace gui
