// The local gateway's network side: one pump pass over Duskwire and
// Gnutella, their results and answers handed to the client, the requests
// of other nodes answered from the client's files (searches, browses,
// whois, uploads), and the periodic work (own address, statistics,
// health, the end of a silent search).
#include "peer/gateway/gateway.h"

#include <algorithm>

#include "core/global_functions.h"
#include "core/globals.h"
#include "platform/net.h"
#include "platform/text.h"

namespace {

// A search text longer than a client frame can carry comes from no client;
// it is not answered (cutting it word by word would cost its square).
constexpr std::size_t kMaxRemoteSearchText = kGatewayMaxText;

int Clamp100(int v) { return std::clamp(v, 0, 100); }

// A name that can stand between double quotes in a result line.
bool SafeResultName(const std::string& name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    return c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
}

bool PrivateHost(const std::string& host) {
  return MatchWildcard("10.*", host) || MatchWildcard("0.*", host) || MatchWildcard("192.168.*", host);
}

}  // namespace

// ---------------------------------------------------------------- networks

bool TGatewayCore::PumpPass() {
  // Every item taken is work, whether it is handed on or dropped: a pass
  // that drops one must not send the thread to sleep while more wait
  // behind it (another search's hits ahead of this one's would then drain
  // at a few a second, and the search end for silence). Still one item
  // from each source a pass, so client frames are read between them.
  bool busy = false;
  gnutella_->GetNextSearchRequest();  // the gateway answers no Gnutella query
  if (std::unique_ptr<TSearchResult> hit = gnutella_->GetNextResult()) {
    busy = true;
    TakeGnutellaResult(*hit);
  }

  TGatewayRemote m;
  std::string body;
  if (duskwire_->GetNextResponse(m.RoutingInfo, m.To, m.From, body)) {
    busy = true;
    if (echo_) Echo(m.From, false, body);
    TakeBody(body, m);
  }
  TGatewayRemote r;
  r.Request = true;
  std::string requestType;
  if (duskwire_->GetNextRequest(r.RoutingInfo, r.To, requestType, body, r.From)) {
    busy = true;
    if (plat::SameText(requestType, kNapsterRequestType)) {
      if (echo_) Echo(r.From, true, body);
      TakeBody(body, r);
    }
  }
  return busy;
}

void TGatewayCore::TakeGnutellaResult(const TSearchResult& r) {
  // Late hits of an earlier search are not this search's results.
  if (!gnutellaSearchValid_ || r.QueryGUID != gnutellaSearch_) return;
  int64_t speed = r.Speed;
  if (speed > 0) speed = DivRoundHalfEven(speed, 100);
  uint32_t address = 0;
  if (PrivateHost(r.Host) || !plat::TextToAddress(r.Host, &address)) return;
  if (nonMp3Filter_ && !MatchWildcard("*.mp3", r.FileName)) return;
  // The name goes into the result between double quotes: one holding a
  // quote or a control character would end it early and make the rest of
  // the name read as fields of the peer's choosing.
  if (!SafeResultName(r.FileName)) return;
  // The address place carries the host's real address, as the client uses
  // it (it may measure the host's round trip).
  const std::string host = NapsterDecimal(address);
  const std::string nick = kGnutellaNickPrefix + Num(r.FileIndex) + ":" + host;
  CountedResult(searchId_, Quoted(r.FileName) + " " + kGatewaySearchMD5 + " " + Num(r.Size) + " 100 100 200 " +
                               nick + " " + host + " " + Num(speed) + " " + Num(r.Port) + " 0");
}

void TGatewayCore::TakeBody(const std::string& body, const TGatewayRemote& m) {
  // A gateway sends one line per request and at most a packet's worth per
  // response; more is not acted on. Every line of a request may cost a
  // search or a browse on every node it reaches: a request's first line
  // alone is taken, so that one flooded request asks each node once.
  const std::vector<std::string> lines =
      SplitBodyLines(body, m.Request ? 1 : std::size_t(kGatewayLinesPerPacket));
  for (const std::string& line : lines) {
    if (!ClientConnected()) return;
    RemoteDispatch(line, m);
  }
}

