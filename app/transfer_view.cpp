#include "app/transfer_view.h"

#include <vector>

#include "app/language.h"
#include "app/grid_parts.h"
#include "app/view_parts.h"
#include "core/globals.h"
#include "peer/napster/napster_client.h"
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
  grid_ = view::AddGrid(this, {{LangText(kSection, "00010", "File"), 140},
                               {LangText(kSection, "00011", "User"), 110},
                               {LangText(kSection, "00012", "Size"), 65, true},
                               {LangText(kSection, "00013", "Progress"), 60, true},
                               {LangText(kSection, "00014", "Rate"), 70, true},
                               {LangText(kSection, "00015", "Time left"), 80, true},
                               {LangText(kSection, "00016", "State"), 130}});
}

TTransferView::~TTransferView() { grid_->ClearNodes(); }

TTransferView::Row* TTransferView::Running(const std::string& key) const {
  for (const auto& row : rows_)
    if (!row->Finished && row->Key == key) return row.get();
  return nullptr;
}

TGridTreeListNode* TTransferView::RowOf(const std::string& key) const {
  const Row* row = Running(key);
  return row ? row->Node : nullptr;
}

std::string TTransferView::KeyOf(const TGridTreeListNode* row) const {
  return row ? static_cast<const Row*>(row->Data())->Key : std::string();
}

bool TTransferView::Finished(const TGridTreeListNode* row) const {
  return row && static_cast<const Row*>(row->Data())->Finished;
}

bool TTransferView::Writing(const std::string& localFile) const {
  for (const auto& row : rows_)
    if (!row->Finished && plat::SameText(row->LocalFile, localFile)) return true;
  return false;
}

TGridTreeListNode* TTransferView::Touch(const TNapsterClientData& d) {
  Row* row = Running(d.Key);
  if (!row) {
    rows_.push_back(std::make_unique<Row>());
    row = rows_.back().get();
    row->Key = d.Key;
    row->Node = grid_->Add();
    row->Node->SetData(row);
  }
  row->LocalFile = d.LocalFile;
  TGridTreeListNode* n = row->Node;
  // A download shows the file as it is saved (made safe, perhaps renamed).
  n->SetStrings(colFile, view::ShownName(downloads_ && !d.LocalFile.empty() ? d.LocalFile : d.FileName));
  n->SetStrings(colUser, view::ShownNick(d.Nick));
  if (d.FileSize > 0) n->SetStrings(colSize, FormatByteSize(d.FileSize));
  if (d.FileSize > 0) n->SetStrings(colProgress, std::to_string(d.Percent) + " %");
  n->SetStrings(colRate, view::RateText(d.BytesPerSecond));
  n->SetStrings(colTimeLeft, d.Connected ? d.TimeLeft : std::string());
  return n;
}

void TTransferView::Show(const TNapsterClientData& d, const std::string& state) {
  TGridTreeListNode* n = Touch(d);
  static_cast<Row*>(n->Data())->Failed = false;
  n->SetStrings(colState, state);
}

void TTransferView::Fail(const TNapsterClientData& d, const std::string& state) {
  TGridTreeListNode* n = Touch(d);
  static_cast<Row*>(n->Data())->Failed = true;
  n->SetStrings(colState, state);
}

void TTransferView::Finish(const TNapsterClientData& d, const std::string& state) {
  TGridTreeListNode* n = Touch(d);
  Row* row = static_cast<Row*>(n->Data());
  row->Finished = true;
  if (d.Complete) row->Failed = false;
  if (!row->Failed) n->SetStrings(colState, state);
  n->SetStrings(colRate, "");
  n->SetStrings(colTimeLeft, "");
  if (d.Complete) {
    n->SetStrings(colProgress, "100 %");
    if (d.FileSize > 0) n->SetStrings(colSize, FormatByteSize(d.FileSize));
  }
}

void TTransferView::Drop(TGridTreeListNode* node) {
  const Row* row = static_cast<const Row*>(node->Data());
  node->Delete();
  std::erase_if(rows_, [row](const std::unique_ptr<Row>& r) { return r.get() == row; });
}

void TTransferView::RemoveChosen() {
  for (TGridTreeListNode* node : view::ChosenRows(grid_)) {
    // Ending the transfer fires its finish event, which finds the row.
    const Row* row = static_cast<const Row*>(node->Data());
    if (!row->Finished)
      if (TNapsterClientData* d = client_.FindTransfer(row->Key)) client_.RemoveTransfer(*d, false);
    Drop(node);
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
