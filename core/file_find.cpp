#include "core/file_find.h"

#include <algorithm>

#include "core/share_manager.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

TFileFind::TFileFind(TShareManager* shares) : shares_(shares) {}

TFileFind::~TFileFind() {
  std::vector<TFileFindThread*> all;
  {
    std::lock_guard<std::mutex> g(lock_);
    destroying_ = true;
    for (auto& t : owned_) all.push_back(t.get());
  }
  for (TFileFindThread* t : all) {
    t->Terminate();
    t->Wake();
  }
  // Waiting from the main thread keeps it serving the runs' calls.
  for (TFileFindThread* t : all) t->WaitFor();
}

bool TFileFind::AddFolder(const std::string& folder) {
  if (!plat::DirectoryExists(folder)) return false;
  std::string f = plat::Trim(folder);
  if (!f.empty() && (f.back() == plat::kPathDelim || f.back() == '\\')) f.pop_back();
  folders_.push_back(f);
  return true;
}

void TFileFind::Clear() { folders_.clear(); }

void TFileFind::Start(const std::string& maskList, int tag, std::string& id) {
  Reap();
  auto owned = std::unique_ptr<TFileFindThread>(new TFileFindThread(this));
  TFileFindThread* t = owned.get();
  t->folders_ = folders_;
  t->tag_ = tag;
  size_t start = 0;
  while (start <= maskList.size()) {
    size_t comma = maskList.find(',', start);
    if (comma == std::string::npos) comma = maskList.size();
    if (comma > start) t->masks_.push_back(maskList.substr(start, comma - start));
    start = comma + 1;
  }
  t->threadItem_ = OnThreadSearchItem;
  t->id_ = std::to_string(reinterpret_cast<uintptr_t>(t));
  id = t->id_;
  {
    std::lock_guard<std::mutex> g(lock_);
    threads_.push_back(t);
    ids_.push_back(t->id_);
    owned_.push_back(std::move(owned));
  }
  t->Resume();
}

void TFileFind::Stop() {
  std::lock_guard<std::mutex> g(lock_);
  for (TFileFindThread* t : threads_) {
    t->Terminate();
    t->Wake();
  }
}

int TFileFind::Running() {
  std::lock_guard<std::mutex> g(lock_);
  return int(threads_.size());
}

void TFileFind::ItemsFound(TFileFindThread* t, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    // A run told to stop reports nothing more.
    if (t->Terminated()) return;
    {
      std::lock_guard<std::mutex> g(lock_);
      if (destroying_) return;
    }
    if (OnSearchItem) OnSearchItem(this, t->id_, path);
  }
}

void TFileFind::Finished(TFileFindThread* t) {
  {
    std::lock_guard<std::mutex> g(lock_);
    auto it = std::find(threads_.begin(), threads_.end(), t);
    if (it != threads_.end()) {
      ids_.erase(ids_.begin() + (it - threads_.begin()));
      threads_.erase(it);
    }
    if (destroying_) return;
  }
  if (OnSearchEnd) OnSearchEnd(this, t->id_);
}

void TFileFind::Reap() {
  std::vector<std::unique_ptr<TFileFindThread>> done;
  {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& t : owned_) {
      const bool running = std::find(threads_.begin(), threads_.end(), t.get()) != threads_.end();
      if (!running && t->Finished()) done.push_back(std::move(t));
    }
    std::erase(owned_, nullptr);
  }
  // joined here, outside the lock (they have ended)
}

void TFileFindThread::Execute() {
  TFileFind* owner = owner_;
  {
    std::unique_ptr<TShareResults> q = owner->shares_->Query("/", true);
    while (!Terminated() && q->Next()) {
      if (q->IsDirectory) continue;
      ++count_;
      path_ = q->Path;
      if (threadItem_)
        threadItem_(this, std::string(), q->Path, q->IsMP3, q->BitRate, q->SampleRate,
                    q->Seconds, q->Size);
      if (batch_.empty()) batchStart_ = plat::MonotonicMs();
      batch_.push_back(path_);
      if (batch_.size() >= kBatchFiles || plat::MonotonicMs() - batchStart_ >= kBatchMs) HandOver();
    }
    HandOver();
  }  // ending the query may purge the tree
  owner->window_.Post([this, owner] { owner->Finished(this); });
}

void TFileFindThread::HandOver() {
  if (batch_.empty()) return;
  {
    // A run told to stop does not wait: what it hands over is not reported.
    std::unique_lock<std::mutex> g(handLock_);
    reported_.wait(g, [this] { return handedOver_ < kBatchesAhead || Terminated(); });
    ++handedOver_;
  }
  owner_->window_.Post([this, batch = std::move(batch_)] {
    owner_->ItemsFound(this, batch);
    Reported();
  });
  batch_.clear();
}

void TFileFindThread::Reported() {
  {
    std::lock_guard<std::mutex> g(handLock_);
    --handedOver_;
  }
  reported_.notify_one();
}

void TFileFindThread::Wake() {
  std::lock_guard<std::mutex> g(handLock_);
  reported_.notify_all();
}
