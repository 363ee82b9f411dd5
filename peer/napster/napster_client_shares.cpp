// TNapsterClient's shares: the files it announces to its sessions (added,
// withdrawn and cleared under the share lock, announced after it) and the
// disk searches that fill the list from the share tree.
#include "peer/napster/napster_client.h"

#include <algorithm>

#include "core/file_find.h"
#include "core/mpeg.h"
#include "peer/napster/napster_helpers.h"
#include "platform/files.h"
#include "platform/text.h"

// ----------------------------------------------------------------- shares

namespace {

// A file other than MP3 is announced with figures that mark it as such and
// a name that carries its real one (TSharedFileList makes the name).
// Whether a path lies in one of the folders (a substring test).
bool InFolderList(const std::vector<std::string>& folders, std::string_view path) {
  return std::any_of(folders.begin(), folders.end(),
                     [&](const std::string& f) { return !f.empty() && path.find(f) != std::string_view::npos; });
}

void Disguise(TSharedFileList::Entry& e) {
  e.IsMP3 = false;
  e.Bitrate = kNonMp3Bitrate;
  e.Frequency = kNonMp3Frequency;
  e.Seconds = kNonMp3Seconds;
}

}  // namespace

int TNapsterClient::SharedCount() const {
  plat::Locked<plat::CriticalSection> hold(shareLock_);
  return shares_.Count();
}

void TNapsterClient::ShareFile(const std::string& FileName, bool Mark) {
  if (HoldWhileWritten(FileName, Mark ? 2 : 1)) return;
  ListFile(FileName, Mark);
}

bool TNapsterClient::ListFile(const std::string& FileName, bool Mark) {
  if (!plat::FileExists(FileName)) return false;
  SharedEntry e;
  e.State = Mark ? 2 : 1;
  e.Path = FileName;
  e.Size = plat::FileSize(FileName);
  if (plat::UpperAscii(plat::ExtractFileExt(FileName)) == ".MP3") {
    TMPEGaudio mpeg;
    if (e.Size <= 0 || !mpeg.ReadFromFile(FileName) || !mpeg.Valid()) return false;
    e.IsMP3 = true;
    e.Bitrate = mpeg.BitRate();
    e.Frequency = mpeg.SampleRate();
    e.Seconds = int(std::nearbyint(mpeg.Duration()));
  } else {
    if (e.Size <= 0) return false;
    Disguise(e);
  }
  return AddShare(e);
}

bool TNapsterClient::AddShare(const SharedEntry& e) {
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    if (!shares_.Add(e) && !shares_.Refigure(e)) return false;  // listed already, as it is
  }
  SharesChanged();
  return true;
}

void TNapsterClient::SharesChanged() {
  // One record stands for any number of changes: each session brings the
  // server's list in line with the component's when it takes it, so a
  // burst never fills the sessions' queues and nothing is lost.
  if (sharesChangePosted_.exchange(true)) return;
  // A session whose queue was full never reads this one: the timer posts
  // again until every session has it.
  sharesChangeDropped_ = !Post("", "SHARES_CHANGED");
  if (sharesChangeDropped_) sharesChangePosted_.store(false);
}

// Taken off under the lock; announced and reported after it, so that a
// handler never runs while the sessions wait for the list.
void TNapsterClient::Withdrawn(const std::vector<TMPEGInfo>& gone) {
  if (gone.empty()) return;
  SharesChanged();
  for (const TMPEGInfo& info : gone) Fire(OnRemoveFile, info.FileName);
}

void TNapsterClient::UnshareFile(const std::string& FileName) {
  std::vector<TMPEGInfo> gone(1);
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    // Files shared by a scan stay.
    if (!shares_.Withdraw(FileName, 2, &gone[0])) gone.clear();
  }
  // So does a file a download holds, as it would have.
  ForgetHeld([&](std::string_view path, uint8_t state) { return state == 2 && plat::SameText(path, FileName); });
  Withdrawn(gone);
}

void TNapsterClient::ClearSharedFiles() {
  WithdrawWhere([](std::string_view, uint8_t) { return true; });
}

void TNapsterClient::WithdrawWhere(const std::function<bool(std::string_view, uint8_t)>& which) {
  std::vector<TMPEGInfo> gone;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    gone = shares_.WithdrawAll(which);
  }
  // A file a download holds is withdrawn alike: not given back.
  ForgetHeld(which);
  Withdrawn(gone);
}

