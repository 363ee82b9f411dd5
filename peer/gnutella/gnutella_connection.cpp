// The Gnutella node's connections: the texts of the handshake (host lists,
// uptimes), the 0.6 handshake with its headers and admission rule (falling
// back to 0.4), the thread that runs one connection from its handshake
// through the descriptors it reads and writes, and the listen thread that
// accepts them.
#include "peer/gnutella/gnutella.h"

#include <algorithm>
#include <climits>

#include "core/global_functions.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace {

// Descriptors read in one step of a connection while bytes wait.
constexpr int kDescriptorsPerPass = 16;

const char kProto04[] = "Gnutella 0.4";
const char kProtoUltrapeer[] = "Gnutella 0.6 Ultrapeer";
const char kProtoLeaf[] = "Gnutella 0.6 Leaf";

std::string TwoDigits(int64_t v) {
  std::string s = plat::IntToStr(v);
  return s.size() < 2 ? "0" + s : s;
}

}  // namespace

// ================================================================ texts

std::string THostItem::Key() const { return Host + ":" + plat::IntToStr(Port); }

std::string UptimeText(int64_t minutes) {
  if (minutes < 0) minutes = 0;
  return TwoDigits(minutes / 1440) + "D " + TwoDigits(minutes % 1440 / 60) + "H " + TwoDigits(minutes % 60) +
         "M";
}

int64_t ParseUptime(std::string_view text) {
  int64_t total = 0, number = 0;
  bool digits = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (number < 100000000) number = number * 10 + (c - '0');
      digits = true;
      continue;
    }
    if (c == ' ' || c == '\t') continue;
    char u = plat::FoldChar(c);
    if (digits && (u == 'D' || u == 'H' || u == 'M')) total += number * (u == 'D' ? 1440 : u == 'H' ? 60 : 1);
    number = 0;
    digits = false;
  }
  return total;
}

bool SplitHostPort(std::string_view item, std::string& host, int& port) {
  std::string t = plat::Trim(item);
  size_t colon = t.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= t.size()) return false;
  int64_t p = 0;
  for (size_t i = colon + 1; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9' || p > 65535) return false;
    p = p * 10 + (t[i] - '0');
  }
  if (p < 1 || p > 65535) return false;
  host = plat::Trim(t.substr(0, colon));
  port = int(p);
  return !host.empty();
}

std::vector<THostItem> ParseHostList(std::string_view text) {
  std::vector<THostItem> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    THostItem h;
    int port = 0;
    if (SplitHostPort(text.substr(start, comma - start), h.Host, port)) {
      h.Port = uint16_t(port);
      out.push_back(h);
    }
    start = comma + 1;
  }
  return out;
}

// ================================================================ handshake

void TGnutellaSocketReader::KeepDeadline() {
  if (deadline_ < 0) return;
  const int64_t left = deadline_ - plat::MonotonicMs();
  if (left <= 0) {
    s_.Close();
    throw ESocket(kNetTimeout);
  }
  // A peer that says nothing is not waited for past the deadline either.
  const int seconds = int(std::min<int64_t>((left + 999) / 1000, INT_MAX));
  if (s_.Timeout() <= 0 || seconds < s_.Timeout()) s_.SetTimeout(seconds);
}

uint8_t TGnutellaSocketReader::ReadByte() {
  KeepDeadline();
  uint8_t b = 0;
  s_.Recv(&b, 1);
  return b;
}

void TGnutellaSocketReader::ReadExact(void* buf, int count) {
  KeepDeadline();
  s_.ReadExact(buf, count);
}

std::string ReadHandshakeLine(TGnutellaReader& in) {
  std::string line;
  for (;;) {
    char c = char(in.ReadByte());
    if (c == '\n') break;
    if (line.size() > kMaxHandshakeLine) throw EGnutella("Handshake line too long");  // room for its CR
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxHandshakeLine) throw EGnutella("Handshake line too long");
  return line;
}

bool IsStatusOk(std::string_view line) {
  static const std::string kOk = "GNUTELLA/0.6 200";
  std::string t = plat::UpperCase(plat::Trim(line));
  return t.compare(0, kOk.size(), kOk) == 0 && (t.size() == kOk.size() || t[kOk.size()] == ' ');
}

