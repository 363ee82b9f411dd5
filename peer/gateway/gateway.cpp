// The local gateway's client side: the texts it reads and writes, the
// search text and the files the client announced, the client's messages
// (login, shares, searches, requests), the gateway thread that serves the
// client connection, and the program's default instance. What comes from
// the networks, and the periodic work with them, is in gateway_network.cpp.
#include "peer/gateway/gateway.h"

#include <algorithm>
#include <mutex>

#include "core/global_functions.h"
#include "core/globals.h"
#include "peer/napster/napster_message.h"
#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/net.h"
#include "platform/text.h"

namespace {

// The e-mail text of the login reply.
constexpr const char* kLoginEmail = "gateway@tarnwick.local";

}  // namespace

// ================================================================ helpers

void TGatewayGnutellaNode::SetFirewalled(bool firewalled) {
  TGnutellaSettings s = node_.Settings();
  s.bFirewalled = firewalled;
  node_.SetSettings(s);
}

std::string NapsterDecimal(uint32_t a) {
  uint32_t v = (a >> 24) | ((a >> 8) & 0xFF00u) | ((a << 8) & 0xFF0000u) | (a << 24);
  return std::to_string(v);
}

int64_t DivRoundHalfEven(int64_t a, int64_t b) {
  if (a < 0 || b <= 0) return 0;  // counts and sizes only
  int64_t q = a / b, r = a % b;
  if (r > b - r || (r == b - r && (q & 1))) ++q;
  return q;
}

