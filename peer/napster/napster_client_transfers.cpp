// TNapsterClient's transfers: the queue the timer walks (remotely queued
// downloads asked for again, locally queued ones started, stalled ones
// timed out, the rate totals), the downloads and uploads themselves, the
// upload policy and the data threads wired to the component.
#include "peer/napster/napster_client.h"

#include <algorithm>

#include "core/share_manager.h"
#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

// A remotely queued download is asked for again after this long.
constexpr int64_t kRemoteQueueRetryMs = 121 * 1000;
// The rate totals are summed at most this often.
constexpr int64_t kRateSumMs = 2000;

}  // namespace

std::vector<TNapsterClientData*> TNapsterClient::Snapshot(
    const std::vector<std::unique_ptr<TNapsterClientData>>& list) {
  std::vector<TNapsterClientData*> out;
  for (const auto& d : list) out.push_back(d.get());
  return out;
}

bool TNapsterClient::IsActive(const TNapsterClientData* data, bool download) const {
  for (const auto& d : download ? downloads_ : uploads_)
    if (d.get() == data) return true;
  return false;
}

void TNapsterClient::RetryRemotelyQueued() {
  for (TNapsterClientData* d : Snapshot(downloads_)) {
    if (!IsActive(d, true) || !d->RemoteQueued) continue;
    if (plat::MonotonicMs() - d->StartTick < kRemoteQueueRetryMs) continue;
    Fire(OnDownloadQueued, *d);
    if (!IsActive(d, true)) continue;
    d->RemoteQueued = false;
    d->StartTime = SecondsOfDay();
    d->StartTick = plat::MonotonicMs();
    RequestDownload(d);
  }
}

void TNapsterClient::StartLocallyQueued() {
  if (localQueue_.empty() || int(downloads_.size()) >= MaxDownloads) return;
  std::unique_ptr<TNapsterClientData> d = std::move(localQueue_.front());
  localQueue_.erase(localQueue_.begin());
  d->StartTime = SecondsOfDay();
  d->StartTick = plat::MonotonicMs();
  TNapsterClientData* raw = d.get();
  downloads_.push_back(std::move(d));
  StartDownload(raw);
}

// A time-out of 0 (or less) is off, for every kind of wait alike.
void TNapsterClient::TimeOutOneDownload() {
  const int64_t limit = int64_t(DownloadTimeout) * 1000;
  if (limit <= 0) return;
  for (const auto& d : downloads_) {
    // One whose request waits for room in its session's queue was not
    // asked for yet: its time counts from the request.
    if (d->Connected || d->RemoteQueued || d->RequestHeld) continue;
    if (plat::MonotonicMs() - d->StartTick <= limit) continue;
    TNapsterClientData* raw = d.get();
    Fire(OnDownloadTimeout, *raw);
    if (IsActive(raw, true)) RemoveTransfer(*raw, true);  // it may resume
    return;
  }
}

void TNapsterClient::TimeOutUploads() {
  const int64_t limit = int64_t(UploadTimeout) * 1000;
  if (limit <= 0) return;
  for (TNapsterClientData* u : Snapshot(uploads_)) {
    if (!IsActive(u, false) || u->Connected || plat::MonotonicMs() - u->StartTick <= limit) continue;
    Fire(OnUploadTimeout, *u);
    if (IsActive(u, false)) RemoveTransfer(*u, false);
  }
}

void TNapsterClient::TimeOutStalled() {
  for (bool download : {true, false}) {
    const int64_t limit = int64_t(download ? DownloadTimeout : UploadTimeout) * 1000;
    if (limit <= 0) continue;
    for (TNapsterClientData* d : Snapshot(download ? downloads_ : uploads_)) {
      if (!IsActive(d, download) || !d->Connected || d->RemoteQueued) continue;
      if (plat::MonotonicMs() - d->ProgressTick <= limit) continue;
      Fire(download ? OnDownloadTimeout : OnUploadTimeout, *d);
      // Its slot is free again; a download may resume.
      if (IsActive(d, download)) RemoveTransfer(*d, download);
    }
  }
}

