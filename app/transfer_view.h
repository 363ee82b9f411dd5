// The downloads view and the uploads view: one row per transfer, driven by
// the client component's transfer events, showing the file (a download as
// it is saved), the user, the size, the progress, the rate, the time left
// and the state. The row of a running transfer is found by its key, so a
// resumed download keeps its row; a transfer the component has let go
// stays as a finished row until the user clears it, and the same file
// fetched again (under another name, or over the old one) has a row of
// its own. Remove ends the chosen transfers and drops their rows; Remove
// all does so for every one.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>
#include <memory>
#include <string>

#include "gui/win32/std_controls.h"
#include "treelist/grid_tree_list.h"

class TNapsterClient;
struct TNapsterClientData;

class TTransferView : public gui::Panel {
 public:
  enum Col { colFile, colUser, colSize, colProgress, colRate, colTimeLeft, colState, colCount };

  TTransferView(gui::Component* owner, TNapsterClient& client, bool downloads);
  ~TTransferView() override;

  // The transfer's row (made when first seen) shows the record's figures
  // and the state text.
  void Show(const TNapsterClientData& d, const std::string& state);
  // The same for a failure: the text stays when the transfer then ends.
  void Fail(const TNapsterClientData& d, const std::string& state);
  // The transfer has ended: its row is finished and shows the state text,
  // unless a failure was shown (Complete: the progress shows the whole
  // file).
  void Finish(const TNapsterClientData& d, const std::string& state);

  TGridTreeList* Grid() const { return grid_; }
  // The row of the running transfer with this key (nullptr: none).
  TGridTreeListNode* RowOf(const std::string& key) const;
  // The key of a row's transfer, and whether it has ended.
  std::string KeyOf(const TGridTreeListNode* row) const;
  bool Finished(const TGridTreeListNode* row) const;
  // Whether a transfer that has not ended works on this local file (two
  // downloads never write one file).
  bool Writing(const std::string& localFile) const;
  int RowCount() const { return grid_->Count(); }

  void RemoveChosen();
  void RemoveAll();
  void ClearFinished();

 private:
  struct Row {
    std::string Key;
    std::string LocalFile;
    bool Finished = false;
    bool Failed = false;
    TGridTreeListNode* Node = nullptr;
  };
  Row* Running(const std::string& key) const;
  TGridTreeListNode* Touch(const TNapsterClientData& d);
  void Drop(TGridTreeListNode* row);

  TNapsterClient& client_;
  bool downloads_;
  TGridTreeList* grid_;
  std::vector<std::unique_ptr<Row>> rows_;
};
