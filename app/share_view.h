// The shares view: the share tree's shares (folders under a share name)
// and individually shared files, with buttons that add a folder or a file
// and remove the chosen ones, and the number of files the client component
// announces. Every change goes through the shared-item list (a record on
// each node) and is reported through OnChanged. Stop sharing withdraws
// every file from every server until Share again (OnSharing).
#pragma once
#include <functional>
#include <memory>
#include <vector>
#include <string>

#include "gui/win32/std_controls.h"
#include "treelist/grid_tree_list.h"

class TShareManager;
class TShareDirectory;
class TShareFile;
class TSharedItemList;

class TShareView : public gui::Panel {
 public:
  enum Col { colName, colPath, colKind, colSubfolders, colTypes, colCount };

  TShareView(gui::Component* owner, TShareManager& manager, TSharedItemList& items);

  // Lists the tree again.
  void Refresh();
  // The number of files the client announces, shown beside the buttons.
  void SetAnnounced(int files);
  // Whether files are offered: the button says what pressing it does.
  void SetSharing(bool on);
  gui::Button* SharingButton() const { return sharing_; }

  // A share of the folder under a share name of its own (its last part,
  // numbered when another share has that name); a shared file.
  void AddFolder(const std::string& path, const std::string& fileTypes);
  void AddFile(const std::string& path);
  // Add file: a file the user picks.
  void ChooseFile();
  void RemoveChosen();

  TGridTreeList* Grid() const { return grid_; }
  // The file types new shares take.
  std::string FileTypes = "*.*";
  // After every change, with the disk paths of the files that left the
  // shares.
  std::function<void(const std::vector<std::string>& withdrawn)> OnChanged;
  // Stop sharing (false) or Share again (true) was pressed.
  std::function<void(bool on)> OnSharing;

 private:
  // What a row stands for: a share or a root-level file.
  struct Target {
    TShareDirectory* Directory = nullptr;
    TShareFile* File = nullptr;
  };
  TGridTreeListNode* AddRow(TShareDirectory* d, TShareFile* f);
  void Changed(const std::vector<std::string>& withdrawn = {});

  std::vector<std::unique_ptr<Target>> targets_;
  TShareManager& manager_;
  TSharedItemList& items_;
  TGridTreeList* grid_;
  gui::Label* announced_;
  gui::Button* sharing_;
  bool on_ = true;
};
