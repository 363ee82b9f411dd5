#include "peer/napster/shared_file_list.h"

#include "peer/napster/napster_helpers.h"
#include "platform/text.h"

namespace {

constexpr const char* kMp3MD5 = "AAAAAAAAAAAAAAAAA";          // 17 letters
constexpr const char* kNonMp3MD5 = "AAAAAAAAAAAAAAAAAAAAAA";  // 22 letters

uint32_t Hash32(std::string_view s) { return uint32_t(plat::FoldedHash(s)); }

}  // namespace

// ----------------------------------------------------------------- entries

std::string TSharedFileList::Entry::RequestName() const { return IsMP3 ? Path : EncodeNonMp3Name(Path); }

const char* TSharedFileList::Entry::MD5() const { return IsMP3 ? kMp3MD5 : kNonMp3MD5; }

TMPEGInfo TSharedFileList::Entry::Info() const {
  TMPEGInfo info;
  info.FileName = Path;
  info.RequestFileName = RequestName();
  info.IsMP3 = IsMP3;
  info.MD5 = MD5();
  info.Size = Size;
  info.Frequency = Frequency;
  info.Bitrate = Bitrate;
  info.Seconds = Seconds;
  return info;
}

// ----------------------------------------------------------------- list

TSharedFileList::Entry TSharedFileList::EntryOf(const Record& r) const {
  Entry e;
  static_cast<Figures&>(e) = r;
  e.Path = std::string(PathOf(r));
  return e;
}

void TSharedFileList::Index(uint32_t slot, uint32_t pathHash) {
  const Record& r = records_[slot];
  byPath_.Insert(slot, pathHash);
  if (!r.IsMP3) byDisguise_.Insert(slot, Hash32(EncodeNonMp3Name(PathOf(r))));
}

uint32_t TSharedFileList::Append(const Entry& e, uint32_t hash) {
  Record r;
  static_cast<Figures&>(r) = e;
  r.at = uint32_t(pool_.size());
  r.length = uint16_t(e.Path.size());
  pool_.insert(pool_.end(), e.Path.begin(), e.Path.end());
  records_.push_back(r);
  ++live_;
  const uint32_t slot = uint32_t(records_.size() - 1);
  Index(slot, hash);
  return slot;
}

bool TSharedFileList::Add(const Entry& e) {
  const uint32_t hash = Hash32(e.Path);
  if (e.Path.size() > kMaxPath || Slot(e.Path, hash) >= 0) return false;
  Append(e, hash);
  return true;
}

bool TSharedFileList::Refigure(const Entry& e) {
  const int64_t slot = Slot(e.Path);
  if (slot < 0) return false;
  Record& r = records_[size_t(slot)];
  if (r.Size == e.Size && r.Frequency == e.Frequency && r.Bitrate == e.Bitrate && r.Seconds == e.Seconds &&
      r.IsMP3 == e.IsMP3)
    return false;
  // The announced name follows the kind of file.
  if (!r.IsMP3) byDisguise_.Erase(uint32_t(slot), Hash32(EncodeNonMp3Name(PathOf(r))));
  const uint8_t state = r.State;
  static_cast<Figures&>(r) = e;
  r.State = state;
  if (!r.IsMP3) byDisguise_.Insert(uint32_t(slot), Hash32(EncodeNonMp3Name(PathOf(r))));
  return true;
}

int64_t TSharedFileList::Slot(std::string_view path) const { return Slot(path, Hash32(path)); }

int64_t TSharedFileList::Slot(std::string_view path, uint32_t hash) const {
  return byPath_.Find(hash, [&](uint32_t slot) { return plat::SameText(PathOf(records_[slot]), path); });
}

int64_t TSharedFileList::FindIn(const TFoldIndex& index, std::string_view name, bool exact, bool byPath) const {
  return index.Find(Hash32(name), [&](uint32_t slot) {
    const std::string_view path = PathOf(records_[slot]);
    const std::string text = byPath ? std::string() : EncodeNonMp3Name(path);
    const std::string_view key = byPath ? path : std::string_view(text);
    return exact ? key == name : plat::SameText(key, name);
  });
}

