#include "app/search_view.h"

#include "app/language.h"
#include "app/grid_parts.h"
#include "app/view_parts.h"
#include "core/globals.h"
#include "peer/napster/napster_client.h"
#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "SearchView";

int Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

std::string UserText(const TSearchHit& r) { return view::ShownNick(r.Nick); }

bool FromGnutella(const TSearchHit& r) {
  std::string host, index;
  return GnutellaSource(r.Nick, host, index);
}

// Whether a result really carries the figure of a column. A Gnutella
// result's bit rate, frequency and length are the gateway's placeholders
// (its speed too when it is 0), a file that is not audio has none of them,
// and a ping of 0 was never measured: such cells stay empty and sort last.
bool Known(const TSearchHit& r, int column) {
  switch (column) {
    case TSearchView::colBitRate:
    case TSearchView::colFrequency:
    case TSearchView::colLength: return r.IsMP3 && !FromGnutella(r);
    case TSearchView::colSpeed: return r.LinkType > 0 || !FromGnutella(r);
    case TSearchView::colPing: return r.Ping > 0;
    default: return true;
  }
}

}  // namespace

TSearchView::TSearchView(gui::Component* owner, TNapsterClient& client) : gui::Panel(owner), client_(client) {
  SetBevel(Bevel::None);
  gui::Panel* strip = view::Strip(this, gui::alTop, 34);
  searchLabel_ = view::AddLabel(strip, LangText(kSection, "00000", "Search for:"), 8, 10, 66);
  searchBox_ = view::AddEdit(strip, 74, 6, 190);
  kind_ = new gui::ComboBox(strip);
  kind_->SetBounds(270, 6, 100, 200);
  kind_->AddItem(LangText(kSection, "00001", "Audio files"));
  kind_->AddItem(LangText(kSection, "00002", "Other files"));
  kind_->SetItemIndex(0);
  kind_->SetParent(strip);
  searchButton_ = view::AddButton(strip, LangText(kSection, "00003", "&Search"), 381, 5, 70, [this] { StartFromBox(); });
  searchButton_->SetDefault(true);
  stopButton_ = view::AddButton(strip, LangText(kSection, "00004", "S&top"), 455, 5, 70, [this] { Stop(); });
  stopButton_->SetEnabled(false);
  downloadButton_ =
      view::AddButton(strip, LangText(kSection, "00005", "&Download"), 529, 5, 80, [this] { DownloadChosen(); });
  count_ = view::AddLabel(strip, "", 618, 10, kCountWidth);

  grid_ = view::AddGrid(this, {{LangText(kSection, "00010", "File"), 170},
                               {LangText(kSection, "00011", "Size"), 66, true},
                               {LangText(kSection, "00012", "Bit rate"), 55, true},
                               {LangText(kSection, "00013", "Frequency"), 70, true},
                               {LangText(kSection, "00014", "Length"), 55, true},
                               {LangText(kSection, "00015", "User"), 95},
                               {LangText(kSection, "00016", "Speed"), 70},
                               {LangText(kSection, "00017", "Ping"), 45, true}});
  grid_->OnCompare = [this](TCustomGridTreeList*, const TGridTreeListNode* a, const TGridTreeListNode* b,
                            int& compare) { compare = CompareRows(a, b); };
  // A double click on a row downloads it; one on the empty space below
  // the rows does nothing.
  grid_->OnDblClick = [this](gui::Control*) {
    if (grid_->LastHitInfo().Node) DownloadChosen();
  };

  menu_ = new gui::PopupMenu(this);
  menu_->Items().AddItem(LangText(kSection, "00020", "&Download"), [this](gui::Component*) { DownloadChosen(); });
  menu_->Items().AddItem("-");
  menu_->Items().AddItem(LangText(kSection, "00021", "&Whois"), [this](gui::Component*) { ForChosenUser("WHOIS"); });
  menu_->Items().AddItem(LangText(kSection, "00022", "&Browse files"),
                         [this](gui::Component*) { ForChosenUser("BROWSE"); });
  menu_->Items().AddItem(LangText(kSection, "00023", "Add to the &hot list"),
                         [this](gui::Component*) { ForChosenUser("HOTLIST"); });
  grid_->SetPopupMenu(menu_);

  timer_ = new gui::Timer(this);
  timer_->SetEnabled(false);
  timer_->SetInterval(kSearchTimeoutMs);
  timer_->OnTimer = [this](gui::Component*) { Stop(); };
}

