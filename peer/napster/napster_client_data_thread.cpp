#include "peer/napster/napster_client_data_thread.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "peer/napster/napster_helpers.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/text.h"
#include "platform/thread.h"

// ----------------------------------------------------------------- pieces

namespace {

const std::array<unsigned char, 256>& ClassTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; c++) {
      if (c >= '0' && c <= '9')
        t[size_t(c)] = 0;
      else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ')
        t[size_t(c)] = 1;
      else
        t[size_t(c)] = 2;
    }
    return t;
  }();
  return table;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr int kMaxDigits = 19;

}  // namespace

int PeerReplyClass(unsigned char c) { return ClassTable()[c]; }

bool ParseTransferNumber(std::string_view digits, int64_t& value) {
  if (digits.empty() || digits.size() > size_t(kMaxDigits)) return false;
  int64_t v = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
    if (v > kMaxTransferSize) return false;
  }
  value = v;
  return true;
}

TPeerReply ReadPeerReply(std::string_view block, bool isMp3) {
  TPeerReply r;
  if (block.empty()) return r;
  if (IsDigit(block[0])) {
    r.IsNumber = true;
    size_t n = 0;
    while (n < block.size() && PeerReplyClass((unsigned char)block[n]) == 0) n++;
    r.Valid = ParseTransferNumber(block.substr(0, n), r.Number);
    r.Consumed = n;
    if (n == block.size()) {
      r.DigitsOpen = true;
    } else if (!isMp3) {
      r.Consumed = n + 1;
      r.MarkConsumed = true;
    }
    return r;
  }
  size_t n = 0;
  while (n < block.size() && PeerReplyClass((unsigned char)block[n]) != 2) n++;
  r.Text = std::string(block.substr(0, n));
  r.Consumed = n;
  return r;
}

int SizeDigitsOfRun(std::string_view run, int64_t offset, int64_t announced) {
  // The readings: a size without leading zeros, not below the offset, that
  // leaves no more digits to the data than the data can hold.
  std::vector<int> fits;
  int64_t size = 0;
  for (size_t n = 1; n <= run.size() && n <= size_t(kMaxDigits); n++) {
    size = size * 10 + (run[n - 1] - '0');
    if (size > kMaxTransferSize) break;
    if (n > 1 && run[0] == '0') break;
    if (size < offset || int64_t(run.size() - n) > size - offset) continue;
    if (announced > 0 && size == announced) return int(n);
    fits.push_back(int(n));
  }
  if (fits.size() == 1) return fits[0];
  // None fits: the whole run, which the caller refuses as it stands.
  if (fits.empty() || offset == 0) return int(run.size());
  return -1;
}

TPeerReply ReadPeerReply(std::string_view block, bool isMp3, int64_t offset, int64_t announced,
                         const std::function<bool(char&)>& nextByte, std::string& leftover) {
  TPeerReply r = ReadPeerReply(block, isMp3);
  leftover.clear();
  if (!r.IsNumber) {
    leftover = std::string(block.substr(r.Consumed));
    return r;
  }
  // The run of digits, read on past the block when it reaches its end (a
  // size split over several segments) up to the first other byte: a non-
  // MP3 file's mark, or an MP3 file's first data byte.
  std::string run;
  std::string after;  // the data after the run
  size_t n = 0;
  while (n < block.size() && IsDigit(block[n])) n++;
  run = std::string(block.substr(0, n));
  if (r.DigitsOpen) {
    char c = 0;
    while (run.size() <= size_t(kMaxDigits) && nextByte(c)) {
      if (IsDigit(c)) {
        run += c;
        continue;
      }
      if (isMp3) after = std::string(1, c);
      else r.MarkConsumed = true;
      break;
    }
    r.DigitsOpen = false;
    r.Consumed = block.size();
  } else {
    after = std::string(block.substr(r.Consumed));
  }
  size_t digits = run.size();
  if (isMp3) {
    const int fit = SizeDigitsOfRun(run, offset, announced);
    if (fit < 0) {
      r.Unclear = true;
      r.Valid = false;
      return r;
    }
    digits = size_t(fit);
  }
  r.Valid = ParseTransferNumber(std::string_view(run).substr(0, digits), r.Number);
  leftover = run.substr(digits) + after;
  return r;
}

