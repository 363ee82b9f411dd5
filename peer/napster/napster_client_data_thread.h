// The peer transfer thread: one file over one TCP connection of the client
// component's transfer sockets.
//
// It speaks the Napster peer protocol in its four shapes - this side asks
// with "GET", this side pushes with "SEND" to a firewalled downloader, a
// peer connects here and asks with "GET", a peer connects here and pushes
// with "SEND" - and the HTTP/1.0 download from Gnutella hosts. It resumes
// from the length of an existing local file, keeps to the component's
// speed limits and reports statistics, completion, refusals and remote
// queuing by synchronised calls on the main thread.
//
// Non-MP3 files travel under a disguised name and carry one extra byte, the
// mark "A", between the size (or offset) digits and the data: other copies
// of this program depend on it.
//
// File errors leave the thread as EStreamCreateError / EStreamReadError /
// EStreamWriteError, which the socket component reports as its stream-error
// events; socket errors during the data loops only end the loop. A peer that
// closes the connection before the transfer has an outcome (before its
// greeting, its answer or the end of its answer's head) is reported as
// Error of kind 0.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/easy_winsock.h"
#include "platform/stream.h"

// Why a transfer did not start: 1 - the peer broke the protocol or refused
// (bad greeting, "INVALID REQUEST", a push reply that is no number, this
// side refused the peer); 0 - anything else (no such local file, "FILE NOT
// SHARED" and other texts, HTTP 404, a reply this side cannot use, the
// connection closed by the peer before it answered); 2 - the uploader's
// size cannot be told from the digits its MP3 data begins with (nothing
// is written: an attempt that took the wrong digits would corrupt the
// file).
using TNapsterDataErrorType = uint8_t;
constexpr TNapsterDataErrorType kDataErrorOther = 0;
constexpr TNapsterDataErrorType kDataErrorInvalid = 1;
constexpr TNapsterDataErrorType kDataErrorUnclearSize = 2;

// One transfer as the client component keeps it. The component lends it to
// event handlers for the duration of an event; the statistics come from the
// transfer thread.
struct TNapsterClientData {
  std::string RemoteFile;  // the name as the peer knows it
  std::string FileName;    // the name to show (decoded for disguised files)
  std::string LocalFile;
  std::string ID;          // session ID
  std::string Nick;
  std::string MyNick;
  std::string Key;         // ID + Nick + RemoteFile
  int64_t StartTime = 0;   // seconds of day when created, started or retried
  int64_t StartTick = 0;   // the same moment on the monotonic clock (ms)
  int64_t ProgressTick = 0;  // monotonic ms of the connection or its last progress
  bool IsDownload = true;
  bool IsMP3 = true;
  bool Resume = false;
  int ResumeCount = 0;
  // The size the file's search or browse result announced (0: unknown);
  // it tells the uploader's size apart from the data after it.
  int64_t AnnouncedSize = 0;
  std::string GnutellaHost;
  int GnutellaPort = 0;  // 0: through the Napster-protocol session
  bool IsGnutella = false;
  std::string Index;
  bool Connected = false;
  TEasySocket* Socket = nullptr;
  bool RemoteQueued = false;
  // The session's queue of requests was full: the request for the file
  // waits on this side and goes out, in turn, once the session has room.
  bool RequestHeld = false;
  bool Complete = false;
  // An accepted upload the server then refused: what it said.
  std::string Refusal;
  // Statistics of the last report.
  std::string TimeLeft;
  int Percent = 0;
  int64_t FileSize = 0;
  int64_t Position = 0;
  int64_t BytesPerSecond = 0;
};

// ----------------------------------------------------------------- pieces
// The decisions of the transfer loops, apart from sockets and files.

// Sizes and offsets above this are a protocol error (64 TiB).
constexpr int64_t kMaxTransferSize = int64_t(1) << 46;

// Class of a byte in a peer's reply: 0 digits, 1 letters and the blank,
// 2 everything else.
int PeerReplyClass(unsigned char c);

// A decimal size or offset: at least one digit and nothing else, at most
// kMaxTransferSize. False for anything else.
bool ParseTransferNumber(std::string_view digits, int64_t& value);