void TNapsterClient::SumRates(bool now) {
  const int64_t t = plat::MonotonicMs();
  if (!now && t - ratesSummedAt_ < kRateSumMs) return;
  int64_t down = 0, up = 0;
  for (const auto& d : downloads_) down += d->BytesPerSecond;
  for (const auto& u : uploads_) up += u->BytesPerSecond;
  downloadRate_ = down;
  uploadRate_ = up;
  ratesSummedAt_ = t;
}

// ----------------------------------------------------------------- transfers

TNapsterClientData* TNapsterClient::FindDownload(const std::string& key) const {
  for (const auto& d : downloads_)
    if (plat::SameText(d->Key, key)) return d.get();
  return nullptr;
}

TNapsterClientData* TNapsterClient::FindTransfer(const std::string& Key) const {
  for (const auto& q : localQueue_)
    if (plat::SameText(q->Key, Key)) return q.get();
  if (TNapsterClientData* d = FindDownload(Key)) return d;
  return FindUpload(Key);
}

TNapsterClientData* TNapsterClient::FindUpload(const std::string& key) const {
  for (const auto& u : uploads_)
    if (plat::SameText(u->Key, key)) return u.get();
  return nullptr;
}

TNapsterClientData* TNapsterClient::FindByNickAndFile(bool downloads, const std::string& nick,
                                                      const std::string& file) const {
  for (const auto& d : downloads ? downloads_ : uploads_)
    if (plat::SameText(d->Nick, nick) && plat::SameText(d->RemoteFile, file)) return d.get();
  return nullptr;
}

TNapsterClientData* TNapsterClient::DataOf(const TEasySocket* socket) const {
  for (const Connection& c : connections_)
    if (c.Socket == socket) return c.Data;
  return nullptr;
}

void TNapsterClient::FireData(const TNapsterClientDataOnAction& download, const TNapsterClientDataOnAction& upload,
                              TNapsterClientData& data) {
  Fire(data.IsDownload ? download : upload, data);
}

// ----------------------------------------------------------------- local files

void TNapsterClient::NoteAnnouncedSize(const std::string& key, int64_t size) {
  if (size <= 0) return;
  auto [it, fresh] = announcedSizes_.insert_or_assign(plat::UpperCase(key), size);
  if (!fresh) return;
  announcedOrder_.push_back(it->first);
  if (announcedOrder_.size() > kMaxAnnouncedSizes) {
    announcedSizes_.erase(announcedOrder_.front());
    announcedOrder_.pop_front();
  }
}

int64_t TNapsterClient::AnnouncedSizeOf(const std::string& key) const {
  auto it = announcedSizes_.find(plat::UpperCase(key));
  return it == announcedSizes_.end() ? 0 : it->second;
}

bool TNapsterClient::Rewriting(const std::string& path) const {
  for (const auto* list : {&downloads_, &localQueue_})
    for (const auto& d : *list)
      if (!d->Complete && plat::SameText(d->LocalFile, path)) return true;
  return false;
}

TNapsterClient::HeldFile* TNapsterClient::FindHeld(const std::string& path) {
  for (HeldFile& h : held_)
    if (plat::SameText(h.Path, path)) return &h;
  return nullptr;
}

void TNapsterClient::WithholdShare(const std::string& path) {
  std::vector<TMPEGInfo> gone(1);
  uint8_t state = 0;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    if (!shares_.WithdrawAny(path, &gone[0], &state)) gone.clear();
  }
  if (HeldFile* known = FindHeld(path)) {
    // A later attempt: the file as the first one found it still counts.
    if (known->State == 0) known->State = gone.empty() ? 0 : state;
  } else {
    HeldFile h;
    h.Path = path;
    h.State = gone.empty() ? 0 : state;
    plat::FileEntry info;
    h.Existed = plat::GetFileInfo(path, info);
    h.Size = info.size;
    h.Modified = info.modified;
    held_.push_back(std::move(h));
  }
  // Accepted for the file as it was: its peer would get a part of it.
  for (TNapsterClientData* u : Snapshot(uploads_))
    if (IsActive(u, false) && !u->Connected && plat::SameText(u->LocalFile, path)) RemoveTransfer(*u, false);
  Withdrawn(gone);
}