void THandshakeHeaders::Read(TGnutellaReader& in) {
  for (int lines = 0;; ++lines) {
    std::string line = ReadHandshakeLine(in);
    if (line.empty()) return;
    if (lines >= kMaxHandshakeLines) throw EGnutella("Too many handshake lines");
    if ((line[0] == ' ' || line[0] == '\t') && !items_.empty()) {
      std::string more = plat::Trim(line);
      std::string& v = items_.back().second;
      if (!more.empty()) v += v.empty() ? more : " " + more;
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    Add(plat::Trim(line.substr(0, colon)), plat::Trim(line.substr(colon + 1)));
  }
}

void THandshakeHeaders::Add(const std::string& name, const std::string& value) {
  items_.emplace_back(name, value);
}

bool THandshakeHeaders::Has(std::string_view name) const {
  return std::any_of(items_.begin(), items_.end(), [&](auto& i) { return plat::SameText(i.first, name); });
}

std::string THandshakeHeaders::Get(std::string_view name) const {
  for (auto& i : items_)
    if (plat::SameText(i.first, name)) return plat::Trim(i.second);
  return "";
}

TPeerHeaders InterpretHeaders(const THandshakeHeaders& h) {
  TPeerHeaders p;
  auto addAll = [&](const std::vector<THostItem>& hosts) { p.Hosts.insert(p.Hosts.end(), hosts.begin(), hosts.end()); };
  for (int i = 0; i < h.Count(); ++i) {
    const std::string& n = h.Name(i);
    const std::string v = plat::Trim(h.Value(i));
    if (plat::SameText(n, "X-Ultrapeer")) {
      p.IsUltrapeer = StrToBool(v);
    } else if (plat::SameText(n, "X-Ultrapeer-Needed")) {
      p.UltrapeerNeeded = StrToBool(v);
    } else if (plat::SameText(n, "X-Try-Ultrapeers") || plat::SameText(n, "X-Try")) {
      addAll(ParseHostList(v));
    } else if (plat::SameText(n, "X-My-Address")) {
      THostItem item;
      int port = 0;
      if (SplitHostPort(v, item.Host, port)) {
        item.Port = uint16_t(port);
        p.MyAddressPort = port;
        p.Hosts.push_back(item);
      }
    } else if (plat::SameText(n, "X-Tarn-Info")) {
      addAll(ParseHostList(Base64Decode(v)));
    } else if (plat::SameText(n, "User-Agent")) {
      p.UserAgent = v;
    } else if (plat::SameText(n, "Uptime")) {
      p.Uptime = v;
    } else if (plat::SameText(n, "X-Max-TTL")) {
      const int64_t ttl = DigitsToInt64(v);
      p.MaxTtl = ttl >= 1 && ttl <= 255 ? int(ttl) : 0;
    }
  }
  return p;
}

TAdmission CheckAdmission(const TGnutellaSettings& s, int U, int L, bool linkUltrapeer, bool incoming,
                          bool peerIsUltrapeer, bool peerUltrapeerNeeded) {
  bool roomUltrapeer, roomLeaf;
  if (!linkUltrapeer) {
    roomUltrapeer = incoming ? U < s.iMinUltraPeerSlow : U < s.iMaxUltraPeersSlow;
    roomLeaf = false;
  } else if (incoming) {
    roomUltrapeer = U < s.iMinUltraPeers;
    roomLeaf = L < s.iMaxPeers;
  } else {
    roomUltrapeer = U < s.iMaxUltraPeers;
    roomLeaf = L < s.iMaxPeers;
  }
  TAdmission a;
  a.LinkUltrapeer = linkUltrapeer;
  if (!roomUltrapeer && !roomLeaf) return a;
  if (a.LinkUltrapeer && !peerUltrapeerNeeded && roomUltrapeer) a.LinkUltrapeer = false;
  a.Accept = peerIsUltrapeer || a.LinkUltrapeer;
  return a;
}

// ================================================================ connection thread

namespace {

// The end of a handshake that begins now: the whole of it, the 0.4 attempt
// after a failed 0.6 one included, within the peer time-out (-1: none).
int64_t HandshakeDeadline(const TGnutellaSettings& s) {
  return s.iPeerTimeout > 0 ? plat::MonotonicMs() + int64_t(s.iPeerTimeout) * 1000 : -1;
}

}  // namespace

TGnutellaThread::TGnutellaThread(TGnutella& node, std::string host, int port)
    : plat::Thread(true),
      node_(node),
      sock_(std::make_unique<TSocket>()),
      host_(std::move(host)),
      port_(port),
      incoming_(false),
      handshakeDeadline_(HandshakeDeadline(node.Settings())) {
  key_ = host_ + ":" + plat::IntToStr(port_);
}

TGnutellaThread::TGnutellaThread(TGnutella& node, std::unique_ptr<TSocket> accepted)
    : plat::Thread(true),
      node_(node),
      sock_(std::move(accepted)),
      incoming_(true),
      handshakeDeadline_(HandshakeDeadline(node.Settings())) {
  host_ = sock_->RemoteIP();
  port_ = sock_->RemotePort();
  key_ = host_ + ":" + plat::IntToStr(port_);
}

TGnutellaThread::~TGnutellaThread() = default;

void TGnutellaThread::QueueDescriptor(const TBasePacket& p) {
  {
    std::lock_guard<std::mutex> g(queueLock_);
    out_.push_back(p);
    while (out_.size() > size_t(std::max(1, queueLimit_.load()))) out_.pop_front();
  }
  wake_.Set();
}

void TGnutellaThread::CloseLink() {
  sock_->Close();
  wake_.Set();
}

bool TGnutellaThread::HandshakeTimeLeft() const {
  return handshakeDeadline_ < 0 || plat::MonotonicMs() < handshakeDeadline_;
}

std::string TGnutellaThread::LinkProtocol(bool ultrapeer) const {
  if (v04_) return kProto04;
  return ultrapeer ? kProtoUltrapeer : kProtoLeaf;
}

void TGnutellaThread::FillInfo() {
  info_.LocalHost = sock_->LocalIP();
  info_.LocalPort = sock_->LocalPort();
  info_.RemoteHost = host_;
  info_.RemotePort = port_;
  info_.UserAgent = peer_.UserAgent;
  info_.LocalProtocol = LinkProtocol(linkUltrapeer_);
  info_.RemoteProtocol = LinkProtocol(peerUltrapeer_);
  info_.Incoming = incoming_;
}

void TGnutellaThread::Execute() {
  plat::Quietly([&] {
    TGnutellaSettings s = node_.Settings();
    queueLimit_ = s.iMaxMessageQueue;
    FillInfo();
    node_.FireConnectionEvent(node_.OnPendingConnection, info_);
    sock_->SetTimeout(std::max(0, s.iPeerTimeout));
    Outcome o;
    if (incoming_) {
      o = IncomingHandshake(s);
    } else {
      bool connected = false;
      o = Outgoing06(s, connected);
      if (o == Outcome::Failed && connected && !node_.Stopping() && HandshakeTimeLeft()) o = Outgoing04();
    }
    if (o == Outcome::Accepted && !node_.Stopping()) Established(s);
  });
  sock_->Close();
  node_.LinkEnded(this);
  plat::Quietly([&] { node_.FireConnectionEvent(node_.OnDisconnect, info_); });
}

TGnutellaThread::Outcome TGnutellaThread::Outgoing06(const TGnutellaSettings& s, bool& connected) {
  try {
    sock_->SetBindAddress(node_.BindAddress());
    if (node_.Stopping()) return Outcome::Refused;
    sock_->Connect(host_, port_);
  } catch (const ESocket&) {
    return Outcome::Refused;  // no one there: nothing to fall back to
  }
  connected = true;
  TGnutellaSocketReader in(*sock_, handshakeDeadline_);
  linkUltrapeer_ = node_.bIsUltraPeer();
  std::string status;
  try {
    std::string req = "GNUTELLA CONNECT/0.6\r\n";
    req += "User-Agent: " + s.sUserAgent + "\r\n";
    req += "X-Ultrapeer: " + BoolToStr(linkUltrapeer_) + "\r\n";
    if (!s.bFirewalled) req += "X-My-Address: " + node_.sLocalIP() + ":" + plat::IntToStr(node_.iLocalPort()) + "\r\n";
    req += "Uptime: " + node_.UptimeText() + "\r\n\r\n";
    sock_->WriteAll(req);
    status = ReadHandshakeLine(in);
  } catch (const ESocket&) {
    return Outcome::Failed;  // the peer did not take a 0.6 handshake
  }
  // Refusals carry host lists too: read the headers either way.
  THandshakeHeaders h;
  h.Read(in);
  peer_ = InterpretHeaders(h);
  SetMaxQueryTtl(peer_.MaxTtl);
  node_.AddHosts(peer_.Hosts);
  if (!IsStatusOk(status)) return Outcome::Refused;
  const bool wasUltrapeer = linkUltrapeer_;
  if (!node_.Admit(this, key_, false, linkUltrapeer_, peer_.IsUltrapeer, peer_.UltrapeerNeeded)) {
    sock_->WriteAll("GNUTELLA/0.6 503 Sorry\r\n\r\n");
    return Outcome::Refused;
  }
  peerUltrapeer_ = peer_.IsUltrapeer;
  // A link the peer's guidance made a leaf link says so, as the peer expects.
  std::string reply = "GNUTELLA/0.6 200 OK\r\n";
  if (wasUltrapeer && !linkUltrapeer_) reply += "X-Ultrapeer: " + BoolToStr(false) + "\r\n";
  sock_->WriteAll(reply + "\r\n");
  node_.AddKnownUptimeHost(sock_->RemoteIP(), port_, ParseUptime(peer_.Uptime));
  return Outcome::Accepted;
}

TGnutellaThread::Outcome TGnutellaThread::Outgoing04() {
  TGnutellaSocketReader in(*sock_, handshakeDeadline_);
  try {
    sock_->Connect(host_, port_);
    sock_->WriteAll("GNUTELLA CONNECT/0.4\n\n");
    if (plat::UpperCase(plat::Trim(ReadHandshakeLine(in))) != "GNUTELLA OK") return Outcome::Refused;
    if (!plat::Trim(ReadHandshakeLine(in)).empty()) return Outcome::Refused;
  } catch (const ESocket&) {
    return Outcome::Refused;
  }
  v04_ = true;
  linkUltrapeer_ = peerUltrapeer_ = true;
  return node_.Admit04(this, key_, false) ? Outcome::Accepted : Outcome::Refused;
}

TGnutellaThread::Outcome TGnutellaThread::IncomingHandshake(const TGnutellaSettings& s) {
  TGnutellaSocketReader in(*sock_, handshakeDeadline_);
  std::string first = plat::UpperCase(plat::Trim(ReadHandshakeLine(in)));
  if (first == "GNUTELLA CONNECT/0.4") {
    if (s.bIsCacheServer) return Outcome::Refused;
    v04_ = true;
    linkUltrapeer_ = peerUltrapeer_ = true;
    if (!node_.Admit04(this, key_, true)) return Outcome::Refused;
    sock_->WriteAll("GNUTELLA OK\n\n");
    return Outcome::Accepted;
  }
  if (first != "GNUTELLA CONNECT/0.6") return Outcome::Refused;

  THandshakeHeaders h;
  h.Read(in);
  peer_ = InterpretHeaders(h);
  SetMaxQueryTtl(peer_.MaxTtl);
  const std::string ua = "User-Agent: " + s.sUserAgent + "\r\n";
  if (s.bIsCacheServer) {
    node_.AddHosts(peer_.Hosts);
    sock_->WriteAll("GNUTELLA/0.6 503 Sorry\r\nX-Tarn-Info: " + Base64EncodeOneLine(node_.HostListText()) + "\r\n" +
                    ua + "\r\n");
    return Outcome::Refused;
  }
  // The peer's listening address names the link; its ephemeral port does not.
  if (peer_.MyAddressPort > 0) key_ = host_ + ":" + plat::IntToStr(peer_.MyAddressPort);
  linkUltrapeer_ = node_.bIsUltraPeer();
  bool ok = node_.Admit(this, key_, true, linkUltrapeer_, peer_.IsUltrapeer, peer_.UltrapeerNeeded);
  node_.AddHosts(peer_.Hosts);  // once admitted, the peer's own address is no new host
  std::string answer = ok ? "GNUTELLA/0.6 200 OK\r\n" : "GNUTELLA/0.6 503 Sorry\r\n";
  answer += "X-Ultrapeer: " + BoolToStr(linkUltrapeer_) + "\r\n";
  answer += "X-Try-Ultrapeers: " + node_.HostListText() + "\r\n";
  if (!s.bFirewalled) answer += "X-My-Address: " + node_.sLocalIP() + ":" + plat::IntToStr(node_.iLocalPort()) + "\r\n";
  answer += "X-UltraPeer-Needed: " + BoolToStr(node_.UltrapeersNeeded()) + "\r\n";
  sock_->WriteAll(answer + ua + "\r\n");
  if (!ok) return Outcome::Refused;
  peerUltrapeer_ = peer_.IsUltrapeer;
  std::string status = ReadHandshakeLine(in);
  THandshakeHeaders final;
  final.Read(in);
  if (!IsStatusOk(status)) return Outcome::Refused;
  if (peer_.MyAddressPort > 0) node_.AddKnownUptimeHost(host_, peer_.MyAddressPort, ParseUptime(peer_.Uptime));
  return Outcome::Accepted;
}

void TGnutellaThread::Established(const TGnutellaSettings& s) {
  sock_->SetTimeout(std::max(0, s.iPeerTimeout));  // the handshake may have lowered it
  if (!s.bManualNetworkSettings) node_.AdoptLocalAddress(sock_->LocalIP(), sock_->LocalAddress());
  FillInfo();
  node_.FireConnectionEvent(node_.OnConnect, info_);
  WriteNow(TBasePacket(FirstPingGuid(), kDescPing, 1, 0, ""));
  Loop(s);
}

void TGnutellaThread::WriteNow(const TBasePacket& p) { sock_->WriteAll(p.Encode()); }

void TGnutellaThread::WriteQueued() {
  std::deque<TBasePacket> batch;
  {
    std::lock_guard<std::mutex> g(queueLock_);
    batch.swap(out_);
  }
  for (auto& p : batch) WriteNow(p);
}

void TGnutellaThread::Loop(const TGnutellaSettings& s) {
  TGnutellaSocketReader in(*sock_);
  const int64_t pingMs = int64_t(s.iPingInterval) * 1000;
  const int64_t silenceMs = int64_t(s.iPeerTimeout) * 1000;
  int64_t lastPing = plat::MonotonicMs();
  int64_t lastHeard = lastPing;
  while (sock_->Connected() && !node_.Stopping()) {
    if (pingMs > 0 && plat::MonotonicMs() - lastPing >= pingMs) {
      WriteNow(TBasePacket(NewDescriptorGuid(), kDescPing, 1, 0, ""));
      lastPing = plat::MonotonicMs();
    }
    for (int n = 0; n < kDescriptorsPerPass && sock_->BytesAvailable() > 0; ++n) {
      TBasePacket p = ReadDescriptor(in);
      lastHeard = plat::MonotonicMs();
      node_.ReceiveDescriptor(p, this);
    }
    WriteQueued();
    node_.RaisePeaks(sock_->SendRate(), sock_->ReceiveRate());
    // A peer that stays silent this long is gone, whether or not its
    // socket says so.
    if (silenceMs > 0 && plat::MonotonicMs() - lastHeard > silenceMs) break;
    wake_.Wait(std::max(1, node_.Timings().loopSleepMs));
  }
}

// ================================================================ listen thread

TGnutellaListenThread::TGnutellaListenThread(TGnutella& node) : plat::Thread(true), node_(node) {}

void TGnutellaListenThread::Execute() {
  plat::Quietly([&] {
    while (node_.Listener().Connected() && !node_.Stopping()) {
      auto s = std::make_unique<TSocket>();
      try {
        s->Accept(node_.Listener());
      } catch (const ESocket&) {
        if (!node_.Listener().Connected() || node_.Stopping()) break;
        node_.Pause(100);
        continue;
      }
      auto* t = new TGnutellaThread(node_, std::move(s));
      if (!node_.LaunchConnection(t, true)) delete t;  // closes the socket
    }
  });
}