// ----------------------------------------------------------------- scans

void TNapsterClient::ScanAllDrives(const std::string& Mask) {
  ClearSharedFiles();
  StartScan(Mask);
}

void TNapsterClient::ScanFolders(const std::string& Mask, bool /*Recursive: the share tree decides*/) {
  // What the scan lists again goes first: the files it found in the folder
  // list. A finished download elsewhere (listed in the same state) is no
  // scan's to withdraw and stays shared.
  WithdrawWhere(
      [this](std::string_view path, uint8_t state) { return state == 1 && InFolderList(folders_, path); });
  StartScan(Mask);
}

void TNapsterClient::StopScan() {
  if (finder_) finder_->Stop();
}

void TNapsterClient::StartScan(const std::string& mask) {
  scanMask_ = mask;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    scanSeen_.clear();
    shares_.ClearSeen();
  }
  if (!ShareManager) {
    Fire(OnScanFinished);
    return;
  }
  if (!finder_) {
    finder_ = std::make_unique<TFileFind>(ShareManager);
    finder_->OnSearchItem = [this](TFileFind*, const std::string& run, const std::string& path) {
      ScanItemFound(run, path);
    };
    // The end of a run reaches the handlers on the main thread.
    finder_->OnSearchEnd = [this](TFileFind*, const std::string& run) {
      {
        plat::Locked<plat::CriticalSection> hold(shareLock_);
        scanPrepared_.erase(run);  // what a stopped run found and never reported
        shares_.Trim();
      }
      Fire(OnScanFinished);
    };
  }
  // The folder list as it is now: the scanner's thread reads this copy.
  std::vector<std::string> folders = folders_;
  finder_->OnThreadSearchItem = [this, folders](TFileFindThread* run, const std::string&, const std::string& path,
                                                bool isMP3, int bitrate, int frequency, int seconds, uint32_t size) {
    SharedEntry e;
    e.State = InFolderList(folders, path) ? 1 : 2;
    e.Path = path;
    e.Size = size;
    if (isMP3) {
      e.IsMP3 = true;
      e.Bitrate = bitrate;
      e.Frequency = frequency;
      e.Seconds = seconds;
    } else {
      Disguise(e);
    }
    ScanItemPrepared(run->ID(), std::move(e));
  };
  std::string id;
  finder_->Start(mask, 0, id);
}

void TNapsterClient::ScanItemPrepared(const std::string& run, SharedEntry entry) {
  plat::Locked<plat::CriticalSection> hold(shareLock_);
  scanPrepared_[run].push_back(std::move(entry));
}

void TNapsterClient::ScanItemFound(const std::string& run, const std::string& path) {
  // The scanner's thread prepared this file's entry before it handed the
  // file over: a file not yet shared is listed now, just before it is
  // reported, so that a scan stopped midway lists no more than it reported.
  TMPEGInfo info;
  bool added = false, shared = false;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    SharedEntry fresh;
    bool prepared = false;
    auto queue = scanPrepared_.find(run);
    if (queue != scanPrepared_.end() && !queue->second.empty()) {
      fresh = std::move(queue->second.front());
      queue->second.pop_front();
      // An empty file other than MP3 is not shared.
      prepared = fresh.Path == path && (fresh.IsMP3 || fresh.Size > 0);
    }
    // A file a download writes is listed once it is complete, not at the
    // length the scan found.
    shared = !HoldWhileWritten(path, prepared ? fresh.State : 0) &&
             shares_.Report(path, prepared ? &fresh : nullptr, &added, &info);
    if (!shared) scanSeen_.insert(path);
  }
  if (added) SharesChanged();
  if (shared) FireAddFile(info);
}

void TNapsterClient::FireAddFile(const std::string& path) {
  TMPEGInfo info;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    if (!shares_.InfoOf(path, &info)) return;
  }
  FireAddFile(info);
}

void TNapsterClient::FireAddFile(const TMPEGInfo& info) {
  Fire(OnAddFile, info.FileName, info.RequestFileName, info.MD5, info.Bitrate, info.Frequency, info.Seconds,
       info.Size, info.IsMP3);
}
