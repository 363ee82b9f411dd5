#include "app/shared_item.h"

#include <algorithm>
#include <mutex>

#include "core/share_manager.h"

TSharedItemList::Editing::Editing(TSharedItemList& list) : tree_(list.manager_.Lock()), list_(list.lock_) {}

TSharedItemList::~TSharedItemList() { Clear(); }

TSharedItem* TSharedItemList::Make(bool directory, const std::string& name, const std::string& path) {
  auto item = std::make_unique<TSharedItem>();
  item->IsDirectory = directory;
  item->Name = name;
  item->Path = path;
  items_.push_back(std::move(item));
  return items_.back().get();
}

void TSharedItemList::Free(void* data) {
  std::erase_if(items_, [data](const std::unique_ptr<TSharedItem>& i) { return i.get() == data; });
}

TSharedItem* TSharedItemList::Attach(TShareDirectory* d) {
  Editing e(*this);
  TSharedItem* item = Make(true, d->Name, d->Path);
  d->Data = item;
  return item;
}

TSharedItem* TSharedItemList::Attach(TShareFile* f) {
  Editing e(*this);
  TSharedItem* item = Make(false, f->Name, f->Path);
  f->Data = item;
  return item;
}

TShareDirectory* TSharedItemList::AddDirectory(const std::string& path, const std::string& name,
                                               bool includeSubfolders, const std::string& masks) {
  TShareDirectory* d = manager_.AddDirectory(path, name, includeSubfolders, masks);
  if (d) Attach(d);
  return d;
}

TShareFile* TSharedItemList::AddFile(const std::string& path, const std::string& name) {
  TShareFile* f = manager_.AddFile(path, name);
  if (f) Attach(f);
  return f;
}

std::string FreeShareName(const std::string& base, const std::function<bool(const std::string&)>& taken) {
  std::string name = base;
  for (int k = 2; taken(name); ++k) name = base + " (" + std::to_string(k) + ")";
  return name;
}

template <class Node>
void TSharedItemList::RenameNode(Node* node, const std::string& name, const std::string& path) {
  Editing e(*this);
  if (node->Name != name) node->SetName(name);
  if (node->Path != path) node->SetPath(path);
  if (auto* item = static_cast<TSharedItem*>(node->Data.load())) {
    item->Name = name;
    item->Path = path;
  }
}

void TSharedItemList::Rename(TShareDirectory* d, const std::string& name, const std::string& path) {
  RenameNode(d, name, path);
}

void TSharedItemList::Rename(TShareFile* f, const std::string& name, const std::string& path) { RenameNode(f, name, path); }

void TSharedItemList::Remove(TShareDirectory* d) {
  Editing e(*this);
  Free(d->Data.exchange(nullptr));
  d->Remove();
}

void TSharedItemList::Remove(TShareFile* f) {
  Editing e(*this);
  Free(f->Data.exchange(nullptr));
  f->Remove();
}

void TSharedItemList::Clear() {
  TShareDirectory* root = manager_.Root();
  {
    Editing e(*this);
    for (int i = 0; i < root->DirectoryCount(); ++i) root->Directory(i)->Data = nullptr;
    for (int i = 0; i < root->FileCount(); ++i) root->File(i)->Data = nullptr;
    items_.clear();
  }
  root->Purge();
}

namespace {

void CollectFilePaths(const TShareDirectory* d, std::vector<std::string>& paths) {
  for (int i = 0; i < d->FileCount(); ++i)
    if (!d->FileRemoved(i)) paths.push_back(d->File(i)->Path);
  for (int i = 0; i < d->DirectoryCount(); ++i)
    if (!d->DirectoryRemoved(i)) CollectFilePaths(d->Directory(i), paths);
}

}  // namespace

std::vector<std::string> SharedFilePaths(TShareManager& manager, TShareDirectory* share) {
  std::vector<std::string> paths;
  std::lock_guard<plat::CriticalSection> tree(manager.Lock());
  CollectFilePaths(share, paths);
  return paths;
}

bool LoadSharedItems(TShareManager& manager, TSharedItemList& items, const std::string& fileName) {
  items.Clear();
  return manager.LoadFromFile(fileName);
}

bool SaveSharedItems(TShareManager& manager, const std::string& fileName) { return manager.SaveToFile(fileName); }
