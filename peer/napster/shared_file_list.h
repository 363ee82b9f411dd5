// The client component's shared files: the list the sessions announce, in
// the order the files were listed, looked up by local path and by announced
// name through hashed indexes (without regard to case), so that listing,
// finding and withdrawing a file costs the same however many are shared.
//
// One entry holds one copy of its path: an MP3 file is announced under its
// path, any other file under its disguised name (EncodeNonMp3Name of the
// path), which is made when it is needed.
//
// Not locked itself: the component holds its share lock around every call.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/fold_index.h"

// A shared file as the sessions announce it.
struct TMPEGInfo {
  std::string FileName;         // local path
  std::string RequestFileName;  // the announced name
  bool IsMP3 = false;
  std::string MD5;
  int64_t Size = 0;
  int Frequency = 0;
  int Bitrate = 0;
  int Seconds = 0;
};

class TSharedFileList {
 public:
  // What is announced of a file besides its name.
  struct Figures {
    int64_t Size = 0;
    int32_t Frequency = 0;
    int32_t Bitrate = 0;
    int32_t Seconds = 0;
    uint8_t State = 1;  // 2: withdrawn by UnshareFile
    bool IsMP3 = false;
  };
  struct Entry : Figures {
    std::string Path;  // the local path

    // The name the sessions announce, and the info record of the entry.
    std::string RequestName() const;
    const char* MD5() const;
    TMPEGInfo Info() const;
  };

  int Count() const { return live_; }
  // Appends an entry; false when its path is listed already (or is longer
  // than any path a disk has).
  bool Add(const Entry& e);
  // The entry of e's path takes e's figures, keeping its place and state;
  // false when the path is not listed or its figures are e's already.
  bool Refigure(const Entry& e);
  // The info of the entry of a local path; false when there is none.
  bool InfoOf(std::string_view path, TMPEGInfo* info) const;
  // The local path of the entry a peer's request names (announced name or
  // local path): an exact match first, one differing only in case after
  // that, the first in list order of each.
  bool Find(std::string_view name, std::string* path) const;
  // Withdraws the entry of a local path when it is in that state.
  bool Withdraw(std::string_view path, uint8_t state, TMPEGInfo* info);
  // Withdraws the entry of a local path whatever its state, told in state.
  bool WithdrawAny(std::string_view path, TMPEGInfo* info, uint8_t* state);
  // Withdraws the entries which(path, state) picks, in list order.
  std::vector<TMPEGInfo> WithdrawAll(const std::function<bool(std::string_view, uint8_t)>& which);
  // Every entry, in list order.
  void ForEach(const std::function<void(const Entry&)>& f) const;
  // A file a folder scan reported: fresh (when given) is listed unless the
  // path is listed already, added telling which; then the entry is marked
  // as seen and its info read. False when the path is not listed.
  bool Report(std::string_view path, const Entry* fresh, bool* added, TMPEGInfo* info);
  void ClearSeen();
  // Gives back the room kept for entries to come (a scan has ended).
  void Trim();

 private:
  // An entry as kept: its path lies in the pool.
  struct Record : Figures {
    uint32_t at = 0;
    uint16_t length = 0;
    bool Seen = false;
    bool Gone = false;  // withdrawn; dropped at the next compaction
  };
  std::string_view PathOf(const Record& r) const { return std::string_view(pool_.data() + r.at, r.length); }
  Entry EntryOf(const Record& r) const;
  int64_t Slot(std::string_view path) const;
  int64_t Slot(std::string_view path, uint32_t hash) const;
  uint32_t Append(const Entry& e, uint32_t hash);
  int64_t FindIn(const TFoldIndex& index, std::string_view name, bool exact, bool byPath) const;
  void Index(uint32_t slot, uint32_t pathHash);
  void Drop(size_t slot);
  void WithdrawSlot(size_t slot, TMPEGInfo* info);
  void Compact();

  static constexpr size_t kMaxPath = 0xFFFF;
  std::vector<Record> records_;
  std::vector<char> pool_;  // the paths back to back
  int live_ = 0;
  TFoldIndex byPath_;      // every live entry
  TFoldIndex byDisguise_;  // the live entries not announced under their path
};