TPeerRequest ParsePeerRequest(std::string_view block) {
  TPeerRequest r;
  std::string rest(block);
  r.Nick = CutFirstWord(rest);
  r.FileName = CutFirstQuoted(rest);
  // Only digits make an offset: a sign, other text or nothing at all
  // refuses the request.
  std::string number = plat::Trim(CutFirstWord(rest));
  r.Valid = ParseTransferNumber(number, r.Number);
  if (!r.Valid) r.Number = 0;
  return r;
}

namespace {

// How far the number that starts at `at` has come.
TRequestState NumberState(std::string_view block, size_t at) {
  if (at == block.size()) return TRequestState::kPartial;
  if (!IsDigit(block[at])) return TRequestState::kWhole;
  // A number that begins with 0 is 0 (the offset of most requests): no
  // digit follows it.
  if (block[at] == '0') return TRequestState::kWhole;
  const size_t start = at;
  while (at < block.size() && IsDigit(block[at])) at++;
  // Longer than any size: no more of it is needed to refuse it.
  if (at - start > size_t(kMaxDigits)) return TRequestState::kWhole;
  return at == block.size() ? TRequestState::kNumberOpen : TRequestState::kWhole;
}

}  // namespace

TRequestState PeerRequestState(std::string_view block) {
  const size_t open = block.find('"');
  const size_t close = open == std::string_view::npos ? open : block.find('"', open + 1);
  if (close == std::string_view::npos) return TRequestState::kPartial;
  size_t at = close + 1;
  while (at < block.size() && block[at] == ' ') at++;
  return NumberState(block, at);
}

TRequestState PushReplyState(std::string_view block) { return NumberState(block, 0); }

int HttpStatusCode(std::string_view statusLine) {
  size_t first = statusLine.find(' ');
  if (first == std::string_view::npos) return 0;
  size_t second = statusLine.find(' ', first + 1);
  std::string_view code = statusLine.substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                                         : second - first - 1);
  int64_t v = 0;
  if (code.size() > 3 || !ParseTransferNumber(code, v)) return 0;
  return int(v);
}

void THttpDownloadHead::SetStatusLine(std::string_view line) {
  Status = HttpStatusCode(line);
  KeepAlive = plat::UpperAscii(plat::Trim(line.substr(0, line.find(' ')))) == "HTTP/1.1";
}

bool THttpDownloadHead::AddHeader(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string name = plat::UpperAscii(plat::Trim(line.substr(0, colon)));
  std::string value = plat::Trim(line.substr(colon + 1));
  if (name == "CONTENT-LENGTH") {
    HasLength = true;
    if (!ParseTransferNumber(value, ContentLength)) Valid = false;
  } else if (name == "CONNECTION") {
    const std::string v = plat::UpperAscii(value);
    if (v.find("CLOSE") != std::string::npos) KeepAlive = false;
    else if (v.find("KEEP-ALIVE") != std::string::npos) KeepAlive = true;
  } else if (name == "CONTENT-RANGE") {
    // bytes START-END/TOTAL (TOTAL may be "*"), or bytes */TOTAL
    HasRange = true;
    std::string v = value;
    if (plat::UpperAscii(v.substr(0, 5)) == "BYTES") v = plat::Trim(v.substr(5));
    const size_t slash = v.find('/');
    const std::string span = plat::Trim(v.substr(0, slash));
    const std::string total = slash == std::string::npos ? std::string("*") : plat::Trim(v.substr(slash + 1));
    if (total != "*" && !ParseTransferNumber(total, RangeTotal)) Valid = false;
    if (span == "*") {
      RangeUnsatisfied = true;
      return true;
    }
    const size_t dash = span.find('-');
    if (dash == std::string::npos || !ParseTransferNumber(plat::Trim(span.substr(0, dash)), RangeStart) ||
        !ParseTransferNumber(plat::Trim(span.substr(dash + 1)), RangeEnd) || RangeEnd < RangeStart ||
        (RangeTotal >= 0 && RangeEnd >= RangeTotal))
      Valid = false;
  }
  return true;
}

