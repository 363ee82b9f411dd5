// The shell's record of each share and each individually shared file of
// the main window's share tree, hung on the node's Data. The records are
// made when the share file is loaded (the manager announces each share and
// file it reads) or when the user adds a share or a file; a node's Data is
// cleared before the node is removed, so the tree never points at a freed
// record.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sync.h"

class TShareManager;
class TShareDirectory;
class TShareFile;

struct TSharedItem {
  bool IsDirectory = false;
  std::string Name;  // the share name, or the file's name
  std::string Path;  // on disk
};

// A share name not yet taken: base, else "base (2)", "base (3)", ...
std::string FreeShareName(const std::string& base, const std::function<bool(const std::string&)>& taken);

class TSharedItemList {
 public:
  explicit TSharedItemList(TShareManager& manager) : manager_(manager) {}
  // Clears the Data of every node it set and frees the records.
  ~TSharedItemList();
  TSharedItemList(const TSharedItemList&) = delete;
  TSharedItemList& operator=(const TSharedItemList&) = delete;

  // A record for a node the manager announced.
  TSharedItem* Attach(TShareDirectory* directory);
  TSharedItem* Attach(TShareFile* file);
  // A new share (include subfolders, masks) or shared file with its record.
  TShareDirectory* AddDirectory(const std::string& path, const std::string& name, bool includeSubfolders,
                                const std::string& masks);
  TShareFile* AddFile(const std::string& path, const std::string& name);
  // Gives a share or shared file a new name and path, its record with it.
  void Rename(TShareDirectory* directory, const std::string& name, const std::string& path);
  void Rename(TShareFile* file, const std::string& name, const std::string& path);
  // Clears the node's Data, frees its record, then removes the node.
  void Remove(TShareDirectory* directory);
  void Remove(TShareFile* file);
  // Clears every Data and frees every record (before the tree is replaced).
  void Clear();
  int Count() const { return int(items_.size()); }

  // Holds the share manager's lock, then the list's, while the records and
  // the nodes they name are changed together. Both locks are taken only
  // this way, in this order (the manager announces loaded nodes while it
  // holds its own, and the handlers attach records then).
  class Editing {
   public:
    explicit Editing(TSharedItemList& list);
    Editing(const Editing&) = delete;
    Editing& operator=(const Editing&) = delete;

   private:
    std::lock_guard<plat::CriticalSection> tree_;
    std::lock_guard<plat::CriticalSection> list_;
  };

 private:
  TSharedItem* Make(bool directory, const std::string& name, const std::string& path);
  void Free(void* data);
  template <class Node>
  void RenameNode(Node* node, const std::string& name, const std::string& path);

  TShareManager& manager_;
  plat::CriticalSection lock_;
  std::vector<std::unique_ptr<TSharedItem>> items_;
};

// The disk paths of the files a share lists, its folders below included:
// what the client withdraws when the share goes or changes.
std::vector<std::string> SharedFilePaths(TShareManager& manager, TShareDirectory* share);

// The share file through the manager; the manager's OnAddDirectory and
// OnAddFile handlers attach the records while it loads (the old records are
// cleared first). False when the file cannot be read or written.
bool LoadSharedItems(TShareManager& manager, TSharedItemList& items, const std::string& fileName);
bool SaveSharedItems(TShareManager& manager, const std::string& fileName);