// The reply to a "GET" or "SEND" request, read from the first block.
struct TPeerReply {
  bool IsNumber = false;
  bool Valid = true;   // false: a number too large to be a size
  int64_t Number = 0;
  std::string Text;    // the reply text when it is no number
  std::size_t Consumed = 0;  // bytes of the block that belong to the reply
  bool MarkConsumed = false; // the mark byte was in the block (non-MP3)
  // The digits reached the end of the block: more may follow.
  bool DigitsOpen = false;
  // The size's digits cannot be told from the data's (Valid is false).
  bool Unclear = false;
};
TPeerReply ReadPeerReply(std::string_view block, bool isMp3);
// The uploader's answer to this side's "GET": the reply read up to its
// end, past the first block when the digits reach it (nextByte gives one
// more byte, or false when the connection ended); the bytes after it go to
// leftover. A non-MP3 file's size ends at its mark byte. An MP3 file's data
// follows the size with nothing between, so a run of digits may hold data
// digits too: the size is the announced one when the run begins with it,
// else the only reading not below the requested offset (a size never is)
// and not shorter than the digits after it; at offset 0 the whole run (an
// MP3 file begins with its tag or a frame, never with a digit). Any other
// run is Unclear.
TPeerReply ReadPeerReply(std::string_view block, bool isMp3, int64_t offset, int64_t announced,
                         const std::function<bool(char&)>& nextByte, std::string& leftover);
// How many digits at the front of a run that an MP3 file's data may
// continue are the size, by the rule above; -1 when that is unclear.
int SizeDigitsOfRun(std::string_view run, int64_t offset, int64_t announced);

// A peer's request on the data port: nick, double-quoted file name and a
// number (the offset of a "GET", the size of a "SEND").
struct TPeerRequest {
  std::string Nick;
  std::string FileName;
  int64_t Number = 0;
  // The number is digits only and not absurd: "-5", "12ab" or none at all
  // is no offset.
  bool Valid = false;
};
TPeerRequest ParsePeerRequest(std::string_view block);
// How far a request has come: its number must follow the closing quote of
// the file name, and a segment may end anywhere, inside the number too.
enum class TRequestState {
  kPartial,     // no closing quote yet, or no digit after it: more must come
  kNumberOpen,  // the digits reach the end of what came: more may follow
  kWhole,       // the number has ended (0, or something follows it; the parser judges it)
};
TRequestState PeerRequestState(std::string_view block);
// How far a downloader's answer to this side's "SEND" has come: its offset
// is all it sends before it waits, so digits that reach the end of what
// came may go on in the next segment (a leading 0 is the whole offset);
// a text is taken as it came.
TRequestState PushReplyState(std::string_view block);

// The answer of a Gnutella host to a range request, from its head.
struct THttpDownloadHead {
  int Status = 0;
  bool HasLength = false;
  int64_t ContentLength = 0;
  bool HasRange = false;
  bool RangeUnsatisfied = false;  // "bytes */TOTAL" (the answer to a range past the end)
  int64_t RangeStart = 0;
  int64_t RangeEnd = -1;
  int64_t RangeTotal = -1;  // -1: "*" or absent
  bool Valid = true;        // false: a number in it is unreadable or absurd
  // The host keeps the connection open for the next request (HTTP/1.1
  // unless it says "close"; HTTP/1.0 only when it says "keep-alive").
  bool KeepAlive = false;
  // Reads the status line: the code and the protocol's default for KeepAlive.
  void SetStatusLine(std::string_view line);
  // Feeds one header line; false when the line is not "name: value".
  bool AddHeader(std::string_view line);
};
// The status code: the number between the first and the second blank
// (0 when there is none).
int HttpStatusCode(std::string_view statusLine);

// What to do with a Gnutella answer, given the length of the local file.
// Hosts answer a request for the rest of a file with a part of it (common
// servents give at most 512 KiB per answer): the part is written when it
// starts where the local file ends, and the rest is asked for next.
struct THttpDownloadPlan {
  enum Action { kReceive, kQueued, kNotFound, kBad } What = kBad;
  bool Truncate = false;  // a full answer to a range request: start over
  int64_t Start = 0;      // where the answer's data goes in the local file
  int64_t PieceEnd = 0;   // the local file's length once this answer is in
  int64_t Target = 0;     // the file's length when complete
};
THttpDownloadPlan PlanHttpDownload(const THttpDownloadHead& head, int64_t offset);

