#include "tools/gnutella_servent.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/net.h"
#include "platform/text.h"

namespace {

// Keeps a copy of every byte a handshake reader takes.
class TRecordingReader : public TGnutellaReader {
 public:
  TRecordingReader(TGnutellaReader& in, std::string& log) : in_(in), log_(log) {}
  uint8_t ReadByte() override {
    uint8_t b = in_.ReadByte();
    log_ += char(b);
    return b;
  }
  void ReadExact(void* buf, int count) override {
    in_.ReadExact(buf, count);
    log_.append(static_cast<const char*>(buf), size_t(count));
  }

 private:
  TGnutellaReader& in_;
  std::string& log_;
};

// A stand-in content hash in the form servents use: 32 base32 symbols.
std::string Sha1Urn(const std::string& name) {
  static const char kBase32[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
  uint64_t h = 1469598103934665603ull;
  for (char c : name) h = (h ^ uint8_t(c)) * 1099511628211ull;
  std::string s = "urn:sha1:";
  for (int i = 0; i < 32; ++i) {
    h = h * 6364136223846793005ull + 1442695040888963407ull;
    s += kBase32[(h >> 59) & 31];
  }
  return s;
}

// A GGEP block with one extension whose data holds no NUL byte.
std::string GgepBlock(const std::string& id, const std::string& data) {
  std::string s;
  s += char(0xC3);                        // magic
  s += char(0x80 | (id.size() & 0x0F));   // last extension, ID length
  s += id;
  s += char(0x40 | (data.size() & 0x3F)); // one length byte
  s += data;
  return s;
}

TBasePacket Bye(int code, const std::string& reason) {
  std::string payload;
  PutLE16(payload, uint16_t(code));
  payload += reason;
  payload += '\0';
  return TBasePacket(NewDescriptorGuid(), kDescBye, 1, 0, payload);
}

std::string ReasonPhrase(int code) {
  switch (code) {
    case 200: return "OK";
    case 403: return "Compressed connection required";
    case 503: return "Service unavailable";
    default: return "Refused";
  }
}

}  // namespace

// ================================================================ threads

class TGnutellaServent::LinkThread : public plat::Thread {
 public:
  LinkThread(TGnutellaServent& owner, std::unique_ptr<TSocket> s, int link, bool accepted)
      : plat::Thread(true), owner_(owner), sock_(std::move(s)), link_(link), accepted_(accepted) {}

  void Send(const TBasePacket& p) {
    std::lock_guard<std::mutex> g(outLock_);
    out_.push_back(p);
  }
  void Close() { sock_->Close(); }
  bool Established() const { return established_; }

 protected:
  void Execute() override {
    try {
      if (accepted_ && !ServeHandshake()) {
        sock_->Close();
      } else {
        established_ = true;
        owner_.UpdateLink(link_, [](TServentLinkRecord& r) { r.Established = r.Open = true; });
        Run();
      }
    } catch (...) {
    }
    sock_->Close();
    owner_.UpdateLink(link_, [](TServentLinkRecord& r) { r.Open = false; });
  }

 private:
  bool ServeHandshake() {
    const TServentScript& s = owner_.script_;
    sock_->SetTimeout(10);
    TGnutellaSocketReader raw(*sock_);
    std::string request;
    TRecordingReader in(raw, request);
    std::string first = plat::UpperCase(plat::Trim(ReadHandshakeLine(in)));
    if (first == "GNUTELLA CONNECT/0.4") {
      owner_.UpdateLink(link_, [&](TServentLinkRecord& r) { r.Request = request; });
      if (!s.Accept04) return false;
      sock_->WriteAll("GNUTELLA OK\n\n");
      return true;
    }
    if (first != "GNUTELLA CONNECT/0.6") return false;
    THandshakeHeaders headers;
    headers.Read(in);
    owner_.UpdateLink(link_, [&](TServentLinkRecord& r) {
      r.Request = request;
      r.RequestHeaders = headers;
    });
    const std::string ua = "User-Agent: " + s.UserAgent + "\r\n";
    if (!headers.Has("X-Ultrapeer")) {
      sock_->WriteAll("GNUTELLA/0.6 403 X-Ultrapeer header missing\r\n" + ua + "\r\n");
      return false;
    }
    if (s.RefuseStatus != 0) {
      sock_->WriteAll("GNUTELLA/0.6 " + plat::IntToStr(s.RefuseStatus) + " " + ReasonPhrase(s.RefuseStatus) +
                      "\r\n" + ua + "X-Try-Ultrapeers: " + s.TryHosts + "\r\n\r\n");
      return false;
    }
    std::string answer = "GNUTELLA/0.6 200 OK\r\n" + ua;
    answer += std::string("X-Ultrapeer: ") + (s.Ultrapeer ? "True" : "False") + "\r\n";
    answer += std::string("X-Ultrapeer-Needed: ") + (s.UltrapeerNeeded ? "true" : "false") + "\r\n";
    if (!s.TryHosts.empty()) answer += "X-Try-Ultrapeers: " + s.TryHosts + "\r\n";
    answer += "X-Degree: 32\r\nX-Max-TTL: " + plat::IntToStr(s.MaxTtl) + "\r\nX-Query-Routing: 0.1\r\nVendor-Message: 0.1\r\nGGEP: 0.5\r\n";
    answer += "Listen-IP: " + owner_.Key() + "\r\nRemote-IP: " + sock_->RemoteIP() + "\r\n\r\n";
    sock_->WriteAll(answer);
    std::string final;
    TRecordingReader finalIn(raw, final);
    std::string status = ReadHandshakeLine(finalIn);
    THandshakeHeaders finalHeaders;
    finalHeaders.Read(finalIn);
    owner_.UpdateLink(link_, [&](TServentLinkRecord& r) {
      r.Final = final;
      r.FinalHeaders = finalHeaders;
    });
    return IsStatusOk(status);
  }