std::vector<std::string> SplitBodyLines(std::string_view body, std::size_t maxLines) {
  std::vector<std::string> lines;
  std::size_t start = 0, i = 0;
  while (i <= body.size() && lines.size() < maxLines) {
    if (i == body.size() || body[i] == '\r' || body[i] == '\n') {
      if (i > start) lines.emplace_back(body.substr(start, i - start));
      if (i < body.size() && body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
      start = i + 1;
    }
    ++i;
  }
  return lines;
}

std::vector<std::string> BatchLines(const std::vector<std::string>& lines) {
  std::vector<std::string> packets;
  std::string body;
  int count = 0;
  for (const std::string& line : lines) {
    if (count == kGatewayLinesPerPacket ||
        (count > 0 && body.size() + line.size() + 2 > kGatewayBytesPerPacket)) {
      packets.push_back(std::move(body));
      body.clear();
      count = 0;
    }
    body += line;
    body += "\r\n";
    ++count;
  }
  if (count > 0) packets.push_back(std::move(body));
  return packets;
}

std::string TruncateAtLine(const std::string& head, std::string_view body, std::size_t maxText) {
  if (head.size() >= maxText) return head.substr(0, maxText);
  std::string out = head;
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find('\n', pos);
    end = end == std::string_view::npos ? body.size() : end + 1;
    if (out.size() + (end - pos) > maxText) break;
    out.append(body.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

// ================================================================ search text

TGatewaySearch ParseSearchText(std::string text) {
  TGatewaySearch s;
  std::string rest = std::move(text);
  while (!plat::Trim(rest).empty()) {
    std::string word = SplitFirstWord(rest);
    if (plat::SameText(word, "FILENAME")) {
      SplitFirstWord(rest);  // CONTAINS
      std::string term = ExtractQuoted(rest);
      (s.Term1.empty() ? s.Term1 : s.Term2) = term;
    } else if (plat::SameText(word, "BITRATE")) {
      s.BitrateOp = ExtractQuoted(rest);
      s.Bitrate = DigitsToInt64(ExtractQuoted(rest));
    } else if (plat::SameText(word, "LINESPEED")) {
      s.LineSpeedOp = ExtractQuoted(rest);
      s.LineSpeed = DigitsToInt64(SplitFirstWord(rest));
    } else if (plat::SameText(word, "FREQ")) {
      s.FreqOp = ExtractQuoted(rest);
      s.Freq = DigitsToInt64(ExtractQuoted(rest));
    }
  }
  return s;
}

TGatewayCondition::TGatewayCondition(const std::string& op, int64_t requested) : requested_(requested) {
  if (plat::SameText(op, "EQUAL TO"))
    kind_ = Kind::Equal;
  else if (plat::SameText(op, "AT LEAST"))
    kind_ = Kind::AtLeast;
  else if (plat::SameText(op, "AT BEST"))
    kind_ = Kind::AtBest;
}

bool PassesCondition(const std::string& op, int64_t itemValue, int64_t requested) {
  return TGatewayCondition(op, requested).Passes(itemValue);
}

namespace {

// Whether piece (upper-cased, "?" any byte) matches upperName at pos.
bool PieceAt(std::string_view piece, std::string_view upperName, std::size_t pos) {
  if (pos + piece.size() > upperName.size()) return false;
  for (std::size_t i = 0; i < piece.size(); ++i)
    if (piece[i] != '?' && piece[i] != upperName[pos + i]) return false;
  return true;
}

// The leftmost position at or after from where piece matches; npos if none.
std::size_t FindPiece(std::string_view piece, std::string_view upperName, std::size_t from) {
  const std::size_t firstLiteral = piece.find_first_not_of('?');
  if (firstLiteral == std::string_view::npos)  // only "?": any place with room
    return from + piece.size() <= upperName.size() ? from : std::string_view::npos;
  if (piece.find('?') == std::string_view::npos) return upperName.find(piece, from);
  for (std::size_t at = from; at + piece.size() <= upperName.size(); ++at) {
    const std::size_t hit = upperName.find(piece[firstLiteral], at + firstLiteral);
    if (hit == std::string_view::npos) return std::string_view::npos;
    at = hit - firstLiteral;
    if (PieceAt(piece, upperName, at)) return at;
  }
  return std::string_view::npos;
}

// A pattern byte that matches the same name bytes under plat::FoldChar as
// under MatchWildcard's ASCII-only folding.
bool FoldsAsAscii(char c) {
  return static_cast<unsigned char>(c) < 0x80 || (plat::FoldChar(c) == c && plat::LowerChar(c) == c);
}

}  // namespace

TGatewayTerm::TGatewayTerm(std::string_view term) {
  if (term.find('*') == std::string_view::npos) {
    text_ = plat::UpperCase(term);
    return;
  }
  // A run of stars means what one star means; collapsed, the pattern is at
  // most twice as long as the characters a matching name must have.
  wildcard_ = true;
  for (char c : term) {
    if (c == '*' && !text_.empty() && text_.back() == '*') continue;
    if (c != '*') ++literals_;
    if (!FoldsAsAscii(c)) confirm_ = true;
    text_ += c;
  }
  const std::string upper = plat::UpperCase(text_);
  std::size_t start = 0;
  for (;;) {
    const std::size_t star = upper.find('*', start);
    pieces_.push_back(upper.substr(start, star == std::string::npos ? std::string::npos : star - start));
    if (star == std::string::npos) break;
    start = star + 1;
  }
}

bool TGatewayTerm::MatchesPieces(std::string_view upperName) const {
  // At least two pieces: the pattern has a star.
  const std::string& head = pieces_.front();
  const std::string& tail = pieces_.back();
  if (head.size() + tail.size() > upperName.size()) return false;
  const std::size_t tailAt = upperName.size() - tail.size();
  if (!PieceAt(head, upperName, 0) || !PieceAt(tail, upperName, tailAt)) return false;
  // The pieces between, each leftmost after the one before: taking the
  // earliest place never shuts out a match a later place would allow.
  const std::string_view middle = upperName.substr(0, tailAt);
  std::size_t pos = head.size();
  for (std::size_t i = 1; i + 1 < pieces_.size(); ++i) {
    const std::size_t at = FindPiece(pieces_[i], middle, pos);
    if (at == std::string_view::npos) return false;
    pos = at + pieces_[i].size();
  }
  return true;
}

bool TGatewayTerm::Matches(std::string_view name, std::string_view upperName) const {
  if (text_.empty()) return true;
  if (!wildcard_) return upperName.find(text_) != std::string_view::npos;
  if (name.size() < literals_ || !MatchesPieces(upperName)) return false;
  return !confirm_ || MatchWildcard(text_, name);
}

bool TGatewayTerm::Matches(std::string_view name) const {
  if (text_.empty()) return true;
  return Matches(name, plat::UpperCase(name));
}

// ================================================================ shared files

void TGatewayFileList::Clear() {
  slots_.clear();
  upper_.clear();
  index_.clear();
  removed_ = 0;
}

bool TGatewayFileList::Add(TFileItem item, int64_t& replacedSize) {
  auto it = index_.find(item.FileName);
  if (it != index_.end()) {
    TFileItem& old = slots_[it->second].item;
    replacedSize = old.Size;
    old = std::move(item);  // the same name: its upper-cased form stays
    return true;
  }
  Slot s;
  s.offset = upper_.size();
  upper_ += plat::UpperCase(item.FileName);
  s.item = std::move(item);
  index_.emplace(s.item.FileName, slots_.size());
  slots_.push_back(std::move(s));
  return false;
}

bool TGatewayFileList::Remove(const std::string& name, int64_t& size) {
  auto it = index_.find(name);
  if (it == index_.end()) return false;
  Slot& s = slots_[it->second];
  size = s.item.Size;
  s.live = false;
  index_.erase(it);
  // Removed slots are dropped once they are the greater part: each file
  // then costs the same however many come and go.
  if (++removed_ > 64 && removed_ * 2 > slots_.size()) Compact();
  return true;
}

const TFileItem* TGatewayFileList::Find(const std::string& name) const {
  auto it = index_.find(name);
  return it == index_.end() ? nullptr : &slots_[it->second].item;
}

void TGatewayFileList::Compact() {
  std::vector<Slot> slots;
  std::string upper;
  slots.reserve(index_.size());
  for (Slot& s : slots_) {
    if (!s.live) continue;
    const std::size_t offset = upper.size();
    upper.append(upper_, s.offset, s.item.FileName.size());
    s.offset = offset;
    index_[s.item.FileName] = slots.size();
    slots.push_back(std::move(s));
  }
  slots_ = std::move(slots);
  upper_ = std::move(upper);
  removed_ = 0;
}

// ================================================================ core

TGatewayCore::TGatewayCore(TGatewaySettings settings, std::unique_ptr<TGatewayDuskwire> duskwire,
                           std::unique_ptr<TGatewayGnutella> gnutella)
    : settings_(std::move(settings)), duskwire_(std::move(duskwire)), gnutella_(std::move(gnutella)) {
  if (!duskwire_) {
    auto r = std::make_unique<TGatewayRouter>();
    if (!settings_.DuskwireAddress.empty()) r->Router().SetBindAddress(settings_.DuskwireAddress);
    duskwire_ = std::move(r);
  }
  if (!gnutella_) {
    auto g = std::make_unique<TGatewayGnutellaNode>();
    if (!settings_.GnutellaAddress.empty()) g->Node().SetBindAddress(settings_.GnutellaAddress);
    gnutella_ = std::move(g);
  }
}

TGatewayCore::~TGatewayCore() = default;

int64_t TGatewayCore::NowMs() const { return plat::MonotonicMs(); }

std::string TGatewayCore::Num(int64_t v) { return plat::IntToStr(v); }

std::string TGatewayCore::Quoted(const std::string& s) { return "\"" + s + "\""; }

const TFileItem* TGatewayCore::FindFile(const std::string& name) const { return files_.Find(name); }

bool TGatewayCore::SendToClient(uint16_t type, std::string_view text) {
  std::string frame;
  if (!EncodeNapsterMessage(type, text, kGatewayMaxText, frame)) return false;
  WriteClient(frame);
  return true;
}

void TGatewayCore::ResetConnection() {
  files_.Clear();
  pending_.clear();
  requestLines_.clear();
  responseLines_.clear();
  fileCount_ = 0;
  totalSize_ = 0;
  downloads_ = 0;
  uploads_ = 0;
  // A new client starts clean: no login, no search, no echo of the last one.
  loggedIn_ = false;
  loginReceived_ = false;
  statsDue_ = false;
  echo_ = false;
  nick_.clear();
  searchId_.clear();
  gnutellaSearchValid_ = false;
}

void TGatewayCore::HandleClientMessage(uint16_t type, const std::string& text) {
  switch (type) {
    case 2: Login(text); break;
    case 6: SendToClient(3, kLoginEmail); break;
    case 7: SendToClient(8, ""); break;
    case 100: AddFile(text); break;
    case 102: RemoveFile(text); break;
    case 200: NewSearch(text); break;
    case 203: case 205: case 211: case 500: case 603: case 619: ClientRequest(type, text); break;
    case 608: case 620: AnswerUpload(type, text); break;
    case 218: ++downloads_; break;
    case 219: downloads_ = std::max(0, downloads_ - 1); break;
    case 220: ++uploads_; break;
    case 221: uploads_ = std::max(0, uploads_ - 1); break;
    case 703: dataPort_ = DigitsToInt64(text); break;
    case 5000: echo_ = !echo_; break;
    default: break;
  }
}

void TGatewayCore::Login(const std::string& text) {
  loginReceived_ = true;
  duskwire_->SetLocalStatistic("Hosts", 1);
  duskwire_->SetLocalStatistic("Files", 0);
  duskwire_->SetLocalStatistic("MB", 0);
  std::string rest = text;
  nick_ = SplitFirstWord(rest);
  SplitFirstWord(rest);  // the password is not used
  dataPort_ = DigitsToInt64(SplitFirstWord(rest));
  clientInfo_ = ExtractQuoted(rest);
  linkSpeed_ = DigitsToInt64(SplitFirstWord(rest));
  loginMs_ = NowMs();

  duskwire_->SetNick(nick_);
  duskwire_->SetCacheServer(settings_.CacheHost, settings_.CachePort);
  duskwire_->SetIncomingQueueLimit(kGatewayIncomingQueueLimit);
  duskwire_->SetMessageIdMemory(kGatewayMessageIdMemory);
  duskwire_->Start(dataPort_ == 0, settings_.DuskwirePort);
  if (!settings_.GnutellaSeedHost.empty())
    gnutella_->AddSeedHost(settings_.GnutellaSeedHost, settings_.GnutellaSeedPort);
  // Always firewalled: the node only connects out and announces no address.
  gnutella_->SetFirewalled(true);
  gnutella_->Start(settings_.GnutellaPort);

  const int64_t waitMs = int64_t(settings_.LoginWait) * 1000;
  while (NowMs() - loginMs_ < waitMs && duskwire_->PeerCount() == 0 &&
         gnutella_->ConnectionCount() < kGatewayEnoughGnutellaLinks && ClientConnected()) {
    StoreHealth();  // the server window shows the links as they come
    if (!LoginPause(settings_.LoginStepMs)) break;
  }
  UpdateOwnAddress();
  if (duskwire_->PeerCount() == 0 && gnutella_->ConnectionCount() == 0) {
    SendToClient(0, "");
    CloseClient();
    return;
  }
  loggedIn_ = true;
  statsDue_ = true;
  SendToClient(3, kLoginEmail);
  SendToClient(621, duskwire_->ServerMessage());
}

void TGatewayCore::AddFile(const std::string& text) {
  std::string rest = text;
  TFileItem item;
  item.FileName = ExtractQuoted(rest);
  if (item.FileName.empty()) return;
  SplitFirstWord(rest);  // md5
  item.Size = DigitsToInt64(SplitFirstWord(rest));
  item.Bitrate = DigitsToInt64(SplitFirstWord(rest));
  item.Frequency = DigitsToInt64(SplitFirstWord(rest));
  item.Seconds = DigitsToInt64(SplitFirstWord(rest));
  const int64_t size = item.Size;
  int64_t replacedSize = 0;
  if (files_.Add(std::move(item), replacedSize)) {
    // Announced again: the new values replace the old in place.
    totalSize_ = std::max<int64_t>(0, totalSize_ - replacedSize) + size;
    return;
  }
  ++fileCount_;
  totalSize_ += size;
}

void TGatewayCore::RemoveFile(const std::string& text) {
  int64_t size = 0;
  if (!files_.Remove(text, size)) return;
  fileCount_ = std::max<int64_t>(0, fileCount_ - 1);
  totalSize_ = std::max<int64_t>(0, totalSize_ - size);
}

void TGatewayCore::NewSearch(const std::string& text) {
  resultCount_ = 0;
  lastResultMs_ = NowMs();
  searchId_ = CreateUniqueID();
  resultLimit_ = kGatewayResultLimit;
  requestLines_.push_back((dataPort_ != 0 ? "200 " : "900 ") + text);
  TGatewaySearch s = ParseSearchText(text);
  nonMp3Filter_ = s.Freq != 16000;
  gnutellaSearch_ = gnutella_->Search(plat::Trim(s.Term1 + " " + s.Term2));
  gnutellaSearchValid_ = true;
  SendRequests(searchId_, "");
}

void TGatewayCore::ClientRequest(uint16_t type, const std::string& text) {
  std::string rest = text;
  std::string nick = SplitFirstWord(rest);
  const char* seed = "DOWNLOAD";
  std::string to = nick;
  switch (type) {
    case 203:
      requestLines_.push_back("203 " + text);
      break;
    case 205:
      seed = "PRIVMSG";
      requestLines_.push_back("205 " + text);
      break;
    case 211:
      seed = "BROWSE";
      to = plat::Trim(text);
      requestLines_.push_back("211 " + text);
      break;
    case 603:
      seed = "WHOIS";
      to = plat::Trim(text);
      requestLines_.push_back("603 " + text);
      break;
    case 500: {
      std::string file = ExtractQuoted(rest);
      requestLines_.push_back("501 " + nick_ + " " + ownAddress_ + " " + Num(dataPort_) + " " + Quoted(file) +
                              " " + kGatewayTransferMD5 + " " + Num(linkSpeed_));
      break;
    }
    case 619: {
      std::string file = ExtractQuoted(rest);
      std::string limit = SplitFirstWord(rest);
      // The client refused: its pending entry, if any, is answered.
      int i = FindPending(nick + " " + Quoted(file));
      if (i >= 0) pending_.erase(pending_.begin() + i);
      const TFileItem* f = FindFile(file);
      if (!f) return;
      seed = "QUEUE_CHECK";
      requestLines_.push_back("620 " + nick_ + " " + Quoted(file) + " " + Num(f->Size) + " " +
                              Num(DigitsToInt64(limit)));
      break;
    }
    default:
      return;
  }
  SendRequests(seed, to);
}

int TGatewayCore::FindPending(const std::string& text) const {
  for (std::size_t i = 0; i < pending_.size(); ++i)
    if (pending_[i].text == text) return int(i);
  return -1;
}

void TGatewayCore::AnswerUpload(uint16_t type, const std::string& text) {
  std::string rest = text;
  std::string nick = SplitFirstWord(rest);
  std::string file = ExtractQuoted(rest);
  int i = FindPending(type == 608 ? text : nick + " " + Quoted(file));
  if (i < 0) return;
  std::string path = pending_[size_t(i)].path;
  pending_.erase(pending_.begin() + i);
  if (type == 608) {
    responseLines_.push_back("204 " + nick_ + " " + ownAddress_ + " " + Num(dataPort_) + " " + Quoted(file) +
                             " " + kGatewayTransferMD5 + " " + Num(linkSpeed_));
  } else {
    const TFileItem* f = FindFile(file);
    if (!f) return;
    responseLines_.push_back("620 " + nick_ + " " + Quoted(file) + " " + Num(f->Size));
  }
  SendResponses(path, nick);
}

void TGatewayCore::SendRequests(const std::string& seed, const std::string& to) {
  for (const std::string& line : requestLines_)
    duskwire_->SendRequest(seed, to, false, kNapsterRequestType, line);
  requestLines_.clear();
}

void TGatewayCore::SendResponses(const std::string& routingInfo, const std::string& to) {
  for (const std::string& body : BatchLines(responseLines_)) duskwire_->SendResponse(routingInfo, to, body);
  responseLines_.clear();
}

// ================================================================ thread

TMainThread::TMainThread(TGatewaySettings settings, std::unique_ptr<TGatewayDuskwire> duskwire,
                         std::unique_ptr<TGatewayGnutella> gnutella)
    : plat::Thread(true), TGatewayCore(std::move(settings), std::move(duskwire), std::move(gnutella)) {}

TMainThread::~TMainThread() { Stop(); }

void TMainThread::Start() { Resume(); }

void TMainThread::Stop() {
  stopping_ = true;
  stopEvent_.Set();
  if (Suspended()) return;
  // Closing wakes the accept, the reads and the writes; it is repeated
  // until the thread has ended, so no socket reopened meanwhile is missed.
  while (!Finished()) {
    listener_.Close();
    client_.Close();
    if (plat::MainLoop::IsMainThread()) plat::MainLoop::ProcessMessages();
    plat::Thread::Sleep(5);
  }
  WaitFor();
}

void TMainThread::Execute() {
  try {
    listener_.Listen(Settings().ClientAddress, Settings().ClientPort, true);
    listeningPort_ = listener_.LocalPort();
  } catch (const ESocket&) {
  }
  while (listeningPort_ > 0 && !stopping_) {
    try {
      client_.Accept(listener_);
    } catch (const ESocket&) {
      if (stopping_ || !listener_.Connected()) break;
      stopEvent_.Wait(Settings().IdleSleepMs);  // a failed accept: try again
      continue;
    }
    ResetConnection();
    ++clientsServed_;
    Serve();
    client_.Close();
    StopNetworks();
    if (!stopping_) stopEvent_.Wait(Settings().BetweenClientsMs);
  }
  listener_.Close();
  client_.Close();
  listeningPort_ = 0;
  if (OnEnded) OnEnded();
}

void TMainThread::Serve() {
  // Until its login has come, the client has the login wait for it, also
  // for each frame it has begun.
  const int loginWait = std::max(1, Settings().LoginWait);
  const int64_t loginDeadline = plat::MonotonicMs() + int64_t(loginWait) * 1000;
  client_.SetTimeout(loginWait);
  bool waitingForLogin = true;
  while (!stopping_ && client_.Connected()) {
    try {
      if (!ReadFrames()) break;
      if (waitingForLogin && LoginReceived()) {
        waitingForLogin = false;
        client_.SetTimeout(0);
      }
      if (waitingForLogin && plat::MonotonicMs() >= loginDeadline) break;
      bool busy = false;
      if (LoggedIn()) {
        busy = PumpPass();
        PeerCheck();
        PeriodicWork();
      }
      if (!busy && client_.Connected()) {
        try {
          client_.WaitReadable(Settings().IdleSleepMs);
        } catch (const ESocket& e) {
          if (e.Code != kNetTimeout) break;
        }
      }
    } catch (const std::exception&) {
      break;  // nothing a client or a peer sends may end the gateway
    }
  }
  client_.Close();
}

bool TMainThread::ReadFrames() {
  try {
    while (!stopping_ && client_.Connected()) {
      if (client_.BytesAvailable() <= 0) return true;
      unsigned char header[2];
      client_.ReadExact(header, 2);
      std::size_t length = NapsterTextLength(header);
      if (length > kGatewayMaxText) {
        client_.Close();
        return false;
      }
      std::string body(length + 2, '\0');
      client_.ReadExact(body.data(), int(body.size()));
      NapsterMessage m = DecodeNapsterBody(reinterpret_cast<const unsigned char*>(body.data()), body.size());
      HandleClientMessage(m.Type, m.Text);
    }
  } catch (const ESocket&) {
  }
  client_.Close();
  return false;
}

void TMainThread::WriteClient(const std::string& frame) {
  try {
    client_.WriteAll(frame);
  } catch (const ESocket&) {
    client_.Close();
  }
}

bool TMainThread::ClientConnected() {
  if (!client_.Connected()) return false;
  try {
    client_.BytesAvailable();  // notices a client that has gone
    return true;
  } catch (const ESocket&) {
    client_.Close();
    return false;
  }
}

void TMainThread::CloseClient() { client_.Close(); }

bool TMainThread::LoginPause(int ms) { return !stopEvent_.Wait(ms) && !stopping_; }

void TMainThread::HealthStored(int gnutella, int duskwire) {
  if (OnHealth) OnHealth(gnutella, duskwire);
}

// ================================================================ unit level

namespace {

std::mutex gGatewayLock;
std::unique_ptr<TMainThread> gGateway;
std::atomic<bool> gRunning{false};
std::atomic<int> gGnutellaHealth{0};
std::atomic<int> gDuskwireHealth{0};
std::atomic<int> gGnutellaPeers{0};
std::atomic<int> gDuskwirePeers{0};

}  // namespace

bool StartGateway(const TGatewaySettings& settings) {
  std::lock_guard<std::mutex> g(gGatewayLock);
  if (gRunning.exchange(true)) return false;
  gGateway.reset();  // one that ended by itself
  gGateway = std::make_unique<TMainThread>(settings);
  // On the gateway thread, which owns the networks it counts.
  gGateway->OnHealth = [gateway = gGateway.get()](int gnutella, int duskwire) {
    gGnutellaHealth = gnutella;
    gDuskwireHealth = duskwire;
    gGnutellaPeers = gateway->Gnutella().ConnectionCount();
    gDuskwirePeers = gateway->Duskwire().PeerCount();
  };
  gGateway->OnEnded = [] { gRunning = false; };
  gGateway->Start();
  return true;
}

bool StartGateway(int clientPort, int loginWait, int duskwirePort, const std::string& cacheHost, int cachePort) {
  TGatewaySettings s;
  s.ClientPort = clientPort;
  s.LoginWait = loginWait;
  s.DuskwirePort = duskwirePort;
  s.CacheHost = cacheHost;
  s.CachePort = cachePort;
  return StartGateway(s);
}

void StopGateway() {
  std::lock_guard<std::mutex> g(gGatewayLock);
  if (gGateway) {
    gGateway->Stop();
    gGateway.reset();
  }
  gRunning = false;
}

bool GatewayRunning() { return gRunning; }

int GatewayListeningPort() {
  std::lock_guard<std::mutex> g(gGatewayLock);
  return gGateway ? gGateway->ListeningPort() : 0;
}

int GatewayGnutellaHealth() { return gGnutellaHealth; }

int GatewayDuskwireHealth() { return gDuskwireHealth; }

int GatewayGnutellaPeers() { return gGnutellaPeers; }

int GatewayDuskwirePeers() { return gDuskwirePeers; }

std::string GatewayAdvertisingURL() {
  std::lock_guard<std::mutex> g(gGatewayLock);
  return gGateway ? gGateway->Duskwire().AdvertisingURL() : std::string();
}