// Speed limit: keeps a transfer to its limit in every second, not only on
// average. Bytes are let through at the limit's pace from an allowance
// that never holds more than two pieces, so a transfer that stalled does
// not rush to catch up afterwards; a limited piece is a fiftieth of the
// limit. Without a limit the pieces are large (fewer system calls).
class TTransferPacer {
 public:
  static constexpr int kPiece = 64 * 1024;
  static constexpr int kPiecesPerSecond = 50;
  static constexpr int kAllowancePieces = 2;

  int64_t Limit = 0;  // bytes per second; 0: no limit
  std::function<int64_t()> Now;  // monotonic milliseconds
  std::function<void(int ms)> Sleep;

  int PieceSize() const;
  // The most to move next, given what is left; under a limit it first
  // waits until that much is allowed.
  int NextPiece(int64_t remaining);
  // Books the bytes that actually moved.
  void Moved(int64_t bytes);

 private:
  void Refill();
  bool started_ = false;
  int64_t allowance_ = 0;  // bytes x 1000 (exact at any limit)
  int64_t last_ = 0;
};

// The figures of one statistics report.
struct TTransferStatistics {
  std::string TimeLeft;
  int Percent = 0;
  int64_t FileSize = 0;
  int64_t Position = 0;
  int64_t Rate = 0;
};
TTransferStatistics MakeTransferStatistics(int64_t fileSize, int64_t position, int64_t rate);
// A report is due when more than a second has passed since the last one
// (monotonic milliseconds).
inline bool StatisticsDue(int64_t lastMs, int64_t nowMs) { return nowMs - lastMs > 1000; }

// ----------------------------------------------------------------- thread

class TNapsterDataThread;

// The parameters of the upload and push-download decisions: on entry Nick
// and RequestFileName hold what the peer sent; the component fills the rest.
struct TNapsterDataDecision {
  std::string ID;
  std::string Nick;
  std::string RemoteFileName;
  std::string LocalFileName;
  std::string RequestFileName;
  bool Allowed = false;
  bool Invalid = false;
  bool IsMP3 = true;
  bool Queued = false;
};

using TNapsterDataOnDecision = std::function<void(TNapsterDataThread& sender, TEasySocket* socket,
                                                  TNapsterDataDecision& decision)>;
using TNapsterDataOnAction = std::function<void(TNapsterDataThread& sender, TEasySocket* socket)>;
using TNapsterDataOnError =
    std::function<void(TNapsterDataThread& sender, TEasySocket* socket, TNapsterDataErrorType kind)>;
using TNapsterDataOnRemotelyQueued =
    std::function<void(TNapsterDataThread& sender, const std::string& serverID, const std::string& nick,
                       const std::string& requestFileName, int64_t fileSize, int queueLimit)>;
using TNapsterDataOnStatistics =
    std::function<void(TNapsterDataThread& sender, TEasySocket* socket, const TTransferStatistics& stats)>;

class TNapsterDataThread : public TEasyWinsockThread {
 public:
  static constexpr int kReplyBlock = 8190;
  static constexpr int kRequestBlock = 8190;
  static constexpr int kPushRequestBlock = 8192;
  static constexpr int kRemoteQueueLimit = 10;
  // Longest status or header line of a Gnutella answer, and most headers.
  static constexpr std::size_t kMaxHttpLine = 8192;
  static constexpr int kMaxHttpHeaders = 100;
  // Seconds a peer connecting to the data port has to send its whole
  // request; then the connection is closed.
  static constexpr int kRequestTimeOut = 20;
  // A file this small goes out whole, whatever the upload limit.
  static constexpr int64_t kNeverThrottled = 1024;
  // Milliseconds without another byte after which a request's number that
  // reached the end of a segment has ended.
  static constexpr int kNumberPauseMs = 250;

  TNapsterDataThread();
  ~TNapsterDataThread() override;

  // Copied from the component when the thread is created.
  int64_t MaxDownloadBPS = 0;
  int64_t MaxUploadBPS = 0;
  int RequestTimeOut = kRequestTimeOut;
  int NumberPauseMs = kNumberPauseMs;  // on the monotonic clock