void TNapsterClient::ShareWritten(const std::string& path, bool written) {
  if (Rewriting(path)) return;  // an attempt to follow writes it
  HeldFile held;
  for (auto it = held_.begin(); it != held_.end(); ++it) {
    if (!plat::SameText(it->Path, path)) continue;
    held = std::move(*it);
    held_.erase(it);
    break;
  }
  if (written) {
    // Later scans list the file from the share tree: it learns the whole
    // file's figures too.
    if (ShareManager) ShareManager->RereadFile(path);
    ListFile(path, held.State == 2);
    return;
  }
  // Given back only as it was: a file the attempts cut or changed is no
  // copy anyone asked for.
  if (held.State == 0) return;
  plat::FileEntry now;
  const bool exists = plat::GetFileInfo(path, now);
  if (exists != held.Existed || now.size != held.Size || now.modified != held.Modified) return;
  if (ListFile(path, held.State == 2)) FireAddFile(path);
}

bool TNapsterClient::HoldWhileWritten(const std::string& path, uint8_t state) {
  if (!Rewriting(path)) return false;
  HeldFile* held = FindHeld(path);
  if (held && held->State == 0) held->State = state;
  return true;
}

void TNapsterClient::ForgetHeld(const std::function<bool(std::string_view, uint8_t)>& which) {
  for (HeldFile& h : held_)
    if (h.State != 0 && which(h.Path, h.State)) h.State = 0;
}

bool TNapsterClient::Download(const std::string& ID, const std::string& Nick, const std::string& RemoteFileName,
                              const std::string& LocalFileName, bool Resume, int ResumeCount,
                              const std::string& GnutellaHost, int GnutellaPort, bool IsGnutella,
                              const std::string& Index) {
  int session = SessionIndex(ID);
  if (session < 0) return false;
  const std::string key = ID + Nick + RemoteFileName;
  // One record per file and peer: a second request for it changes nothing.
  if (FindDownload(key)) return true;
  for (const auto& q : localQueue_)
    if (plat::SameText(q->Key, key)) return true;
  // One writer per local file: two transfers into one file would mix them.
  std::string local = LocalFileName;
  if (Rewriting(local))
    local = FreeFileName(local, [this](const std::string& name) { return plat::FileExists(name) || Rewriting(name); });
  WithholdShare(local);
  session = SessionIndex(ID);  // its handlers may have ended the session
  if (session < 0) {
    ShareWritten(local, false);  // nothing will write it: offered again as it was
    return false;
  }
  auto d = std::make_unique<TNapsterClientData>();
  d->IsDownload = true;
  d->StartTime = SecondsOfDay();
  d->StartTick = plat::MonotonicMs();
  d->ID = ID;
  d->Nick = Nick;
  d->RemoteFile = RemoteFileName;
  d->LocalFile = local;
  d->Resume = Resume;
  d->ResumeCount = ResumeCount;
  d->GnutellaHost = GnutellaHost;
  d->GnutellaPort = GnutellaPort;
  d->IsGnutella = IsGnutella;
  d->Index = Index;
  d->Key = key;
  d->AnnouncedSize = AnnouncedSizeOf(key);
  d->MyNick = sessionNicks_[size_t(session)];
  d->IsMP3 = IsMp3Name(RemoteFileName);
  d->FileName = d->IsMP3 ? RemoteFileName : DecodeNonMp3Name(RemoteFileName);
  TNapsterClientData* raw = d.get();
  if (int(downloads_.size()) >= MaxDownloads) {
    // It waits for a free slot; the server hears of it only when it is
    // actually requested.
    localQueue_.push_back(std::move(d));
    Fire(OnDownloadStart, *raw);
    for (const auto& q : localQueue_)
      if (q.get() == raw) {
        Fire(OnDownloadLocalQueued, *raw);
        break;
      }
    return true;
  }
  downloads_.push_back(std::move(d));
  StartDownload(raw);
  return true;
}

