#include "app/transfer_view.h"

#include <vector>

#include "app/language.h"
#include "app/view_parts.h"
#include "core/globals.h"
#include "peer/napster_client.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "TransferView";

}  // namespace

TTransferView::TTransferView(gui::Component* owner, TNapsterClient& client, bool downloads)
    : gui::Panel(owner), client_(client), downloads_(downloads) {
  SetBevel(Bevel::None);
  gui::Panel* strip = view::Strip(this, gui::alTop, 34);
  view::AddButton(strip, LangText(kSection, "00000", "&Remove"), 8, 5, 75, [this] { RemoveChosen(); });
  view::AddButton(strip, LangText(kSection, "00001", "Remove &all"), 87, 5, 85, [this] { RemoveAll(); });
  view::AddButton(strip, LangText(kSection, "00002", "&Clear finished"), 176, 5, 95, [this] { ClearFinished(); });
  grid_ = view::AddGrid(this, {{LangText(kSection, "00010", "File"), 190},
                               {LangText(kSection, "00011", "User"), 100},
                               {LangText(kSection, "00012", "Size"), 65, true},
                               {LangText(kSection, "00013", "Progress"), 60, true},
                               {LangText(kSection, "00014", "Rate"), 70, true},
                               {LangText(kSection, "00015", "Time left"), 80},
                               {LangText(kSection, "00016", "State"), 125}});
}

TTransferView::~TTransferView() { grid_->ClearNodes(); }

TGridTreeListNode* TTransferView::RowOf(const std::string& key) const {
  auto it = rows_.find(key);
  return it == rows_.end() ? nullptr : it->second->Node;
}

std::string TTransferView::KeyOf(const TGridTreeListNode* row) const {
  return row ? static_cast<const Row*>(row->Data())->Key : std::string();
}

bool TTransferView::Finished(const TGridTreeListNode* row) const {
  return row && static_cast<const Row*>(row->Data())->Finished;
}

bool TTransferView::Writing(const std::string& localFile) const {
  for (const auto& [key, row] : rows_)
    if (!row->Finished && plat::SameText(row->LocalFile, localFile)) return true;
  return false;
}

TGridTreeListNode* TTransferView::Touch(const TNapsterClientData& d) {
  auto& row = rows_[d.Key];
  if (!row) row = std::make_unique<Row>();
  row->Key = d.Key;
  row->LocalFile = d.LocalFile;
  row->Finished = false;
  row->Failed = false;
  if (!row->Node) {
    row->Node = grid_->Add();
    row->Node->SetData(row.get());
  }
  TGridTreeListNode* n = row->Node;
  n->SetStrings(colFile, view::ShownName(d.FileName));
  n->SetStrings(colUser, view::ShownNick(d.Nick));
  if (d.FileSize > 0) n->SetStrings(colSize, FormatByteSize(d.FileSize));
  if (d.FileSize > 0) n->SetStrings(colProgress, std::to_string(d.Percent) + " %");
  n->SetStrings(colRate, view::RateText(d.BytesPerSecond));
  n->SetStrings(colTimeLeft, d.Connected ? d.TimeLeft : std::string());
  return n;
}

void TTransferView::Show(const TNapsterClientData& d, const std::string& state) {
  Touch(d)->SetStrings(colState, state);
}

void TTransferView::Fail(const TNapsterClientData& d, const std::string& state) {
  Show(d, state);
  rows_[d.Key]->Failed = true;
}

void TTransferView::Finish(const TNapsterClientData& d, const std::string& state) {
  auto it = rows_.find(d.Key);
  const bool failed = it != rows_.end() && it->second->Failed && !d.Complete;
  TGridTreeListNode* n = Touch(d);
  rows_[d.Key]->Finished = true;
  rows_[d.Key]->Failed = failed;
  if (!failed) n->SetStrings(colState, state);
  n->SetStrings(colRate, "");
  n->SetStrings(colTimeLeft, "");
  if (d.Complete) {
    n->SetStrings(colProgress, "100 %");
    if (d.FileSize > 0) n->SetStrings(colSize, FormatByteSize(d.FileSize));
  }
}

void TTransferView::Drop(TGridTreeListNode* row) {
  const std::string key = KeyOf(row);
  row->Delete();
  rows_.erase(key);
}

void TTransferView::RemoveChosen() {
  std::vector<std::string> keys;
  for (TGridTreeListNode* row : view::ChosenRows(grid_)) keys.push_back(KeyOf(row));
  for (const std::string& key : keys) {
    // Ending the transfer fires its finish event, which finds the row.
    if (TNapsterClientData* d = client_.FindTransfer(key)) client_.RemoveTransfer(*d, false);
    if (TGridTreeListNode* row = RowOf(key)) Drop(row);
  }
}

void TTransferView::RemoveAll() {
  if (downloads_)
    client_.RemoveAllDownloads();
  else
    client_.RemoveAllUploads();
  grid_->ClearNodes();
  rows_.clear();
}

void TTransferView::ClearFinished() {
  std::vector<TGridTreeListNode*> done;
  for (int i = 0; i < grid_->Count(); ++i)
    if (Finished(grid_->Items(i))) done.push_back(grid_->Items(i));
  for (TGridTreeListNode* row : done) Drop(row);
}
