// What the main window takes from the settings store ("Application4.cfg"):
// the user's nick, the download folder, the data port, the number of
// results a search asks for and the file types the share tree announces.
// A value the store lacks gets its default, and Save writes every value
// back, so the file lists them all after the first run.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct TAppSettings {
  static constexpr int kDefaultDataPort = 6699;
  static constexpr int kDefaultMaxResults = 100;

  std::string Nick;            // default: "Tarnwick" and four random digits
  std::string DownloadFolder;  // with its trailing separator; default: "Downloads" in the program folder
  int DataPort = kDefaultDataPort;  // 0: any free port
  int MaxResults = kDefaultMaxResults;
  std::string FileTypes = "*.*";  // masks of the shared files, separated by commas

  static TAppSettings Load(const std::string& programFolder);
  // Into the settings store; false when a value cannot be held there (see
  // UnstorableEntry): that one keeps the value it had.
  bool Save() const;
  // What a dialog's entries say: the port's digits (at most 65535), a
  // download folder, kept as it was when the entry is empty, and the file
  // types (SharedTypes).
  void TakeEntries(const std::string& dataPort, const std::string& downloadFolder, const std::string& fileTypes);
  // The file types an entry names: its trimmed text, every file ("*.*")
  // when that is empty.
  static std::string SharedTypes(const std::string& entry);
};

// What the user typed into entries whose text the program keeps in its
// settings files (nicks, passwords, servers, folders, file types, e-mail),
// each with its entry's label as the window shows it ("&Nick:"). Those
// files cannot hold a double quote or a line break: the line that refuses
// the first entry holding one, naming it ("Nick cannot hold ..."); "" when
// every one can be kept.
using TTypedEntries = std::vector<std::pair<std::string, std::string>>;
std::string UnstorableEntry(const TTypedEntries& entries);