THttpDownloadPlan PlanHttpDownload(const THttpDownloadHead& head, int64_t offset) {
  THttpDownloadPlan p;
  p.What = THttpDownloadPlan::kBad;
  if (head.Status == 404) {
    p.What = THttpDownloadPlan::kNotFound;
    return p;
  }
  if (head.Status == 416) {
    // Nothing from the offset on: the local file is whole when the host's
    // file is exactly as long; a longer local file is no copy of it.
    if (head.Valid && head.RangeUnsatisfied && head.RangeTotal == offset) {
      p.Start = p.PieceEnd = p.Target = offset;
      p.What = THttpDownloadPlan::kReceive;
    }
    return p;
  }
  if (head.Status != 200 && head.Status != 206) {
    p.What = THttpDownloadPlan::kQueued;
    return p;
  }
  // Without a length there is no telling when the answer is whole.
  if (!head.Valid || !head.HasLength) return p;
  if (head.Status == 206) {
    // Only a part that starts where the local file ends can be appended,
    // and it must bring something.
    if (!head.HasRange || head.RangeUnsatisfied || head.RangeStart != offset || head.ContentLength <= 0 ||
        head.RangeEnd + 1 != offset + head.ContentLength)
      return p;
    p.Start = offset;
    p.PieceEnd = offset + head.ContentLength;
    p.Target = head.RangeTotal >= 0 ? head.RangeTotal : p.PieceEnd;
  } else {
    // The whole file, whatever was asked for: start over - unless the
    // local file is longer than the host's, which makes it another file.
    if (head.ContentLength < offset) return p;
    p.Truncate = offset > 0;
    p.Start = 0;
    p.PieceEnd = p.Target = head.ContentLength;
  }
  if (p.Target > kMaxTransferSize) return p;
  p.What = THttpDownloadPlan::kReceive;
  return p;
}

int TTransferPacer::PieceSize() const {
  if (Limit <= 0) return kPiece;
  return int(std::clamp<int64_t>(Limit / kPiecesPerSecond, 1, kPiece));
}

void TTransferPacer::Refill() {
  const int64_t now = Now ? Now() : 0;
  const int64_t cap = int64_t(kAllowancePieces) * PieceSize() * 1000;
  if (!started_) {
    // The first piece goes at once.
    started_ = true;
    allowance_ = int64_t(PieceSize()) * 1000;
  } else if (now > last_) {
    allowance_ = std::min(cap, allowance_ + (now - last_) * Limit);
  }
  last_ = now;
}

int TTransferPacer::NextPiece(int64_t remaining) {
  const int piece = int(std::max<int64_t>(0, std::min<int64_t>(PieceSize(), remaining)));
  if (Limit <= 0 || piece == 0) return piece;
  Refill();
  const int64_t need = int64_t(piece) * 1000;
  while (allowance_ < need) {
    // Until the piece is allowed (rounded up to whole milliseconds).
    const int64_t ms = (need - allowance_ + Limit - 1) / Limit;
    if (Sleep) Sleep(int(std::min<int64_t>(ms, 1000)));
    const int64_t before = allowance_;
    Refill();
    if (allowance_ == before && !Sleep) break;  // no time passes: never wait for ever
  }
  return piece;
}

void TTransferPacer::Moved(int64_t bytes) {
  if (Limit > 0 && bytes > 0) allowance_ -= bytes * 1000;
}

TTransferStatistics MakeTransferStatistics(int64_t fileSize, int64_t position, int64_t rate) {
  TTransferStatistics s;
  s.FileSize = fileSize;
  s.Position = position;
  s.Rate = rate;
  if (fileSize > 0 && position > 0) s.Percent = int((position * 200 + fileSize) / (2 * fileSize));
  s.TimeLeft = TimeLeftText(fileSize - position, rate);
  return s;
}

