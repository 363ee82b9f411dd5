#include "peer/napster_client_data_thread.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "peer/napster_helpers.h"
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

std::string DigitsOf(std::string_view s) {
  std::string out;
  for (char c : s)
    if (IsDigit(c)) out += c;
  return out;
}

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

TPeerRequest ParsePeerRequest(std::string_view block) {
  TPeerRequest r;
  std::string rest(block);
  r.Nick = CutFirstWord(rest);
  r.FileName = CutFirstQuoted(rest);
  std::string digits = DigitsOf(CutFirstWord(rest));
  r.Valid = digits.empty() || ParseTransferNumber(digits, r.Number);
  if (!r.Valid) r.Number = 0;
  return r;
}

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

bool THttpDownloadHead::AddHeader(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string name = plat::UpperAscii(plat::Trim(line.substr(0, colon)));
  std::string value = plat::Trim(line.substr(colon + 1));
  if (name == "CONTENT-LENGTH") {
    HasLength = true;
    if (!ParseTransferNumber(value, ContentLength)) Valid = false;
  } else if (name == "CONTENT-RANGE") {
    // bytes START-END/TOTAL (TOTAL may be "*")
    HasRange = true;
    std::string v = value;
    if (plat::UpperAscii(v.substr(0, 5)) == "BYTES") v = plat::Trim(v.substr(5));
    size_t dash = v.find('-');
    size_t slash = v.find('/');
    int64_t end = 0;
    if (dash == std::string::npos || !ParseTransferNumber(plat::Trim(v.substr(0, dash)), RangeStart) ||
        !ParseTransferNumber(plat::Trim(v.substr(dash + 1, slash == std::string::npos ? std::string::npos
                                                                                      : slash - dash - 1)),
                             end) ||
        end < RangeStart) {
      Valid = false;
      return true;
    }
    if (slash != std::string::npos) {
      std::string total = plat::Trim(v.substr(slash + 1));
      if (total != "*" && !ParseTransferNumber(total, RangeTotal)) Valid = false;
    }
  }
  return true;
}

THttpDownloadPlan PlanHttpDownload(const THttpDownloadHead& head, int64_t offset) {
  THttpDownloadPlan p;
  if (head.Status == 404) {
    p.What = THttpDownloadPlan::kNotFound;
    return p;
  }
  if (head.Status != 200 && head.Status != 206) {
    p.What = THttpDownloadPlan::kQueued;
    return p;
  }
  p.What = THttpDownloadPlan::kBad;
  // Without a length there is no telling when the file is whole.
  if (!head.Valid || !head.HasLength) return p;
  if (head.Status == 206) {
    // Only a part that starts where the local file ends can be appended.
    if (!head.HasRange || head.RangeStart != offset) return p;
    p.Start = offset;
    p.Target = offset + head.ContentLength;
    if (head.RangeTotal >= 0 && head.RangeTotal != p.Target) return p;
  } else {
    // The whole file, whatever was asked for: start over.
    p.Truncate = offset > 0;
    p.Start = 0;
    p.Target = head.ContentLength;
  }
  if (p.Target > kMaxTransferSize) return p;
  p.What = THttpDownloadPlan::kReceive;
  return p;
}

bool TTransferPacer::Throttled() const { return Limit > 0 && Rate && Rate() > Limit; }

int TTransferPacer::NextDownloadPiece(int64_t remaining) {
  int piece = kDownloadPiece;
  if (Throttled()) {
    if (Sleep) Sleep(kThrottleSleepMs);
    piece = kThrottledPiece;
  }
  return int(std::max<int64_t>(0, std::min<int64_t>(piece, remaining)));
}