void TSearchView::Resize() {
  gui::Panel::Resize();
  // From the right: the count, the buttons and the kind of files; the
  // search box takes what is left.
  int x = ClientWidth() - 8 - kCountWidth;
  count_->SetLeft(x);
  for (gui::Control* c : std::initializer_list<gui::Control*>{downloadButton_, stopButton_, searchButton_, kind_}) {
    x -= (c == downloadButton_ ? 8 : 4) + c->Width();
    c->SetLeft(x);
  }
  const int left = searchLabel_->Left() + searchLabel_->Width();
  searchBox_->SetBounds(left, searchBox_->Top(), std::max(kMinSearchBox, x - 6 - left), searchBox_->Height());
}

TSearchView::~TSearchView() {
  // The rows point at the results: they go first.
  grid_->ClearNodes();
}

bool TSearchView::Start(const std::string& text, bool nonMp3, int maxResults) {
  const std::string query = plat::Trim(text);
  auto refuse = [this](const std::string& why) {
    if (OnStatus) OnStatus(why);
    return false;
  };
  if (query.empty()) return refuse(LangText(kSection, "00200", "Type what to search for first."));
  if (searching_)
    return refuse(LangText(kSection, "00201", "A search is running: Stop it, then search again (the results of both would mix)."));
  if (client_.LoggedInCount() == 0) return refuse(LangText(kSection, "00030", "Connect to a network before searching."));
  // Every session's queue of requests full: no search starts.
  const bool sent = nonMp3 ? client_.SearchNonMp3("", maxResults, query, "", "", "", "")
                           : client_.Search("", maxResults, query, "", "", "", "", "", "", "", "", "");
  if (!sent && client_.Queued() == 0)
    return refuse(LangText(kSection, "00036", "Not sent: the server connection is busy."));
  grid_->ClearNodes();
  results_.clear();
  limitReached_ = false;
  searching_ = true;
  nonMp3_ = nonMp3;
  timer_->SetEnabled(false);  // a new 120 seconds
  timer_->SetEnabled(true);
  stopButton_->SetEnabled(true);
  ShowCount();
  return true;
}

void TSearchView::StartFromBox() {
  Start(searchBox_->GetText(), kind_->ItemIndex() == 1, MaxResults);
}

void TSearchView::Stop() {
  if (!searching_) return;
  searching_ = false;
  timer_->SetEnabled(false);
  stopButton_->SetEnabled(false);
  ShowCount();
}

void TSearchView::Ended() { Stop(); }

void TSearchView::ShowCount() {
  const std::string count = FormatThousands(ResultCount()) + " " +
                            (ResultCount() == 1 ? LangText(kSection, "00034", "result")
                                                : LangText(kSection, "00031", "results"));
  count_->SetCaption(count);
  std::string status = count;
  if (limitReached_)
    status += " - " + LangText(kSection, "00035", "the most one search keeps; later results are left out");
  else if (searching_)
    status += " - " + LangText(kSection, "00032", "searching...");
  if (OnStatus) OnStatus(status);
}

const TSearchHit* TSearchView::ResultOf(const TGridTreeListNode* row) const {
  return row ? static_cast<const TSearchHit*>(row->Data()) : nullptr;
}

int TSearchView::Compare(const TSearchHit& a, const TSearchHit& b, int column) const {
  switch (column) {
    case colSize: return Sign(a.Size - b.Size);
    case colBitRate: return Sign(int64_t(a.BitRate) - b.BitRate);
    case colFrequency: return Sign(int64_t(a.Frequency) - b.Frequency);
    case colLength: return Sign(int64_t(a.Seconds) - b.Seconds);
    case colSpeed: return Sign(int64_t(a.LinkType) - b.LinkType);
    case colPing: return Sign(int64_t(a.Ping) - b.Ping);
    case colUser: return plat::CompareText(UserText(a), UserText(b));
    default: return plat::CompareText(view::ShownName(a.FileName), view::ShownName(b.FileName));
  }
}