// ----------------------------------------------------------------- thread

TNapsterDataThread::TNapsterDataThread() = default;
TNapsterDataThread::~TNapsterDataThread() = default;

template <class F>
void TNapsterDataThread::Call(const F& fn) {
  Synchronize(fn);
}

void TNapsterDataThread::ServeConnection() {
  startMs_ = plat::MonotonicMs();
  lastReportMs_ = startMs_ - 2000;  // the first report is due at once
  // Small protocol pieces ("GET", the greeting, the mark byte) go out at once.
  plat::SetNoDelay(Socket()->Handle(), true);
  const std::string given = Socket()->GetValue("KIND");
  const std::string kind = plat::UpperAscii(plat::Trim(given));
  try {
    if (given.empty()) {
      Incoming();
    } else if (kind == "DOWNLOAD") {
      ownTransfer_ = true;
      OutgoingGet();
    } else if (kind == "UPLOAD") {
      ownTransfer_ = true;
      OutgoingSend();
    } else if (kind == "DOWNLOAD_GNUTELLA") {
      ownTransfer_ = true;
      GnutellaDownload();
    }
  } catch (const EEasySocketClose&) {
    // The peer closed the connection before the transfer came to an end
    // of its own (no greeting, no answer to the request, half an answer):
    // without this report the transfer would end without a word of why.
    // A connection this side closed (a stop, a time-out) says nothing.
    if (ownTransfer_ && !outcomeReported_ && Socket()->Active()) Fail(kDataErrorOther);
    throw;
  }
}

void TNapsterDataThread::ReadParameters() {
  TEasySocket* s = Socket();
  ID = s->GetValue("ID");
  MyNick = s->GetValue("MY_NICK");
  Nick = s->GetValue("NICK");
  RequestFileName = s->GetValue("REQUEST_FILENAME");
  RemoteFileName = s->GetValue("REMOTE_FILENAME");
  LocalFileName = s->GetValue("LOCAL_FILENAME");
  ServerID = s->GetValue("SERVER_ID");
  IsMP3 = s->GetValue("IS_MP3") == "TRUE";
  if (!ParseTransferNumber(s->GetValue("FILE_SIZE"), AnnouncedSize)) AnnouncedSize = 0;
}

void TNapsterDataThread::ReceiveExactly(char* buffer, int count) {
  int got = 0;
  while (got < count) got += Socket()->Receive(buffer + got, count - got);
}

int TNapsterDataThread::ReceiveRequest(char* buffer, int count, int64_t deadline) {
  TEasySocket* s = Socket();
  if (deadline < 0) return s->Receive(buffer, count);
  // The whole request must come before the deadline, however it is split:
  // a peer that trickles bytes or sends nothing loses its connection.
  const int saved = s->TimeOut;
  const int64_t left = deadline - plat::MonotonicMs();
  s->TimeOut = int(std::max<int64_t>(1, (left + 999) / 1000));
  struct Restore {
    TEasySocket* s;
    int t;
    ~Restore() { s->TimeOut = t; }
  } restore{s, saved};
  if (left <= 0) {
    s->Close();
    throw EEasySocketWinsock(plat::kWsaETIMEDOUT, s, "Connection Timed out.");
  }
  return s->Receive(buffer, count);
}

bool TNapsterDataThread::MoreRequestBytes(int64_t deadline) {
  const int64_t since = plat::MonotonicMs();
  for (;;) {
    // The clock first: bytes sent before it moved are seen below. (The
    // bytes are read with plain receives: nothing waits read ahead.)
    const int64_t now = plat::MonotonicMs();
    if (plat::ReadableBytes(Socket()->Handle()) > 0) return true;
    if (!Socket()->Active()) return true;  // closed: the receive that follows says so
    if (now - since >= NumberPauseMs || (deadline >= 0 && now >= deadline)) return false;
    plat::Thread::Sleep(5);
  }
}