void TNapsterClient::StartDownload(TNapsterClientData* data) {
  Tell(data->ID, data->Key, "INDICATE_DOWNLOAD_START");
  const std::string key = data->Key;
  Fire(OnDownloadStart, *data);
  // A handler may have removed it.
  if (FindDownload(key) != data) return;
  if (data->ResumeCount >= 1) {
    Fire(OnDownloadAutoResume, *data);
    if (FindDownload(key) != data) return;
  }
  RequestDownload(data);
}

void TNapsterClient::RequestDownload(TNapsterClientData* data) {
  if (data->GnutellaPort > 0) {
    ConnectTransfer(data, data->GnutellaHost, data->GnutellaPort,
                    data->IsGnutella ? "DOWNLOAD_GNUTELLA" : "DOWNLOAD", "0", "");
    return;
  }
  if (Tell(data->ID, data->Key, "DOWNLOAD",
           {{"NICK", data->Nick}, {"REMOTE_FILENAME", data->RemoteFile}, {"LOCAL_FILENAME", data->LocalFile}}))
    return;
  // The session's queue is full: the download waits on this side until
  // its request goes out (OnDownloadStart then tells it is requested).
  data->RequestHeld = true;
  Fire(OnDownloadLocalQueued, *data);
}

void TNapsterClient::ConnectTransfer(TNapsterClientData* data, const std::string& host, int port,
                                     const std::string& kind, const std::string& speed, const std::string& md5) {
  TEasySocket* s = nullptr;
  try {
    s = transferSockets_.Connect(host, port);
  } catch (const std::exception&) {
    // Only when memory ran out (a failed connect arrives as events): the
    // transfer waits for its time-out.
    return;
  }
  s->SetValue("KIND", kind);
  s->SetValue("ID", data->Key);
  s->SetValue("SERVER_ID", data->ID);
  s->SetValue("REQUEST_FILENAME", data->RemoteFile);
  s->SetValue("REMOTE_FILENAME", data->RemoteFile);
  s->SetValue("LOCAL_FILENAME", data->LocalFile);
  s->SetValue("NICK", data->Nick);
  s->SetValue("MY_NICK", data->MyNick);
  s->SetValue("SPEED", speed);
  s->SetValue("MD5", md5);
  if (data->IsDownload) {
    s->SetValue("INDEX", data->Index);
    s->SetValue("FILE_SIZE", plat::IntToStr(data->AnnouncedSize));
  }
  s->SetValue("IS_MP3", data->IsMP3 ? "TRUE" : "FALSE");
  connections_.push_back({s, data});
  data->Socket = s;
  data->Connected = true;
  data->ProgressTick = plat::MonotonicMs();
}

void TNapsterClient::ForgetConnection(TNapsterClientData* data) {
  std::erase_if(connections_, [data](const Connection& c) { return c.Data == data; });
  data->Socket = nullptr;
  data->Connected = false;
}

std::unique_ptr<TNapsterClientData> TNapsterClient::TakeTransfer(TNapsterClientData* data) {
  std::unique_ptr<TNapsterClientData> held;
  for (auto* list : {&downloads_, &uploads_}) {
    for (auto it = list->begin(); it != list->end(); ++it) {
      if (it->get() != data) continue;
      held = std::move(*it);
      list->erase(it);
      break;
    }
  }
  if (!held) return held;
  TEasySocket* socket = data->Socket;
  ForgetConnection(data);
  if (socket) {
    transferSockets_.Cancel(socket);
    dataSockets_.Cancel(socket);
  }
  if (!held->IsDownload) {
    uploadTotal_ = std::max(0, uploadTotal_ - 1);
    const std::string who = held->ID + held->Nick;
    for (auto it = uploadsPerNick_.begin(); it != uploadsPerNick_.end(); ++it) {
      if (!plat::SameText(it->first, who)) continue;
      if (--it->second <= 0) uploadsPerNick_.erase(it);
      break;
    }
  }
  return held;
}

void TNapsterClient::FinishTransfer(TNapsterClientData& data) {
  if (data.IsDownload) {
    // The server heard of the attempt's end when it was taken off; only a
    // whole file joins the shared files, and one it never wrote is shared
    // again as it was.
    ShareWritten(data.LocalFile, data.Complete);
    Fire(OnDownloadFinish, data);
  } else {
    Tell(data.ID, data.Key, "INDICATE_UPLOAD_FINISH");
    Fire(OnUploadFinish, data);
  }
}

