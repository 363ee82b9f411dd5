#include "core/file_scan.h"

#include "core/config_wrapper.h"
#include "core/global_functions.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

using Guard = plat::Locked<plat::CriticalSection>;

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// The folder part of a path, without its trailing delimiter unless it is
// a root ("C:\", "/").
std::string FolderOf(const std::string& path) {
  std::string folder = plat::ExtractFilePath(path);
  const bool driveRoot = folder.size() == 3 && folder[1] == ':';
  if (folder.size() > 1 && !driveRoot) folder = plat::ExcludeTrailingDelim(folder);
  return folder;
}

std::string Numbered(const std::string& base, int n) {
  return base + " (" + std::to_string(n) + ")";
}

}  // namespace

// ------------------------------------------------------------ TFileScan

void TFileScan::Start(const std::string& folder, bool recursive) {
  search_.Close();
  findActive_ = false;
  pending_.assign(1, plat::IncludeTrailingDelim(plat::Trim(folder)));
  recursive_ = recursive;
  fresh_ = true;
}

bool TFileScan::Next() {
  if (fresh_) {
    fresh_ = false;
    return NextFolder();
  }
  plat::FileEntry e;
  if (findActive_ && search_.Next(e)) {
    Fill(e);
    return true;
  }
  return NextFolder();
}

bool TFileScan::NextFolder() {
  // A folder that cannot be listed is passed over; the walk goes on with
  // the next pending one.
  while (!pending_.empty()) {
    current_ = std::move(pending_.back());
    pending_.pop_back();
    search_.Close();
    plat::FileEntry e;
    findActive_ = search_.First(current_, "*", e);
    if (findActive_) {
      Fill(e);
      return true;
    }
  }
  search_.Close();
  findActive_ = false;
  return false;
}

void TFileScan::Fill(const plat::FileEntry& e) {
  Name = e.name;
  FullPath = current_ + e.name;
  Hidden = (e.attr & plat::kAttrHidden) != 0;
  System = (e.attr & plat::kAttrSystem) != 0;
  Directory = (e.attr & plat::kAttrDirectory) != 0;
  Size = e.size;
  FileDate = e.modified;
  if (Directory && recursive_ && !IsDotEntry(Name) && !plat::IsPseudoFileSystem(FullPath))
    pending_.push_back(FullPath + plat::kPathDelim);
}

// ------------------------------------------------------------ TShareScanThread

TShareScanThread::TShareScanThread(TShareManager* manager, const std::string& maskText)
    : plat::Thread(true), manager_(manager), maskText_(maskText) {}

void TShareScanThread::Execute() {
  try {
    roots_ = plat::FixedDriveRoots();
    masks_ = SplitMasks(maskText_);
    for (const std::string& root : roots_) {
      if (Stopped()) break;
      scan_.Start(root, true);
      while (!Stopped() && scan_.Next()) {
        if (scan_.Directory) {
          if (!IsDotEntry(scan_.Name)) FolderStep(scan_.FullPath);
        } else {
          FileStep(scan_.FullPath, scan_.Name, scan_.Size);
        }
      }
    }
  } catch (...) {
    // the scan never raises; it ends as a stopped one
  }
  EndOfScan();
}

void TShareScanThread::FolderStep(const std::string& fullPath) {
  Guard g(manager_->lock_);
  // The first rule that calls this folder a media folder; a rule's ignore
  // keyword, when given, excludes the folders it matches.
  const TShareRule* rule = nullptr;
  for (const auto& r : manager_->rules_) {
    if (Stopped()) return;
    const bool ignored = !plat::Trim(r->IgnoreKeyword).empty() &&
                         MatchWildcard(r->IgnoreKeyword, fullPath);
    if (MatchWildcard(r->Keyword, fullPath) && !ignored) {
      rule = r.get();
      break;
    }
  }
  if (!rule) return;

  TShareDirectory* root = manager_->root_.get();
  const std::string upper = plat::UpperCase(fullPath);
  const std::string upperTrimmed = plat::UpperCase(plat::Trim(fullPath));
  for (const auto& e : root->dirs_) {
    if (Stopped()) return;
    if (e.removed) continue;
    const std::string sharePath = plat::UpperCase(e.node->Path);
    if (plat::Trim(sharePath) == upperTrimmed) return;
    if (e.node->IncludeSubfolders && upper.find(sharePath) != std::string::npos) return;
  }

  std::string name = rule->Description;
  for (int n = 0;;) {
    bool taken = false;
    for (const auto& e : root->dirs_)
      if (!e.removed && plat::SameText(plat::Trim(e.node->Name), plat::Trim(name))) taken = true;
    if (!taken) break;
    name = Numbered(rule->Description, ++n);
  }

  TShareDirectory* added = root->AppendDirectory(fullPath, name, true);
  added->Masks = masks_;
  added->MaskText = maskText_;
  manager_->SendMessage(WM_SHARE_ADD_DIRECTORY, added);
}

void TShareScanThread::FileStep(const std::string& fullPath, const std::string& name,
                                int64_t size) {
  bool wanted = false;
  for (const auto& m : masks_) {
    if (Stopped()) return;
    if (MatchWildcard(m, name)) {
      wanted = true;
      break;
    }
  }
  if (!wanted || size > 0xFFFFFFFFll) return;  // sizes are kept in 32 bits
  {
    Guard g(manager_->lock_);
    TShareDirectory* root = manager_->root_.get();
    for (const auto& e : root->files_)
      if (!e.removed && plat::SameText(e.path, fullPath)) return;

    const std::string folder = FolderOf(plat::UpperCase(plat::Trim(fullPath)));
    for (const auto& e : root->dirs_) {
      if (Stopped()) return;
      const std::string sharePath = plat::UpperCase(e.node->Path);
      if (folder == plat::Trim(sharePath)) return;
      if (e.node->IncludeSubfolders && folder.find(sharePath) != std::string::npos) return;
    }

    std::string shown = name;
    for (int n = 0;;) {
      bool taken = false;
      for (const auto& e : root->files_)
        if (!e.removed && plat::SameText(plat::Trim(e.node->Name), plat::Trim(shown))) taken = true;
      if (!taken) break;
      shown = Numbered(name, ++n);
    }

    TShareFile* added = root->AddFile(fullPath, shown);
    if (!added) return;
    manager_->SendMessage(WM_SHARE_ADD_FILE, added);
  }
  TShareManager* m = manager_;
  Synchronize([m, &fullPath] {
    if (m->OnScanStatus) m->OnScanStatus(m, fullPath);
  });
}

void TShareScanThread::EndOfScan() {
  try {
    manager_->Root()->Update();
  } catch (...) {
  }
  TShareManager* m = manager_;
  try {
    Synchronize([m, this] { m->ScanEnded(this); });
  } catch (...) {
  }
}

// ------------------------------------------------------------ rules file

void LoadScanningRules(TShareManager* manager, const std::string& fileName) {
  try {
    TConfig config;
    config.LoadFromFile(fileName);
    if (!config.SetCurrentNode("\\SCANNING_RULES")) return;
    for (int i = 0; i < config.ItemCount(); ++i) {
      config.ItemName(i);
      manager->AddRule(config.GetValue("KEYWORD"), config.GetValue("IGNORE_KEYWORD"),
                       config.GetValue("DESCRIPTION"));
    }
  } catch (...) {
    // a missing or unreadable file: the rules read so far stay
  }
}

void LoadScanningRules(TShareManager* manager) {
  LoadScanningRules(manager, plat::ProgramFolder() + "SharedRules.dat");
}