std::string TNapsterDataThread::ReceiveWhole(int blockSize, TRequestState (*state)(std::string_view),
                                             int64_t deadline) {
  std::string block(size_t(blockSize), '\0');
  size_t have = 0;
  for (;;) {
    const TRequestState now = state(std::string_view(block.data(), have));
    if (have == block.size() || now == TRequestState::kWhole) break;
    if (now == TRequestState::kNumberOpen && !MoreRequestBytes(deadline)) break;
    have += size_t(ReceiveRequest(block.data() + have, blockSize - int(have), deadline));
  }
  block.resize(have);
  return block;
}

bool TNapsterDataThread::GreetingOK() {
  char block[kReplyBlock];
  int n = Socket()->Receive(block, kReplyBlock);
  return n == 1 && block[0] == '1';
}

TPeerReply TNapsterDataThread::ReadReply() {
  std::string block(size_t(kReplyBlock), '\0');
  block.resize(size_t(Socket()->Receive(block.data(), kReplyBlock)));
  return ReadPeerReply(
      block, IsMP3, Offset, AnnouncedSize,
      [this](char& c) {
        try {
          ReceiveExactly(&c, 1);
          return true;
        } catch (const EEasySocketClose&) {
          return false;  // the size ended with the connection
        }
      },
      leftover_);
}

void TNapsterDataThread::Fail(TNapsterDataErrorType kind) {
  ErrorKind = kind;
  outcomeReported_ = true;
  if (OnError) Call([&] { OnError(*this, Socket(), kind); });
}

int64_t TNapsterDataThread::LocalLength() const {
  int64_t n = plat::FileSize(LocalFileName);
  return n < 0 ? 0 : n;
}

std::unique_ptr<plat::Stream> TNapsterDataThread::OpenForWriting() {
  try {
    std::unique_ptr<plat::Stream> file;
    if (plat::FileExists(LocalFileName)) {
      file = std::make_unique<plat::FileStream>(LocalFileName, plat::FileStream::kOpenWrite);
    } else {
      file = std::make_unique<plat::FileStream>(LocalFileName, plat::FileStream::kCreate);
    }
    file->Seek(0, plat::Stream::kEnd);
    return file;
  } catch (const plat::EStreamError& e) {
    throw EStreamCreateError(e.what());
  }
}

std::unique_ptr<plat::Stream> TNapsterDataThread::OpenForReading() {
  try {
    return std::make_unique<plat::FileStream>(LocalFileName, plat::FileStream::kOpenRead);
  } catch (const plat::EStreamError& e) {
    throw EStreamCreateError(e.what());
  }
}

void TNapsterDataThread::WriteChecked(plat::Stream& file, const char* data, int64_t count) {
  if (count <= 0) return;
  if (file.Write(data, count) != count) throw EStreamWriteError("Cannot write to \"" + LocalFileName + "\"");
  Position += count;
}

int64_t TNapsterDataThread::AverageRate() const {
  const uint64_t bytes = IsDownload ? Socket()->BytesReceived() : Socket()->BytesSent();
  const int64_t elapsed = std::max<int64_t>(1, plat::MonotonicMs() - startMs_);
  return int64_t(bytes * 1000 / uint64_t(elapsed));
}

void TNapsterDataThread::ReportStatistics(bool force) {
  const int64_t now = plat::MonotonicMs();
  if (!force && !StatisticsDue(lastReportMs_, now)) return;
  lastReportMs_ = now;
  if (!OnStatistics) return;
  TTransferStatistics stats = MakeTransferStatistics(FileSize, Position, AverageRate());
  Call([&] { OnStatistics(*this, Socket(), stats); });
}

void TNapsterDataThread::StartPacer(int64_t limit) {
  pacer_.Limit = limit;
  pacer_.Now = plat::MonotonicMs;
  pacer_.Sleep = plat::Thread::Sleep;
}

bool TNapsterDataThread::ReceiveLoop(plat::Stream& file, int64_t target) {
  std::vector<char> buffer(size_t(pacer_.PieceSize()));
  try {
    while (Socket()->Active() && Position < target) {
      // Never more than asked for: extra bytes stay unread.
      const int want = pacer_.NextPiece(target - Position);
      ReportStatistics(false);
      const int n = Socket()->Receive(buffer.data(), want);
      pacer_.Moved(n);
      WriteChecked(file, buffer.data(), n);
    }
  } catch (const EEasySocketWinsock&) {
    // The connection ended (closed, reset or timed out): the file tells
    // how far it got.
  }
  return Position >= target;
}