  // Callbacks, each run on the main thread while the transfer waits.
  TNapsterDataOnDecision OnUploadDecision;
  TNapsterDataOnDecision OnPushDecision;
  TNapsterDataOnAction OnComplete;
  TNapsterDataOnAction OnIncomplete;
  TNapsterDataOnError OnError;
  TNapsterDataOnRemotelyQueued OnRemotelyQueued;
  TNapsterDataOnStatistics OnStatistics;

  // What the thread knows about its transfer (read them in a callback).
  bool IsDownload = true;
  std::string LocalFileName;
  std::string RemoteFileName;
  std::string RequestFileName;
  std::string Nick;
  std::string MyNick;  // also the nick a connecting peer sent
  std::string ServerID;
  std::string ID;
  bool IsMP3 = true;
  int64_t FileSize = 0;
  int64_t AnnouncedSize = 0;  // a download's size as its result announced it (0: unknown)
  int64_t Offset = 0;
  int64_t Position = 0;
  TNapsterDataErrorType ErrorKind = kDataErrorOther;

 protected:
  void ServeConnection() override;
  void CancelHook() override {}

 private:
  void ReadParameters();
  void OutgoingGet();
  void OutgoingSend();
  void Incoming();
  // Reads a peer's request and asks the component about it; an answer
  // that does not allow it is reported as Error (kind 1).
  TNapsterDataDecision AskDecision(int blockSize, const TNapsterDataOnDecision& decide, TPeerRequest& request,
                                   int64_t deadline);
  void IncomingGet(int64_t deadline);
  void IncomingSend(int64_t deadline);
  void GnutellaDownload();

  // Receives exactly count bytes (with the socket's time-out).
  void ReceiveExactly(char* buffer, int count);
  // One receive of at most count bytes of a peer's request, before the
  // request's deadline (monotonic ms; negative: the socket's time-out).
  int ReceiveRequest(char* buffer, int count, int64_t deadline);
  // Whether more bytes come within NumberPauseMs (and before the deadline).
  bool MoreRequestBytes(int64_t deadline);
  // Receives a request or reply of at most blockSize bytes until state
  // says it is whole, a number in it up to its end: a segment may end
  // anywhere, and a number that reaches the end of what came has ended
  // only when no more bytes follow within NumberPauseMs.
  std::string ReceiveWhole(int blockSize, TRequestState (*state)(std::string_view), int64_t deadline);
  bool GreetingOK();
  // The peer's reply to a request, read up to its end. Bytes after the
  // reply stay in leftover_.
  TPeerReply ReadReply();
  void Fail(TNapsterDataErrorType kind);
  void ReportQueued();
  // Length of the local file, 0 when there is none.
  int64_t LocalLength() const;
  // Opens (creating when absent) the local file for writing at its end.
  std::unique_ptr<plat::Stream> OpenForWriting();
  std::unique_ptr<plat::Stream> OpenForReading();
  void WriteChecked(plat::Stream& file, const char* data, int64_t count);
  // Receives into the file until it is target bytes long; false when the
  // connection ended first.
  bool ReceiveLoop(plat::Stream& file, int64_t target);
  void SendLoop(plat::Stream& file);
  // The final statistics, then Complete or Incomplete after the file is
  // closed.
  void ReportEnd(std::unique_ptr<plat::Stream>& file);
  // Sends a range request for the rest of the file and reads the answer's
  // head. On a connection an earlier answer left open, a host that has
  // closed it meanwhile is asked again on a new connection. False when the
  // head is unreadable.
  bool RequestRange(const std::string& index, bool reuse, THttpDownloadHead& head);
  // The average rate since the transfer started, at millisecond precision.
  int64_t AverageRate() const;
  void StartPacer(int64_t limit);
  void ReportStatistics(bool force);
  template <class F>
  void Call(const F& fn);

  std::string leftover_;  // received bytes that belong to the file
  TTransferPacer pacer_;  // one for the whole transfer, across connections
  int64_t startMs_ = 0;
  int64_t lastReportMs_ = 0;
  // The transfer is one the component knows (this side asked for it, or
  // allowed a peer's request), and whether its outcome (Error, Remotely
  // queued, Complete or Incomplete) has been reported.
  bool ownTransfer_ = false;
  bool outcomeReported_ = false;
};