void TNapsterClient::RemoveTransfer(TNapsterClientData& Data, bool Incomplete) {
  for (auto it = localQueue_.begin(); it != localQueue_.end(); ++it) {
    if (it->get() != &Data) continue;
    // Never requested: the server was not told of it, so nothing is sent.
    const std::string local = Data.LocalFile;
    localQueue_.erase(it);
    // It never wrote its file: one it took out of the shared files is
    // given back.
    ShareWritten(local, false);
    return;
  }
  std::unique_ptr<TNapsterClientData> held = TakeTransfer(&Data);
  if (!held) return;
  // Exactly one 219 per requested attempt, whether it resumes or not; a
  // request still waiting to go out is not needed any more.
  if (held->IsDownload) {
    Unwait(held->Key, "DOWNLOAD");
    Tell(held->ID, held->Key, "INDICATE_DOWNLOAD_FINISH");
  }
  // A resume knows the file's size as the first attempt did.
  if (held->IsDownload && held->AnnouncedSize > 0) NoteAnnouncedSize(held->Key, held->AnnouncedSize);
  if (held->IsDownload && Incomplete && EnableAutoResume && held->ResumeCount < MaxResume &&
      Download(held->ID, held->Nick, held->RemoteFile, held->LocalFile, true, held->ResumeCount + 1,
               held->GnutellaHost, held->GnutellaPort, held->IsGnutella, held->Index))
    return;
  FinishTransfer(*held);
  if (!held->IsDownload) SumRates(true);
}

void TNapsterClient::RemoveAllDownloads() {
  while (!localQueue_.empty()) RemoveTransfer(*localQueue_.front(), false);
  while (!downloads_.empty()) RemoveTransfer(*downloads_.front(), false);
}

void TNapsterClient::RemoveAllUploads() {
  while (!uploads_.empty()) RemoveTransfer(*uploads_.front(), false);
}

void TNapsterClient::UploadPolicy(const std::string& id, const std::string& nick, const std::string& file,
                                  bool& queued, bool& accept) {
  std::string local;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    // The announced name or the local path; whatever matches, the file
    // served is the entry's own path, never one built from the peer's text.
    shares_.Find(file, &local);
  }
  // A file a download is writing is not served until it is complete.
  const bool servable = !local.empty() && !Rewriting(local);
  // A peer that asks again for an upload that still waits for it keeps
  // that one: a repeated request takes no second slot.
  for (const auto& u : uploads_) {
    if (u->Connected || !plat::SameText(u->Key, id + nick + file)) continue;
    if (!servable || !plat::SameText(u->LocalFile, local)) break;
    u->StartTime = SecondsOfDay();
    u->StartTick = plat::MonotonicMs();
    queued = false;
    accept = true;
    return;
  }
  int count = 0;
  for (const auto& [who, n] : uploadsPerNick_)
    if (plat::SameText(who, id + nick)) count = n;
  if (count >= MaxUploadsPerNick || uploadTotal_ >= MaxUploads) {
    queued = true;
    accept = true;
    return;
  }
  if (!servable) {
    queued = false;
    accept = false;
    return;
  }
  uploadTotal_++;
  bool counted = false;
  for (auto& [who, n] : uploadsPerNick_)
    if (!counted && plat::SameText(who, id + nick)) n++, counted = true;
  if (!counted) uploadsPerNick_.emplace_back(id + nick, 1);
  Tell(id, id + nick + file, "INDICATE_UPLOAD_START");
  auto u = std::make_unique<TNapsterClientData>();
  u->IsDownload = false;
  u->StartTime = SecondsOfDay();
  u->StartTick = plat::MonotonicMs();
  u->RemoteFile = file;
  u->IsMP3 = IsMp3Name(file);
  u->FileName = u->IsMP3 ? file : DecodeNonMp3Name(file);
  u->LocalFile = local;
  u->Nick = nick;
  u->ID = id;
  u->Key = id + nick + file;
  int session = SessionIndex(id);
  if (session >= 0) u->MyNick = sessionNicks_[size_t(session)];
  TNapsterClientData* raw = u.get();
  uploads_.push_back(std::move(u));
  accept = true;
  queued = false;
  Fire(OnUploadStart, *raw);
}