  void Run() {
    const TServentScript& s = owner_.script_;
    sock_->SetTimeout(10);
    TGnutellaSocketReader in(*sock_);
    if (s.SendVendorMessage) {
      std::string payload = s.VendorCode.substr(0, 4);
      payload.resize(4, ' ');
      PutLE16(payload, 0);  // selector: messages supported
      PutLE16(payload, 1);  // version
      PutLE16(payload, 0);  // none listed
      sock_->WriteAll(TBasePacket(NewDescriptorGuid(), kDescVendor, 1, 0, payload).Encode());
    }
    const int64_t start = plat::MonotonicMs();
    int64_t lastKeepAlive = start;
    std::deque<TGuid> outstanding;
    while (sock_->Connected() && !owner_.stopping_) {
      while (sock_->BytesAvailable() > 0) {
        TBasePacket p = ReadDescriptor(in);
        owner_.Record(p, link_);
        Handle(p, outstanding);
      }
      std::deque<TBasePacket> batch;
      {
        std::lock_guard<std::mutex> g(outLock_);
        batch.swap(out_);
      }
      for (auto& p : batch) sock_->WriteAll(p.Encode());
      int64_t now = plat::MonotonicMs();
      if (s.KeepAliveMs > 0 && now - lastKeepAlive >= s.KeepAliveMs) {
        lastKeepAlive = now;
        if (int(outstanding.size()) >= s.MaxUnansweredPings) {
          owner_.UpdateLink(link_, [](TServentLinkRecord& r) { r.ClosedForPings = true; });
          sock_->WriteAll(Bye(408, "Too many unanswered pings").Encode());
          return;
        }
        TBasePacket ping(NewDescriptorGuid(), kDescPing, 1, 0, "");
        outstanding.push_back(ping.Guid);
        sock_->WriteAll(ping.Encode());
      }
      if (s.ByeAfterMs > 0 && now - start >= s.ByeAfterMs) {
        sock_->WriteAll(Bye(200, "Closing").Encode());
        return;
      }
      owner_.stopEvent_.Wait(2);
    }
  }

  void Handle(const TBasePacket& p, std::deque<TGuid>& outstanding) {
    const TServentScript& s = owner_.script_;
    switch (p.Type) {
      case kDescPing: {
        if (!s.AnswerPings) return;
        uint32_t own = 0;
        plat::TextToAddress(s.BindAddress, &own);
        TPong pong{uint16_t(owner_.Port()), own, 12, 3400};
        sock_->WriteAll(TBasePacket(p.Guid, kDescPong, 1, 0, PongPayload(pong)).Encode());
        for (auto& h : s.PongHosts) {
          TPong other{h.Port, 0, 5, 500};
          plat::TextToAddress(h.Host, &other.Address);
          sock_->WriteAll(TBasePacket(p.Guid, kDescPong, 1, 1, PongPayload(other)).Encode());
        }
        return;
      }
      case kDescPong:
        outstanding.erase(std::remove(outstanding.begin(), outstanding.end(), p.Guid), outstanding.end());
        return;
      case kDescQuery: {
        TSearchRequest q;
        if (!ParseQuery(p.Payload, q)) return;
        // No flags in the first byte: obsolete; a TTL above what it
        // announced: against its rules. Both are dropped.
        if (!(q.Flags & kQueryFlagsForm) || p.TTL > s.MaxTtl) {
          ++owner_.queriesDropped_;
          return;
        }
        TQueryHit hit = owner_.HitFor(q.Text);
        if (hit.Results.empty()) return;
        uint8_t ttl = uint8_t(std::min(255, p.Hops + 2));
        sock_->WriteAll(TBasePacket(p.Guid, kDescQueryHit, ttl, 0, QueryHitPayload(hit)).Encode());
        ++owner_.hitsSent_;
        return;
      }
      default:
        return;  // pushes, hits, vendor messages, Bye: only recorded
    }
  }