void TNapsterDataThread::SendLoop(plat::Stream& file) {
  std::vector<char> buffer(size_t(pacer_.PieceSize()));
  try {
    while (Socket()->Active() && Position < FileSize) {
      const int piece = pacer_.NextPiece(FileSize - Position);
      ReportStatistics(false);
      int64_t got = file.Read(buffer.data(), piece);
      if (got < piece && file.Size() > Position + std::max<int64_t>(got, 0))
        throw EStreamReadError("Cannot read from \"" + LocalFileName + "\"");
      if (got <= 0) break;  // the file shrank: only what is there goes out
      int sent = Socket()->Send(buffer.data(), int(got));
      pacer_.Moved(sent);
      Position += sent;
      if (sent < got) file.Seek(Position, plat::Stream::kBegin);
    }
  } catch (const EEasySocketWinsock&) {
    // The connection ended.
  }
}

void TNapsterDataThread::ReportQueued() {
  outcomeReported_ = true;
  if (OnRemotelyQueued)
    Call([&] { OnRemotelyQueued(*this, ServerID, Nick, RequestFileName, FileSize, kRemoteQueueLimit); });
}

void TNapsterDataThread::ReportEnd(std::unique_ptr<plat::Stream>& file) {
  outcomeReported_ = true;
  ReportStatistics(true);
  file.reset();
  // Complete only when the announced size is all there.
  const bool complete = Position == FileSize;
  const TNapsterDataOnAction& report = complete ? OnComplete : OnIncomplete;
  if (report) Call([&] { report(*this, Socket()); });
}

void TNapsterDataThread::OutgoingGet() {
  IsDownload = true;
  StartPacer(MaxDownloadBPS);
  if (!GreetingOK()) return Fail(kDataErrorInvalid);
  ReadParameters();
  Socket()->SendString("GET");
  Offset = LocalLength();
  Socket()->SendString(MyNick + " \"" + RequestFileName + "\" " + plat::IntToStr(Offset));
  TPeerReply reply = ReadReply();
  if (!reply.IsNumber) {
    if (reply.Text == "QUEUED") return ReportQueued();
    return Fail(reply.Text == "INVALID REQUEST" ? kDataErrorInvalid : kDataErrorOther);
  }
  // Better no file than one with a byte too many or too few in it.
  if (reply.Unclear) return Fail(kDataErrorUnclearSize);
  if (!reply.Valid) return Fail(kDataErrorInvalid);
  FileSize = reply.Number;
  // A local file longer than the peer's is no part of it.
  if (Offset > FileSize) return Fail(kDataErrorOther);
  std::unique_ptr<plat::Stream> file = OpenForWriting();
  Position = file->Size();
  WriteChecked(*file, leftover_.data(), std::min<int64_t>(int64_t(leftover_.size()), FileSize - Position));
  leftover_.clear();
  ReceiveLoop(*file, FileSize);
  ReportEnd(file);
}

void TNapsterDataThread::OutgoingSend() {
  IsDownload = false;
  if (!GreetingOK()) return Fail(kDataErrorInvalid);
  ReadParameters();
  if (!plat::FileExists(LocalFileName)) return Fail(kDataErrorOther);
  std::unique_ptr<plat::Stream> file = OpenForReading();
  FileSize = file->Size();
  StartPacer(FileSize <= kNeverThrottled ? 0 : MaxUploadBPS);
  Socket()->SendString("SEND");
  Socket()->SendString(MyNick + " \"" + RequestFileName + "\" " + plat::IntToStr(FileSize));
  // The offset to send from, to its last digit: sent from a part of it,
  // the file would land in the downloader's copy at the wrong place.
  TPeerReply reply = ReadPeerReply(ReceiveWhole(kReplyBlock, PushReplyState, -1), true);
  // An offset past the end of the file is no place to send from.
  if (!reply.IsNumber || !reply.Valid || reply.Number > FileSize) {
    Fail(kDataErrorInvalid);
    return ReportEnd(file);
  }
  if (!IsMP3) Socket()->SendString("A");
  Offset = reply.Number;
  Position = Offset;
  file->Seek(Offset, plat::Stream::kBegin);
  SendLoop(*file);
  ReportEnd(file);
}