void TNapsterClient::UploadDecision(TEasySocket* socket, TNapsterDataDecision& d) {
  DataPortRequested(socket);
  d.Invalid = true;
  d.Allowed = false;
  TNapsterClientData* u = FindByNickAndFile(false, d.Nick, d.RequestFileName);
  if (!u) {
    bool queued = false;
    bool accept = false;
    UploadPolicy(d.ID, d.Nick, d.RequestFileName, queued, accept);
    d.Queued = queued;
    d.Invalid = accept;
    u = FindByNickAndFile(false, d.Nick, d.RequestFileName);
  }
  if (!u || d.Queued || u->Socket) {
    d.Allowed = false;
    return;
  }
  ConnectIncoming(socket, u, d);
}

void TNapsterClient::PushDecision(TEasySocket* socket, TNapsterDataDecision& d) {
  DataPortRequested(socket);
  d.Allowed = false;
  TNapsterClientData* dl = FindByNickAndFile(true, d.Nick, d.RequestFileName);
  if (!dl || dl->Socket) return;
  ConnectIncoming(socket, dl, d);
}

bool TNapsterClient::ConnectIncoming(TEasySocket* socket, TNapsterClientData* data, TNapsterDataDecision& d) {
  connections_.push_back({socket, data});
  data->Socket = socket;
  data->Connected = true;
  data->ProgressTick = plat::MonotonicMs();
  d.ID = data->Key;
  d.IsMP3 = data->IsMP3;
  d.LocalFileName = data->LocalFile;
  d.RemoteFileName = data->RemoteFile;
  // Now that the connection's transfer is known it has connected; a
  // handler that removes the transfer refuses the connection.
  const bool download = data->IsDownload;
  FireData(OnDownloadConnect, OnUploadConnect, *data);
  d.Allowed = IsActive(data, download) && data->Socket == socket;
  return d.Allowed;
}

void TNapsterClient::WireTransfer(TNapsterDataThread& t) {
  t.MaxDownloadBPS = MaxDownloadBPS;
  t.MaxUploadBPS = MaxUploadBPS;
  t.RequestTimeOut = DataPortRequestTimeOut;
  t.OnUploadDecision = [this](TNapsterDataThread&, TEasySocket* s, TNapsterDataDecision& d) { UploadDecision(s, d); };
  t.OnPushDecision = [this](TNapsterDataThread&, TEasySocket* s, TNapsterDataDecision& d) { PushDecision(s, d); };
  t.OnStatistics = [this](TNapsterDataThread&, TEasySocket* s, const TTransferStatistics& st) {
    TNapsterClientData* d = DataOf(s);
    if (!d) return;
    if (st.Position != d->Position) d->ProgressTick = plat::MonotonicMs();
    d->TimeLeft = st.TimeLeft;
    d->Percent = st.Percent;
    d->FileSize = st.FileSize;
    d->Position = st.Position;
    d->BytesPerSecond = st.Rate;
    if (d->IsDownload) d->ResumeCount = 0;
    FireData(OnDownloadStats, OnUploadStats, *d);
  };
  t.OnIncomplete = [this](TNapsterDataThread&, TEasySocket* s) {
    if (TNapsterClientData* d = DataOf(s)) FireData(OnDownloadIncomplete, OnUploadIncomplete, *d);
  };
  t.OnComplete = [this](TNapsterDataThread& thread, TEasySocket* s) {
    TNapsterClientData* d = DataOf(s);
    if (!d) return;
    d->Complete = true;
    d->Position = thread.Position;
    d->FileSize = thread.FileSize;
    if (!d->IsDownload) return;
    const std::string local = d->LocalFile;
    ShareWritten(local, true);
    FireAddFile(local);
  };
  t.OnError = [this](TNapsterDataThread&, TEasySocket* s, TNapsterDataErrorType kind) {
    TNapsterClientData* d = DataOf(s);
    if (!d) return;
    Fire(d->IsDownload ? OnDownloadError : OnUploadError, *d, kind);
  };
  t.OnRemotelyQueued = [this](TNapsterDataThread& thread, const std::string& serverID, const std::string& nick,
                              const std::string& file, int64_t, int) {
    TNapsterClientData* d = DataOf(thread.Socket());
    if (!d) d = FindDownload(serverID + nick + file);
    if (!d) return;
    d->RemoteQueued = true;
    Fire(OnDownloadQueued, *d);
  };
}