bool TSharedFileList::InfoOf(std::string_view path, TMPEGInfo* info) const {
  const int64_t slot = Slot(path);
  if (slot < 0) return false;
  *info = EntryOf(records_[size_t(slot)]).Info();
  return true;
}

bool TSharedFileList::Find(std::string_view name, std::string* path) const {
  // An MP3 file is announced under its path: the path index finds both.
  for (const bool exact : {true, false}) {
    const int64_t a = FindIn(byPath_, name, exact, true);
    const int64_t b = FindIn(byDisguise_, name, exact, false);
    const int64_t first = a < 0 ? b : (b < 0 ? a : std::min(a, b));
    if (first < 0) continue;
    *path = std::string(PathOf(records_[size_t(first)]));
    return true;
  }
  return false;
}

void TSharedFileList::Drop(size_t slot) {
  Record& r = records_[slot];
  byPath_.Erase(uint32_t(slot), Hash32(PathOf(r)));
  if (!r.IsMP3) byDisguise_.Erase(uint32_t(slot), Hash32(EncodeNonMp3Name(PathOf(r))));
  r.Gone = true;
  --live_;
}

void TSharedFileList::WithdrawSlot(size_t slot, TMPEGInfo* info) {
  if (info) *info = EntryOf(records_[slot]).Info();
  Drop(slot);
  // Withdrawn entries are dropped once they are as many as the listed ones.
  if (records_.size() > 64 && size_t(live_) * 2 < records_.size()) Compact();
}

bool TSharedFileList::Withdraw(std::string_view path, uint8_t state, TMPEGInfo* info) {
  const int64_t slot = Slot(path);
  if (slot < 0 || records_[size_t(slot)].State != state) return false;
  WithdrawSlot(size_t(slot), info);
  return true;
}

bool TSharedFileList::WithdrawAny(std::string_view path, TMPEGInfo* info, uint8_t* state) {
  const int64_t slot = Slot(path);
  if (slot < 0) return false;
  *state = records_[size_t(slot)].State;
  WithdrawSlot(size_t(slot), info);
  return true;
}

std::vector<TMPEGInfo> TSharedFileList::WithdrawAll(const std::function<bool(std::string_view, uint8_t)>& which) {
  std::vector<TMPEGInfo> gone;
  for (Record& r : records_) {
    if (r.Gone || !which(PathOf(r), r.State)) continue;
    gone.push_back(EntryOf(r).Info());
    r.Gone = true;
    --live_;
  }
  if (!gone.empty()) Compact();
  return gone;
}

void TSharedFileList::Compact() {
  std::vector<Record> records;
  std::vector<char> pool;
  records.reserve(size_t(live_));
  pool.reserve(pool_.size());
  for (const Record& r : records_) {
    if (r.Gone) continue;
    const std::string_view path = PathOf(r);
    records.push_back(r);
    records.back().at = uint32_t(pool.size());
    pool.insert(pool.end(), path.begin(), path.end());
  }
  records_ = std::move(records);
  pool_ = std::move(pool);
  byPath_.Clear();
  byDisguise_.Clear();
  for (size_t i = 0; i < records_.size(); ++i) Index(uint32_t(i), Hash32(PathOf(records_[i])));
}

void TSharedFileList::ForEach(const std::function<void(const Entry&)>& f) const {
  for (const Record& r : records_)
    if (!r.Gone) f(EntryOf(r));
}

bool TSharedFileList::Report(std::string_view path, const Entry* fresh, bool* added, TMPEGInfo* info) {
  const uint32_t hash = Hash32(path);
  int64_t slot = Slot(path, hash);
  *added = slot < 0 && fresh && fresh->Path.size() <= kMaxPath;
  if (*added) slot = Append(*fresh, hash);
  if (slot < 0) return false;
  records_[size_t(slot)].Seen = true;
  *info = EntryOf(records_[size_t(slot)]).Info();
  return true;
}

void TSharedFileList::ClearSeen() {
  for (Record& r : records_) r.Seen = false;
}

void TSharedFileList::Trim() {
  records_.shrink_to_fit();
  pool_.shrink_to_fit();
}