int TSearchView::Order(const TSearchHit& a, const TSearchHit& b) const {
  for (TGridTreeListColumn* c : grid_->SortedColumns()) {
    const int col = c->Index();
    const bool ka = Known(a, col), kb = Known(b, col);
    // An unknown figure goes after the known ones whichever way they run.
    if (ka != kb) return ka ? -1 : 1;
    if (!ka) continue;
    const int r = Compare(a, b, col);
    if (r != 0) return c->Sorted() == csDown ? -r : r;
  }
  return 0;
}

int TSearchView::CompareRows(const TGridTreeListNode* a, const TGridTreeListNode* b) const {
  const TSearchHit* ra = ResultOf(a);
  const TSearchHit* rb = ResultOf(b);
  return ra && rb ? Order(*ra, *rb) : 0;
}

TGridTreeListNode* TSearchView::InsertSorted(const TSearchHit* r) {
  if (grid_->SortedColumns().empty()) return grid_->Add();
  // After the last row that sorts before or with it: equal rows keep
  // their order of arrival.
  int lo = 0, hi = grid_->Count();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (Order(*ResultOf(grid_->Items(mid)), *r) <= 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < grid_->Count() ? grid_->Insert(grid_->Items(lo)) : grid_->Add();
}

void TSearchView::AddResult(const TSearchHit& r) {
  // A server may answer a search for audio with any file it has.
  if (!searching_ || (!nonMp3_ && !r.IsMP3)) return;
  if (ResultCount() >= ResultLimit) {
    if (!limitReached_) {
      limitReached_ = true;
      ShowCount();
    }
    return;
  }
  results_.push_back(std::make_unique<TSearchHit>(r));
  const TSearchHit* kept = results_.back().get();
  TGridTreeListNode* row = InsertSorted(kept);
  row->SetData(const_cast<TSearchHit*>(kept));
  row->SetStrings(colFile, view::ShownName(r.FileName));
  row->SetStrings(colSize, FormatByteSize(r.Size));
  if (Known(r, colBitRate)) row->SetStrings(colBitRate, std::to_string(r.BitRate));
  if (Known(r, colFrequency)) row->SetStrings(colFrequency, FormatThousands(r.Frequency));
  if (Known(r, colLength)) row->SetStrings(colLength, FormatSongLength(r.Seconds));
  row->SetStrings(colUser, UserText(r));
  if (Known(r, colSpeed)) row->SetStrings(colSpeed, LinkSpeedToText(r.LinkType));
  if (Known(r, colPing)) row->SetStrings(colPing, std::to_string(r.Ping));
  ShowCount();
}

std::string TSearchView::DownloadCommand(const TSearchHit& r) {
  std::string host, index;
  if (GnutellaSource(r.Nick, host, index)) return MakeDownloadCommand(r.ID, r.Nick, r.RequestName, host, r.Port, index);
  return MakeDownloadCommand(r.ID, r.Nick, r.RequestName);
}

void TSearchView::DownloadChosen() {
  for (TGridTreeListNode* row : view::ChosenRows(grid_)) {
    const TSearchHit* r = ResultOf(row);
    if (!r) continue;
    const std::string line = DownloadCommand(*r);
    if (line.empty()) {
      if (OnStatus) OnStatus(LangText(kSection, "00033", "This file cannot be requested:") + " " + r->FileName);
      continue;
    }
    if (OnCommand) OnCommand(line);
  }
}

void TSearchView::ForChosenUser(const char* command) {
  const TSearchHit* r = ResultOf(view::CurrentRow(grid_));
  if (r && OnCommand && r->Nick.find_first_of(" \t") == std::string::npos)
    OnCommand(std::string(command) + " " + r->Nick);
}
