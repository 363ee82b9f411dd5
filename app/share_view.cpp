#include "app/share_view.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "app/language.h"
#include "app/shared_item.h"
#include "app/grid_parts.h"
#include "app/view_parts.h"
#include "core/globals.h"
#include "core/share_manager.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "ShareView";

}  // namespace

TShareView::TShareView(gui::Component* owner, TShareManager& manager, TSharedItemList& items)
    : gui::Panel(owner), manager_(manager), items_(items) {
  SetBevel(Bevel::None);
  gui::Panel* strip = view::Strip(this, gui::alTop, 34);
  view::AddButton(strip, LangText(kSection, "00000", "Add &folder..."), 8, 5, 90, [this] {
    std::string chosen;
    if (view::ChooseFolder(this, "", chosen)) AddFolder(chosen, FileTypes);
  });
  view::AddButton(strip, LangText(kSection, "00001", "Add f&ile..."), 102, 5, 90, [this] { ChooseFile(); });
  view::AddButton(strip, LangText(kSection, "00002", "&Remove"), 196, 5, 75, [this] { RemoveChosen(); });
  sharing_ = view::AddButton(strip, LangText(kSection, "00200", "S&top sharing"), 275, 5, 90, [this] {
    if (OnSharing) OnSharing(!on_);
  });
  announced_ = view::AddLabel(strip, "", 378, 10, 200);
  grid_ = view::AddGrid(this, {{LangText(kSection, "00010", "Name"), 150},
                               {LangText(kSection, "00011", "Folder or file"), 300},
                               {LangText(kSection, "00012", "Kind"), 60},
                               {LangText(kSection, "00013", "Subfolders"), 70},
                               {LangText(kSection, "00014", "File types"), 100}});
}

TGridTreeListNode* TShareView::AddRow(TShareDirectory* d, TShareFile* f) {
  targets_.push_back(std::make_unique<Target>(Target{d, f}));
  TGridTreeListNode* n = grid_->Add();
  n->SetData(targets_.back().get());
  return n;
}

void TShareView::Refresh() {
  TGridUpdateScope scope(*grid_);
  grid_->ClearNodes();
  targets_.clear();
  std::lock_guard<plat::CriticalSection> g(manager_.Lock());
  TShareDirectory* root = manager_.Root();
  // By name: the share file keeps the shares in an order of its own.
  std::vector<TShareDirectory*> shares;
  for (int i = 0; i < root->DirectoryCount(); ++i)
    if (!root->DirectoryRemoved(i)) shares.push_back(root->Directory(i));
  std::stable_sort(shares.begin(), shares.end(), [](const TShareDirectory* a, const TShareDirectory* b) {
    return plat::CompareText(a->Name, b->Name) < 0;
  });
  for (TShareDirectory* d : shares) {
    TGridTreeListNode* n = AddRow(d, nullptr);
    n->SetStrings(colName, d->Name);
    n->SetStrings(colPath, d->Path);
    n->SetStrings(colKind, LangText(kSection, "00020", "Folder"));
    n->SetStrings(colSubfolders, d->IncludeSubfolders ? LangText(kSection, "00022", "Yes") : LangText(kSection, "00023", "No"));
    n->SetStrings(colTypes, d->MaskText);
  }
  for (int i = 0; i < root->FileCount(); ++i) {
    if (root->FileRemoved(i)) continue;
    TShareFile* f = root->File(i);
    TGridTreeListNode* n = AddRow(nullptr, f);
    n->SetStrings(colName, f->Name);
    n->SetStrings(colPath, f->Path);
    n->SetStrings(colKind, LangText(kSection, "00021", "File"));
  }
}

void TShareView::SetAnnounced(int files) {
  announced_->SetCaption(LangText(kSection, "00030", "Files announced:") + " " + FormatThousands(files));
}

void TShareView::SetSharing(bool on) {
  on_ = on;
  sharing_->SetCaption(on ? LangText(kSection, "00200", "S&top sharing") : LangText(kSection, "00201", "Share &again"));
}

void TShareView::Changed(const std::vector<std::string>& withdrawn) {
  Refresh();
  if (OnChanged) OnChanged(withdrawn);
}

void TShareView::AddFolder(const std::string& path, const std::string& fileTypes) {
  const std::string folder = plat::IncludeTrailingDelim(path);
  std::string base = plat::ExtractFileName(folder.substr(0, folder.size() - 1));
  if (base.empty()) base = LangText(kSection, "00024", "Share");
  std::string name;
  {
    std::lock_guard<plat::CriticalSection> g(manager_.Lock());
    TShareDirectory* root = manager_.Root();
    name = FreeShareName(base, [&](const std::string& n) {
      for (int i = 0; i < root->DirectoryCount(); ++i)
        if (!root->DirectoryRemoved(i) && plat::SameText(root->DirectoryName(i), n)) return true;
      return false;
    });
  }
  items_.AddDirectory(path, name, true, fileTypes);
  Changed();
}

void TShareView::AddFile(const std::string& path) {
  items_.AddFile(path, plat::ExtractFileName(path));
  Changed();
}

void TShareView::ChooseFile() {
  std::string chosen;
  if (view::ChooseFile(LangText(kSection, "00004", "Share a File"), chosen)) AddFile(chosen);
}

void TShareView::RemoveChosen() {
  std::vector<Target> chosen;
  for (TGridTreeListNode* row : view::ChosenRows(grid_)) chosen.push_back(*static_cast<Target*>(row->Data()));
  if (chosen.empty()) return;
  std::vector<std::string> withdrawn;
  for (const Target& t : chosen) {
    if (t.Directory) {
      const std::vector<std::string> paths = SharedFilePaths(manager_, t.Directory);
      withdrawn.insert(withdrawn.end(), paths.begin(), paths.end());
      items_.Remove(t.Directory);
    }
    if (t.File) {
      withdrawn.push_back(t.File->Path);
      items_.Remove(t.File);
    }
  }
  Changed(withdrawn);
}