void TNapsterClient::WireTransferSockets(TEasyWinsock& sockets) {
  sockets.OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& thread) {
    auto* t = new TNapsterDataThread();
    WireTransfer(*t);
    thread = t;
  };
  sockets.OnConnect = [this](TEasyWinsock*, TEasySocket* s) {
    if (TNapsterClientData* d = DataOf(s)) FireData(OnDownloadConnect, OnUploadConnect, *d);
  };
  sockets.OnWinsockError = [this](TEasyWinsock*, TEasySocket* s, int number, const std::string& text) {
    TNapsterClientData* d = DataOf(s);
    if (d) Fire(d->IsDownload ? OnDownloadWinsockError : OnUploadWinsockError, *d, number, text);
  };
  sockets.OnStreamCreateError = [this](TEasyWinsock*, TEasySocket* s) {
    if (TNapsterClientData* d = DataOf(s)) FireData(OnDownloadFileCreateError, OnUploadFileOpenError, *d);
  };
  sockets.OnStreamWriteError = [this](TEasyWinsock*, TEasySocket* s) {
    TNapsterClientData* d = DataOf(s);
    if (d && d->IsDownload) Fire(OnDownloadFileWriteError, *d);
  };
  sockets.OnStreamReadError = [this](TEasyWinsock*, TEasySocket* s) {
    TNapsterClientData* d = DataOf(s);
    if (d && !d->IsDownload) Fire(OnUploadFileReadError, *d);
  };
  sockets.OnFinish = [this](TEasyWinsock*, TEasySocket* s) { TransferFinished(s); };
}

void TNapsterClient::TransferFinished(TEasySocket* socket) {
  TNapsterClientData* d = DataOf(socket);
  if (!d) return;
  if (d->IsDownload && d->RemoteQueued) {
    // It waits for its retry; the connection is gone.
    ForgetConnection(d);
    return;
  }
  RemoveTransfer(*d, !d->Complete);
}

// ----------------------------------------------------------------- data port

void TNapsterClient::WireDataPort() {
  dataSockets_.OnAccept = [this](TEasyWinsock*, TEasySocket*, bool& accept) { accept = AcceptDataConnection(); };
  auto connected = dataSockets_.OnConnect;
  dataSockets_.OnConnect = [this, connected](TEasyWinsock* w, TEasySocket* s) {
    dataPortConnections_.push_back({s});
    connected(w, s);
  };
  auto finished = dataSockets_.OnFinish;
  dataSockets_.OnFinish = [this, finished](TEasyWinsock* w, TEasySocket* s) {
    std::erase_if(dataPortConnections_, [s](const DataPortConnection& c) { return c.Socket == s; });
    finished(w, s);
  };
}

bool TNapsterClient::AcceptDataConnection() {
  // Each connection holds a thread. At the cap the oldest one that has not
  // sent its request yet makes room; those closed so end at once, and are
  // never more than the cap.
  int open = 0, dropped = 0;
  DataPortConnection* idle = nullptr;
  for (DataPortConnection& c : dataPortConnections_) {
    if (c.Dropped) {
      dropped++;
      continue;
    }
    open++;
    if (!idle && !c.Requested) idle = &c;
  }
  if (open < MaxDataPortConnections) return true;
  if (!idle || dropped >= MaxDataPortConnections) return false;
  idle->Dropped = true;
  dataSockets_.Cancel(idle->Socket);
  idle->Socket->Close();  // also when its thread has not begun yet
  return true;
}

void TNapsterClient::DataPortRequested(TEasySocket* socket) {
  for (DataPortConnection& c : dataPortConnections_)
    if (c.Socket == socket) c.Requested = true;
}