int TTransferPacer::NextUploadPiece(int64_t remaining) {
  int piece = int(std::max<int64_t>(0, std::min<int64_t>(kUploadPiece, remaining)));
  if (piece > kNeverThrottled && Throttled()) {
    if (Sleep) Sleep(kThrottleSleepMs);
    piece = kThrottledPiece;
  }
  return piece;
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
  std::string kind = Socket()->GetValue("KIND");
  if (kind.empty()) {
    Incoming();
    return;
  }
  kind = plat::UpperAscii(plat::Trim(kind));
  if (kind == "DOWNLOAD") {
    OutgoingGet();
  } else if (kind == "UPLOAD") {
    OutgoingSend();
  } else if (kind == "DOWNLOAD_GNUTELLA") {
    GnutellaDownload();
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
}

void TNapsterDataThread::ReceiveExactly(char* buffer, int count) {
  int got = 0;
  while (got < count) got += Socket()->Receive(buffer + got, count - got);
}

bool TNapsterDataThread::GreetingOK() {
  char block[kReplyBlock];
  int n = Socket()->Receive(block, kReplyBlock);
  return n == 1 && block[0] == '1';
}

TPeerReply TNapsterDataThread::ReadReply() {
  std::string block(size_t(kReplyBlock), '\0');
  block.resize(size_t(Socket()->Receive(block.data(), kReplyBlock)));
  TPeerReply r = ReadPeerReply(block, IsMP3);
  leftover_.clear();
  if (r.IsNumber && !IsMP3 && !r.MarkConsumed) {
    // The digits reached the end of the block: read on up to the mark.
    std::string digits = block.substr(0, r.Consumed);
    for (;;) {
      char c = 0;
      ReceiveExactly(&c, 1);
      if (!IsDigit(c) || digits.size() > size_t(kMaxDigits)) break;
      digits += c;
    }
    r.Valid = ParseTransferNumber(digits, r.Number);
    r.MarkConsumed = true;
    return r;
  }
  leftover_ = block.substr(r.Consumed);
  return r;
}

void TNapsterDataThread::Fail(TNapsterDataErrorType kind) {
  ErrorKind = kind;
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

TTransferPacer TNapsterDataThread::Pacer(int64_t limit) const {
  TTransferPacer pacer;
  pacer.Limit = limit;
  pacer.Rate = [this] { return AverageRate(); };
  pacer.Sleep = plat::Thread::Sleep;
  return pacer;
}

void TNapsterDataThread::ReceiveLoop(plat::Stream& file) {
  TTransferPacer pacer = Pacer(MaxDownloadBPS);
  std::vector<char> buffer(static_cast<size_t>(TTransferPacer::kDownloadPiece));
  try {
    while (Socket()->Active() && Position < FileSize) {
      // Never more than the announced size: extra bytes stay unread.
      int want = pacer.NextDownloadPiece(FileSize - Position);
      ReportStatistics(false);
      int n = Socket()->Receive(buffer.data(), want);
      WriteChecked(file, buffer.data(), n);
    }
  } catch (const EEasySocketWinsock&) {
    // The connection ended (closed, reset or timed out): the file tells
    // how far it got.
  }
  ReportStatistics(true);
}

void TNapsterDataThread::SendLoop(plat::Stream& file) {
  TTransferPacer pacer = Pacer(MaxUploadBPS);
  std::vector<char> buffer(static_cast<size_t>(TTransferPacer::kUploadPiece));
  try {
    while (Socket()->Active() && Position < FileSize) {
      int piece = pacer.NextUploadPiece(FileSize - Position);
      ReportStatistics(false);
      int64_t got = file.Read(buffer.data(), piece);
      if (got < piece && file.Size() > Position + std::max<int64_t>(got, 0))
        throw EStreamReadError("Cannot read from \"" + LocalFileName + "\"");
      if (got <= 0) break;  // the file shrank: only what is there goes out
      int sent = Socket()->Send(buffer.data(), int(got));
      Position += sent;
      if (sent < got) file.Seek(Position, plat::Stream::kBegin);
    }
  } catch (const EEasySocketWinsock&) {
    // The connection ended.
  }
  ReportStatistics(true);
}

void TNapsterDataThread::ReportEnd(std::unique_ptr<plat::Stream>& file) {
  file.reset();
  const bool complete = Position >= FileSize;
  const TNapsterDataOnAction& report = complete ? OnComplete : OnIncomplete;
  if (report) Call([&] { report(*this, Socket()); });
}

void TNapsterDataThread::OutgoingGet() {
  IsDownload = true;
  if (!GreetingOK()) return Fail(kDataErrorInvalid);
  ReadParameters();
  Socket()->SendString("GET");
  Offset = LocalLength();
  Socket()->SendString(MyNick + " \"" + RequestFileName + "\" " + plat::IntToStr(Offset));
  TPeerReply reply = ReadReply();
  if (!reply.IsNumber) {
    if (reply.Text == "QUEUED") {
      if (OnRemotelyQueued)
        Call([&] { OnRemotelyQueued(*this, ServerID, Nick, RequestFileName, FileSize, kRemoteQueueLimit); });
      return;
    }
    return Fail(reply.Text == "INVALID REQUEST" ? kDataErrorInvalid : kDataErrorOther);
  }
  if (!reply.Valid) return Fail(kDataErrorInvalid);
  FileSize = reply.Number;
  std::unique_ptr<plat::Stream> file = OpenForWriting();
  Position = file->Size();
  WriteChecked(*file, leftover_.data(), std::min<int64_t>(int64_t(leftover_.size()), FileSize - Position));
  leftover_.clear();
  ReceiveLoop(*file);
  ReportEnd(file);
}

void TNapsterDataThread::OutgoingSend() {
  IsDownload = false;
  if (!GreetingOK()) return Fail(kDataErrorInvalid);
  ReadParameters();
  if (!plat::FileExists(LocalFileName)) return Fail(kDataErrorOther);
  std::unique_ptr<plat::Stream> file = OpenForReading();
  FileSize = file->Size();
  Socket()->SendString("SEND");
  Socket()->SendString(MyNick + " \"" + RequestFileName + "\" " + plat::IntToStr(FileSize));
  char block[kReplyBlock];
  int n = Socket()->Receive(block, kReplyBlock);
  TPeerReply reply = ReadPeerReply(std::string_view(block, size_t(n)), true);
  if (!reply.IsNumber || !reply.Valid) {
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
  Socket()->SendString("1");
  char command[3];
  ReceiveExactly(command, 3);
  if (std::memcmp(command, "GET", 3) == 0) {
    IncomingGet();
  } else if (std::memcmp(command, "SEN", 3) == 0) {
    char d = 0;
    ReceiveExactly(&d, 1);
    IncomingSend();
  } else {
    Socket()->SendString("INVALID REQUEST");
  }
}

TNapsterDataDecision TNapsterDataThread::AskDecision(int blockSize, const TNapsterDataOnDecision& decide,
                                                    TPeerRequest& request) {
  std::string block(size_t(blockSize), '\0');
  block.resize(size_t(Socket()->Receive(block.data(), blockSize)));
  request = ParsePeerRequest(block);
  Nick = MyNick = request.Nick;
  RequestFileName = request.FileName;
  TNapsterDataDecision d;
  d.Nick = request.Nick;
  d.RequestFileName = request.FileName;
  if (request.Valid && decide) Call([&] { decide(*this, Socket(), d); });
  if (d.Allowed) {
    ID = d.ID;
    RemoteFileName = d.RemoteFileName;
    LocalFileName = d.LocalFileName;
    IsMP3 = d.IsMP3;
  } else {
    Fail(kDataErrorInvalid);
  }
  return d;
}

void TNapsterDataThread::IncomingGet() {
  IsDownload = false;
  TPeerRequest request;
  TNapsterDataDecision d = AskDecision(kRequestBlock, OnUploadDecision, request);
  if (!d.Allowed) {
    Socket()->SendString(d.Queued ? "QUEUED" : (d.Invalid || !request.Valid) ? "INVALID REQUEST" : "FILE NOT SHARED");
    return;
  }
  std::unique_ptr<plat::Stream> file = OpenForReading();
  FileSize = file->Size();
  Socket()->SendString(plat::IntToStr(FileSize));
  if (!IsMP3) Socket()->SendString("A");
  Offset = request.Number;
  Position = Offset;
  file->Seek(Offset, plat::Stream::kBegin);
  SendLoop(*file);
  ReportEnd(file);
}

void TNapsterDataThread::IncomingSend() {
  IsDownload = true;
  TPeerRequest request;
  TNapsterDataDecision d = AskDecision(kPushRequestBlock, OnPushDecision, request);
  if (!d.Allowed) {
    Socket()->SendString("INVALID");
    return;
  }
  FileSize = request.Number;
  Offset = LocalLength();
  Socket()->SendString(plat::IntToStr(Offset));
  if (!IsMP3) {
    char mark = 0;
    ReceiveExactly(&mark, 1);
  }
  std::unique_ptr<plat::Stream> file = OpenForWriting();
  Position = file->Size();
  ReceiveLoop(*file);
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

void TNapsterDataThread::GnutellaDownload() {
  IsDownload = true;
  ReadParameters();
  const std::string index = Socket()->GetValue("INDEX");
  Offset = LocalLength();
  Socket()->SendString("GET /get/" + index + "/" + RequestFileName + " HTTP/1.0\r\n" +
                       "Connection: Keep-Alive\r\n" + "Range: bytes=" + plat::IntToStr(Offset) + "-\r\n" +
                       "User-Agent: Gnutella\r\n" + "\r\n");
  std::string line;
  if (!ReadHttpLine(*Socket(), line)) return Fail(kDataErrorOther);
  THttpDownloadHead head;
  head.Status = HttpStatusCode(line);
  if (head.Status == 200 || head.Status == 206) {
    int headers = 0;
    for (;;) {
      if (!ReadHttpLine(*Socket(), line) || ++headers > kMaxHttpHeaders) return Fail(kDataErrorOther);
      if (line.empty()) break;
      head.AddHeader(line);
    }
  }
  THttpDownloadPlan plan = PlanHttpDownload(head, Offset);
  switch (plan.What) {
    case THttpDownloadPlan::kNotFound:
    case THttpDownloadPlan::kBad:
      return Fail(kDataErrorOther);
    case THttpDownloadPlan::kQueued:
      if (OnRemotelyQueued)
        Call([&] { OnRemotelyQueued(*this, ServerID, Nick, RequestFileName, FileSize, kRemoteQueueLimit); });
      return;
    case THttpDownloadPlan::kReceive:
      break;
  }
  FileSize = plan.Target;
  std::unique_ptr<plat::Stream> file = OpenForWriting();
  if (plan.Truncate) {
    try {
      file->SetSize(0);
    } catch (const plat::EStreamError& e) {
      throw EStreamWriteError(e.what());
    }
    file->Seek(0, plat::Stream::kBegin);
  }
  Position = file->Size();
  ReceiveLoop(*file);
  ReportEnd(file);
}