void TNapsterDataThread::Incoming() {
  const int64_t deadline = plat::MonotonicMs() + int64_t(RequestTimeOut) * 1000;
  Socket()->SendString("1");
  char command[4];
  int got = 0;
  while (got < 3) got += ReceiveRequest(command + got, 3 - got, deadline);
  if (std::memcmp(command, "GET", 3) == 0) {
    IncomingGet(deadline);
  } else if (std::memcmp(command, "SEN", 3) == 0) {
    while (ReceiveRequest(command + 3, 1, deadline) < 1) {
    }
    IncomingSend(deadline);
  } else {
    Socket()->SendString("INVALID REQUEST");
  }
}

TNapsterDataDecision TNapsterDataThread::AskDecision(int blockSize, const TNapsterDataOnDecision& decide,
                                                    TPeerRequest& request, int64_t deadline) {
  // The request is whole once a number follows the closing quote of its
  // file name, up to the number's end.
  request = ParsePeerRequest(ReceiveWhole(blockSize, PeerRequestState, deadline));
  Nick = MyNick = request.Nick;
  RequestFileName = request.FileName;
  TNapsterDataDecision d;
  d.Nick = request.Nick;
  d.RequestFileName = request.FileName;
  if (request.Valid && decide) Call([&] { decide(*this, Socket(), d); });
  if (d.Allowed) {
    ownTransfer_ = true;
    ID = d.ID;
    RemoteFileName = d.RemoteFileName;
    LocalFileName = d.LocalFileName;
    IsMP3 = d.IsMP3;
  } else {
    Fail(kDataErrorInvalid);
  }
  return d;
}

void TNapsterDataThread::IncomingGet(int64_t deadline) {
  IsDownload = false;
  TPeerRequest request;
  TNapsterDataDecision d = AskDecision(kRequestBlock, OnUploadDecision, request, deadline);
  if (!d.Allowed) {
    Socket()->SendString(d.Queued ? "QUEUED" : (d.Invalid || !request.Valid) ? "INVALID REQUEST" : "FILE NOT SHARED");
    return;
  }
  std::unique_ptr<plat::Stream> file = OpenForReading();
  FileSize = file->Size();
  if (request.Number > FileSize) {
    // Past the end of the file: nothing there to send.
    Socket()->SendString("INVALID REQUEST");
    return Fail(kDataErrorInvalid);
  }
  StartPacer(FileSize <= kNeverThrottled ? 0 : MaxUploadBPS);
  Socket()->SendString(plat::IntToStr(FileSize));
  if (!IsMP3) Socket()->SendString("A");
  Offset = request.Number;
  Position = Offset;
  file->Seek(Offset, plat::Stream::kBegin);
  SendLoop(*file);
  ReportEnd(file);
}

void TNapsterDataThread::IncomingSend(int64_t deadline) {
  IsDownload = true;
  StartPacer(MaxDownloadBPS);
  TPeerRequest request;
  TNapsterDataDecision d = AskDecision(kPushRequestBlock, OnPushDecision, request, deadline);
  if (!d.Allowed) {
    Socket()->SendString("INVALID");
    return;
  }
  FileSize = request.Number;
  Offset = LocalLength();
  if (Offset > FileSize) {
    // A local file longer than the peer's is no part of it.
    Socket()->SendString("INVALID");
    return Fail(kDataErrorOther);
  }
  Socket()->SendString(plat::IntToStr(Offset));
  if (!IsMP3) {
    char mark = 0;
    ReceiveExactly(&mark, 1);
  }
  std::unique_ptr<plat::Stream> file = OpenForWriting();
  Position = file->Size();
  ReceiveLoop(*file, FileSize);
  ReportEnd(file);
}

