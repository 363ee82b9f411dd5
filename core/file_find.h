// Lists every shared file of a share manager in a background thread, one
// event per file, so that a network client can announce its share list
// without blocking the main thread. Several runs may be alive at once,
// each with an identifier of its own.
//
// The main thread's events come in batches: a run hands over the files it
// found in one call (some hundreds, or what it found in a tenth of a
// second), whose events keep their order; a call per file would cost a
// large library more than the whole walk. The walk goes on while the main
// thread reports, at most two batches ahead of it.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatcher.h"
#include "platform/thread.h"

class TShareManager;
class TFileFind;
class TFileFindThread;

using TFileFindOnSearchItem =
    std::function<void(TFileFind* Sender, const std::string& ID, const std::string& ItemName)>;
using TFileFindOnSearchEnd = std::function<void(TFileFind* Sender, const std::string& ID)>;
using TFileFindThreadOnSearchItem2 = std::function<void(
    TFileFindThread* Sender, const std::string& ID, const std::string& FileName, bool bIsMP3,
    int iBitrate, int iFrequency, int iSeconds, uint32_t iSize)>;

class TFileFind {
 public:
  // shares: the tree every run walks (the main window's share manager);
  // it must outlive the runs or detach them by its own destruction.
  explicit TFileFind(TShareManager* shares);
  // Tells every run to stop and waits for them; their end events are not
  // fired any more.
  ~TFileFind();
  TFileFind(const TFileFind&) = delete;
  TFileFind& operator=(const TFileFind&) = delete;

  // Fired on the main thread; none after Stop.
  TFileFindOnSearchItem OnSearchItem;
  TFileFindOnSearchEnd OnSearchEnd;
  // Fired on the run's own thread, with an empty ID.
  TFileFindThreadOnSearchItem2 OnThreadSearchItem;

  // Adds an existing folder (trimmed, one trailing delimiter removed).
  bool AddFolder(const std::string& folder);
  void Clear();
  // Starts a run; ID is its identifier.
  void Start(const std::string& maskList, int tag, std::string& id);
  // Every run stops after its current item.
  void Stop();
  int Running();

 private:
  friend class TFileFindThread;
  void ItemsFound(TFileFindThread* t, const std::vector<std::string>& paths);  // main thread
  void Finished(TFileFindThread* t);                             // main thread
  void Reap();

  TShareManager* shares_;
  std::vector<std::string> folders_;
  std::mutex lock_;  // guards the three lists below and destroying_
  std::vector<TFileFindThread*> threads_;  // running, parallel to ids_
  std::vector<std::string> ids_;
  std::vector<std::unique_ptr<TFileFindThread>> owned_;  // every thread not yet joined
  bool destroying_ = false;
  plat::MessageTarget window_;  // last: destroyed first, dropping queued ends
};

class TFileFindThread : public plat::Thread {
 public:
  const std::string& ID() const { return id_; }
  int Tag() const { return tag_; }
  int Count() const { return count_; }

  // A batch is handed over when it holds this many files, or when its
  // first file waited this long.
  static constexpr size_t kBatchFiles = 512;
  static constexpr int64_t kBatchMs = 100;
  static constexpr int kBatchesAhead = 2;

 protected:
  void Execute() override;

 private:
  friend class TFileFind;
  explicit TFileFindThread(TFileFind* owner) : plat::Thread(true), owner_(owner) {}
  void HandOver();
  void Reported();  // main thread: a batch was reported
  void Wake();      // a waiting hand-over looks at Terminated again

  TFileFind* owner_;
  std::vector<std::string> folders_;
  int tag_ = 0;
  std::vector<std::string> masks_;
  TFileFindThreadOnSearchItem2 threadItem_;
  std::string path_;
  std::vector<std::string> batch_;
  int64_t batchStart_ = 0;
  std::mutex handLock_;  // guards handedOver_
  std::condition_variable reported_;
  int handedOver_ = 0;  // batches handed over and not yet reported
  std::string id_;
  int count_ = 0;
};