void TGatewayCore::Echo(const std::string& from, bool request, const std::string& body) {
  std::string head = "STATS " + from + (request ? " REQUEST>" : " RESPONSE>");
  SendToClient(205, TruncateAtLine(head, body, kGatewayMaxText));
  SendToClient(205, "Connections (" + Num(duskwire_->IncomingPeerCount()) + ") OUT: (" +
                        Num(duskwire_->OutgoingPeerCount()) + ")");
}

bool TGatewayCore::ToMe(const TGatewayRemote& m) const { return !nick_.empty() && m.To == nick_; }

void TGatewayCore::RemoteDispatch(const std::string& line, const TGatewayRemote& m) {
  std::string rest = line;
  int64_t type = DigitsToInt64(SplitFirstWord(rest));
  // Searches, browses, whois and 214 are questions: they come in requests.
  // One in a response has no path to answer along, and is not run.
  switch (type) {
    case 200:
      if (m.Request) AnswerSearch(rest, m);
      break;
    case 900:
      if (m.Request && dataPort_ >= 1) AnswerSearch(rest, m);
      break;
    case 201:
      CountedResult(m.RoutingInfo, rest);
      break;
    case 203:
      if (ToMe(m)) RemoteUploadRequest(rest, m);
      break;
    case 204: case 212: case 213: case 501: case 604: case 607: case 620:
      // A line that travels in a request reaches every node when its To is
      // empty: only one addressed to us may make the client act.
      if (!m.Request || ToMe(m)) SendToClient(uint16_t(type), rest);
      break;
    case 205:
      if (ToMe(m)) {
        SplitFirstWord(rest);
        SendToClient(205, m.From + " " + rest);
      }
      break;
    case 211:
      if (m.Request && ToMe(m)) AnswerBrowse(m);
      break;
    case 214:
      if (!m.Request) break;
      responseLines_.push_back("215 " + Num(fileCount_) + " " + Num(DivRoundHalfEven(totalSize_, 1000000)));
      SendResponses(m.RoutingInfo, m.From);
      break;
    case 603:
      if (m.Request && ToMe(m)) AnswerWhois(m);
      break;
    default:
      break;
  }
}

void TGatewayCore::CountedResult(const std::string& routingInfo, const std::string& text) {
  if (searchId_.empty() || routingInfo != searchId_) return;
  lastResultMs_ = NowMs();
  if (resultCount_ < resultLimit_) {
    ++resultCount_;
    SendToClient(201, text);
  } else {
    searchId_.clear();
    SendToClient(202, "");
  }
}

void TGatewayCore::RemoteUploadRequest(const std::string& text, const TGatewayRemote& m) {
  std::string rest = text;
  SplitFirstWord(rest);  // our own nick
  Pending p{m.From + " " + Quoted(ExtractQuoted(rest)), m.RoutingInfo};
  SendToClient(607, p.text);
  pending_.push_back(std::move(p));
  while (int(pending_.size()) > kGatewayMaxPending) pending_.pop_front();
}

void TGatewayCore::AnswerSearch(const std::string& text, const TGatewayRemote& m) {
  lastResultMs_ = NowMs();
  if (text.size() > kMaxRemoteSearchText) return;
  TGatewaySearch s = ParseSearchText(text);
  if (!s.LineSpeedOp.empty() && !PassesCondition(s.LineSpeedOp, linkSpeed_, s.LineSpeed)) return;
  const std::string t1 = plat::Trim(s.Term1), t2 = plat::Trim(s.Term2);
  if (t1.empty() && t2.empty()) return;
  const std::size_t limit = 3 * (t1.size() + t2.size());
  const TGatewayTerm term1(t1), term2(t2);
  const TGatewayCondition bitrate(s.BitrateOp, s.Bitrate), freq(s.FreqOp, s.Freq);
  const std::string tail = " " + nick_ + " " + ownAddress_ + " " + Num(linkSpeed_) + " " + Num(dataPort_) + " " +
                           Num(duskwire_->Traffic());
  files_.ForEach([&](const TFileItem& f, std::string_view upper) {
    if (responseLines_.size() >= limit) return false;
    // The name, where most files fail, first.
    if (term1.Matches(f.FileName, upper) && term2.Matches(f.FileName, upper) && bitrate.Passes(f.Bitrate) &&
        freq.Passes(f.Frequency))
      responseLines_.push_back("201 " + Quoted(f.FileName) + " " + kGatewaySearchMD5 + " " + Num(f.Size) + " " +
                               Num(f.Bitrate) + " " + Num(f.Frequency) + " " + Num(f.Seconds) + tail);
    return true;
  });
  SendResponses(m.RoutingInfo, m.From);
}