  TGnutellaServent& owner_;
  std::unique_ptr<TSocket> sock_;
  int link_;
  bool accepted_;
  std::atomic<bool> established_{false};
  std::mutex outLock_;
  std::deque<TBasePacket> out_;
};

class TGnutellaServent::AcceptThread : public plat::Thread {
 public:
  explicit AcceptThread(TGnutellaServent& owner) : plat::Thread(true), owner_(owner) {}

 protected:
  void Execute() override {
    while (!owner_.stopping_ && owner_.listener_.Connected()) {
      auto s = std::make_unique<TSocket>();
      try {
        s->Accept(owner_.listener_);
      } catch (const ESocket&) {
        if (owner_.stopping_ || !owner_.listener_.Connected()) break;
        owner_.stopEvent_.Wait(20);
        continue;
      }
      owner_.Launch(std::move(s), owner_.AddLink(true), true);
    }
  }

 private:
  TGnutellaServent& owner_;
};

// ================================================================ servent

TGnutellaServent::TGnutellaServent(TServentScript script)
    : script_(std::move(script)), guid_(NewServentGuid()) {}

TGnutellaServent::~TGnutellaServent() { Stop(); }

std::string TGnutellaServent::Key() const { return script_.BindAddress + ":" + plat::IntToStr(port_); }

bool TGnutellaServent::Start() {
  stopping_ = false;
  stopEvent_.Reset();
  threads_.Open();
  try {
    listener_.Listen(script_.BindAddress, script_.Port, true);
  } catch (const ESocket&) {
    return false;
  }
  port_ = listener_.LocalPort();
  threads_.Start(new AcceptThread(*this));
  return true;
}

void TGnutellaServent::Stop() {
  stopping_ = true;
  stopEvent_.Set();
  threads_.Close();
  auto forget = [this](plat::Thread* t) {
    std::lock_guard<std::mutex> g(lock_);
    linkThreads_.erase(std::remove(linkThreads_.begin(), linkThreads_.end(), t), linkThreads_.end());
  };
  for (;;) {
    listener_.Close();
    CloseAll();
    threads_.Reap(forget);
    if (threads_.Empty()) break;
    plat::Thread::Sleep(5);
  }
}

void TGnutellaServent::Launch(std::unique_ptr<TSocket> s, int link, bool accepted) {
  auto* t = new LinkThread(*this, std::move(s), link, accepted);
  {
    std::lock_guard<std::mutex> g(lock_);
    linkThreads_.push_back(t);  // before it runs, so that reaping finds it here
  }
  if (threads_.Start(t)) return;
  {
    std::lock_guard<std::mutex> g(lock_);
    linkThreads_.erase(std::remove(linkThreads_.begin(), linkThreads_.end(), t), linkThreads_.end());
  }
  delete t;  // never started: closes its socket
}

int TGnutellaServent::AddLink(bool incoming) {
  std::lock_guard<std::mutex> g(lock_);
  links_.emplace_back();
  links_.back().Incoming = incoming;
  links_.back().Open = true;
  return int(links_.size()) - 1;
}

void TGnutellaServent::UpdateLink(int index, const std::function<void(TServentLinkRecord&)>& fn) {
  std::lock_guard<std::mutex> g(lock_);
  fn(links_[size_t(index)]);
}

void TGnutellaServent::Record(const TBasePacket& p, int link) {
  std::lock_guard<std::mutex> g(lock_);
  received_.push_back(TServentDescriptor{p, link});
}

std::string TGnutellaServent::ConnectTo(const std::string& host, int port,
                                        const std::vector<std::string>& extraHeaders, THandshakeHeaders* answer) {
  auto s = std::make_unique<TSocket>();
  s->SetBindAddress(script_.BindAddress);
  s->SetTimeout(10);
  std::string status;
  THandshakeHeaders headers;
  int link = AddLink(false);
  try {
    s->Connect(host, port);
    std::string req = "GNUTELLA CONNECT/0.6\r\nUser-Agent: " + script_.UserAgent + "\r\n";
    req += std::string("X-Ultrapeer: ") + (script_.Ultrapeer ? "True" : "False") + "\r\n";
    req += "X-Query-Routing: 0.1\r\nGGEP: 0.5\r\nX-Max-TTL: " + plat::IntToStr(script_.MaxTtl) + "\r\n";
    if (port_ > 0) req += "X-My-Address: " + Key() + "\r\n";
    for (auto& h : extraHeaders) req += h + "\r\n";
    req += "\r\n";
    UpdateLink(link, [&](TServentLinkRecord& r) { r.Request = req; });
    s->WriteAll(req);
    TGnutellaSocketReader in(*s);
    status = ReadHandshakeLine(in);
    headers.Read(in);
    if (answer) *answer = headers;
    if (!IsStatusOk(status)) {
      s->Close();
      UpdateLink(link, [](TServentLinkRecord& r) { r.Open = false; });
      return status;
    }
    s->WriteAll("GNUTELLA/0.6 200 OK\r\n\r\n");
  } catch (...) {
    UpdateLink(link, [](TServentLinkRecord& r) { r.Open = false; });
    return status;
  }
  Launch(std::move(s), link, false);
  return status;
}

void TGnutellaServent::SendToAll(const TBasePacket& p) {
  std::lock_guard<std::mutex> g(lock_);
  for (auto* t : linkThreads_)
    if (t->Established() && !t->Finished()) t->Send(p);
}

void TGnutellaServent::CloseAll() {
  std::lock_guard<std::mutex> g(lock_);
  for (auto* t : linkThreads_) t->Close();
}

std::vector<TServentLinkRecord> TGnutellaServent::Links() {
  std::lock_guard<std::mutex> g(lock_);
  return links_;
}

int TGnutellaServent::OpenLinks() {
  std::lock_guard<std::mutex> g(lock_);
  return int(std::count_if(links_.begin(), links_.end(),
                           [](const TServentLinkRecord& r) { return r.Open && r.Established; }));
}

std::vector<TServentDescriptor> TGnutellaServent::Received() {
  std::lock_guard<std::mutex> g(lock_);
  return received_;
}

int TGnutellaServent::CountReceived(uint8_t type) {
  std::lock_guard<std::mutex> g(lock_);
  return int(std::count_if(received_.begin(), received_.end(),
                           [&](const TServentDescriptor& d) { return d.Packet.Type == type; }));
}

int TGnutellaServent::CountReceived(uint8_t type, const TGuid& guid) {
  std::lock_guard<std::mutex> g(lock_);
  return int(std::count_if(received_.begin(), received_.end(), [&](const TServentDescriptor& d) {
    return d.Packet.Type == type && d.Packet.Guid == guid;
  }));
}

TQueryHit TGnutellaServent::HitFor(const std::string& queryText) const {
  TQueryHit hit;
  std::vector<std::string> words;
  std::string text = plat::UpperCase(queryText);
  for (size_t i = 0; i < text.size();) {
    size_t j = text.find(' ', i);
    if (j == std::string::npos) j = text.size();
    if (j > i) words.push_back(text.substr(i, j - i));
    i = j + 1;
  }
  if (words.empty()) return hit;
  for (auto& f : script_.Files) {
    std::string name = plat::UpperCase(f.Name);
    bool all = std::all_of(words.begin(), words.end(), [&](auto& w) { return name.find(w) != std::string::npos; });
    if (!all) continue;
    THitResult r;
    r.FileIndex = f.Index;
    r.Size = f.Size;
    r.Name = f.Name;
    r.Extra = Sha1Urn(f.Name) + "\x1C" + GgepBlock("LF", "\x05");
    hit.Results.push_back(r);
  }
  hit.Port = uint16_t(port_.load());
  plat::TextToAddress(script_.BindAddress, &hit.Address);
  hit.Speed = uint32_t(script_.HitSpeed);
  hit.VendorCode = script_.VendorCode;
  hit.HasFlags = true;
  hit.Flags1 = kHitFlagUploadSpeed | kHitFlagHaveUploaded | kHitFlagBusy | 0x20;  // 0x20: GGEP follows
  hit.Flags2 = kHitFlagHaveUploaded | kHitFlagPush;
  hit.PrivateData = GgepBlock("BH", "");
  hit.ServentGuid = guid_;
  return hit;
}