namespace {

// One status or header line; false when it is longer than a host may send.
bool ReadHttpLine(TEasySocket& s, std::string& line) {
  try {
    s.ReadLine(line);
  } catch (const EEasySocketWinsock& e) {
    if (e.Code == plat::kWsaEMSGSIZE) return false;
    throw;
  }
  return line.size() <= TNapsterDataThread::kMaxHttpLine;
}

}  // namespace

bool TNapsterDataThread::RequestRange(const std::string& index, bool reuse, THttpDownloadHead& head) {
  const std::string request = "GET /get/" + index + "/" + RequestFileName + " HTTP/1.0\r\n" +
                              "Connection: Keep-Alive\r\n" + "Range: bytes=" + plat::IntToStr(Position) +
                              "-\r\n" + "User-Agent: Gnutella\r\n" + "\r\n";
  std::string line;
  for (bool retried = false;; retried = true) {
    try {
      Socket()->SendString(request);
      if (!ReadHttpLine(*Socket(), line)) return false;
      break;
    } catch (const EEasySocketWinsock&) {
      // A host may close a kept connection at any time: before it answered,
      // the request goes again on a new one. A stopped transfer stays stopped.
      if (!reuse || retried || !Socket()->Active()) throw;
      Socket()->Reconnect();
    }
  }
  head.SetStatusLine(line);
  if (head.Status == 200 || head.Status == 206 || head.Status == 416) {
    int headers = 0;
    for (;;) {
      if (!ReadHttpLine(*Socket(), line) || ++headers > kMaxHttpHeaders) return false;
      if (line.empty()) break;
      head.AddHeader(line);
    }
  }
  return true;
}

void TNapsterDataThread::GnutellaDownload() {
  IsDownload = true;
  StartPacer(MaxDownloadBPS);
  ReadParameters();
  const std::string index = Socket()->GetValue("INDEX");
  Offset = LocalLength();
  Position = Offset;
  std::unique_ptr<plat::Stream> file;
  // Stops a transfer whose file was used with Incomplete as well.
  auto stop = [&](TNapsterDataErrorType kind, bool queued) {
    if (queued)
      ReportQueued();
    else
      Fail(kind);
    if (file) ReportEnd(file);
  };
  bool reuse = false;
  for (bool first = true;; first = false) {
    // Each answer may be a part of the file: the next part is asked for on
    // the same connection when the host keeps it open, else on a new one.
    THttpDownloadHead head;
    bool readable = false;
    try {
      if (!first && !reuse) Socket()->Reconnect();
      readable = RequestRange(index, reuse, head);
    } catch (const EEasySocketWinsock&) {
      if (file) ReportEnd(file);  // what arrived stays for a later attempt
      throw;
    }
    if (!readable) return stop(kDataErrorOther, false);
    THttpDownloadPlan plan = PlanHttpDownload(head, Position);
    // A file that changed its length between the parts is another file.
    if (plan.What == THttpDownloadPlan::kReceive && !first && plan.Target != FileSize)
      plan.What = THttpDownloadPlan::kBad;
    switch (plan.What) {
      case THttpDownloadPlan::kNotFound:
      case THttpDownloadPlan::kBad:
        return stop(kDataErrorOther, false);
      case THttpDownloadPlan::kQueued:
        return stop(kDataErrorOther, true);
      case THttpDownloadPlan::kReceive:
        break;
    }
    FileSize = plan.Target;
    if (!file) file = OpenForWriting();
    if (plan.Truncate) {
      try {
        file->SetSize(0);
      } catch (const plat::EStreamError& e) {
        throw EStreamWriteError(e.what());
      }
      file->Seek(0, plat::Stream::kBegin);
    }
    Position = file->Size();
    // A cut answer leaves what arrived; a later attempt resumes from it.
    if (!ReceiveLoop(*file, plan.PieceEnd) || Position >= FileSize) break;
    reuse = head.KeepAlive;
  }
  ReportEnd(file);
}