void TGatewayCore::AnswerBrowse(const TGatewayRemote& m) {
  files_.ForEach([&](const TFileItem& f, std::string_view) {
    responseLines_.push_back("212 " + nick_ + " " + Quoted(f.FileName) + " " + kGatewayTransferMD5 + " " +
                             Num(f.Size) + " " + Num(f.Bitrate) + " " + Num(f.Frequency) + " " + Num(f.Seconds));
    return true;
  });
  responseLines_.push_back("213 " + nick_);
  SendResponses(m.RoutingInfo, m.From);
}

void TGatewayCore::AnswerWhois(const TGatewayRemote& m) {
  int64_t online = std::max<int64_t>(0, (NowMs() - loginMs_) / 1000);
  responseLines_.push_back("604 " + nick_ + " " + Quoted(ownAddress_) + " " + Num(online) + " \"\" " +
                           Quoted(std::to_string(duskwire_->IPNumber()) + ":" + duskwire_->IPHost()) + " " +
                           Num(fileCount_) + " " + Num(downloads_) + " " + Num(uploads_) + " " + Num(linkSpeed_) +
                           " " + Quoted(clientInfo_));
  SendResponses(m.RoutingInfo, m.From);
}

// ---------------------------------------------------------------- periodic

void TGatewayCore::UpdateOwnAddress() { ownAddress_ = NapsterDecimal(duskwire_->IPNumber()); }

void TGatewayCore::StoreHealth() {
  gnutellaHealth_ = Clamp100(gnutella_->HealthPercent());
  duskwireHealth_ = Clamp100(duskwire_->HealthPercent());
  HealthStored(gnutellaHealth_, duskwireHealth_);
}

void TGatewayCore::PeerCheck() {
  if (duskwire_->PeerCount() == 0 && gnutella_->ConnectionCount() == 0) CloseClient();
}

void TGatewayCore::PeriodicWork() {
  UpdateOwnAddress();
  const int64_t now = NowMs();
  if (loggedIn_ && (statsDue_ || now - lastStatsMs_ > settings_.StatsPeriodMs)) {
    statsDue_ = false;
    lastStatsMs_ = now;
    int64_t mb = duskwire_->NetworkStatistic("MB");
    SendToClient(214, Num(duskwire_->NetworkStatistic("Hosts")) + " " + Num(duskwire_->NetworkStatistic("Files")) +
                          " " + Num(mb > 0 ? DivRoundHalfEven(mb, 1000) : 0));
    duskwire_->SetLocalStatistic("Hosts", 1);
    duskwire_->SetLocalStatistic("Files", fileCount_);
    duskwire_->SetLocalStatistic("MB", DivRoundHalfEven(totalSize_, 1000000));
  }
  StoreHealth();
  if (!searchId_.empty() && now - lastResultMs_ > settings_.SearchSilenceMs) {
    searchId_.clear();
    SendToClient(202, "");
  }
}

void TGatewayCore::StopNetworks() {
  gnutella_->Stop();
  duskwire_->Stop();
  loggedIn_ = false;
  // Stopped networks have no health.
  gnutellaHealth_ = 0;
  duskwireHealth_ = 0;
  HealthStored(0, 0);
}
