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
// events; socket errors during the data loops only end the loop.
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
// SHARED" and other texts, HTTP 404, a reply this side cannot use).
using TNapsterDataErrorType = uint8_t;
constexpr TNapsterDataErrorType kDataErrorOther = 0;
constexpr TNapsterDataErrorType kDataErrorInvalid = 1;

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
  bool IsDownload = true;
  bool IsMP3 = true;
  bool Resume = false;
  int ResumeCount = 0;
  std::string GnutellaHost;
  int GnutellaPort = 0;  // 0: through the Napster-protocol session
  bool IsGnutella = false;
  std::string Index;
  bool Connected = false;
  TEasySocket* Socket = nullptr;
  bool RemoteQueued = false;
  bool Complete = false;
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
  // The digits reached the end of the block: more may follow (non-MP3
  // replies read on up to the mark byte).
  bool DigitsOpen = false;
};
TPeerReply ReadPeerReply(std::string_view block, bool isMp3);

// A peer's request on the data port: nick, double-quoted file name and a
// number (the offset of a "GET", the size of a "SEND").
struct TPeerRequest {
  std::string Nick;
  std::string FileName;
  int64_t Number = 0;
  bool Valid = false;  // the number is readable and not absurd
};
TPeerRequest ParsePeerRequest(std::string_view block);

// The answer of a Gnutella host to a range request, from its head.
struct THttpDownloadHead {
  int Status = 0;
  bool HasLength = false;
  int64_t ContentLength = 0;
  bool HasRange = false;
  int64_t RangeStart = 0;
  int64_t RangeTotal = -1;  // -1: "*" or absent
  bool Valid = true;        // false: a number in it is unreadable or absurd
  // Feeds one header line; false when the line is not "name: value".
  bool AddHeader(std::string_view line);
};
// The status code: the number between the first and the second blank
// (0 when there is none).
int HttpStatusCode(std::string_view statusLine);

// What to do with a Gnutella answer, given the local file's length.
struct THttpDownloadPlan {
  enum Action { kReceive, kQueued, kNotFound, kBad } What = kBad;
  bool Truncate = false;  // a full answer to a range request: start over
  int64_t Start = 0;      // where the data goes in the local file
  int64_t Target = 0;     // the file's length when complete
};
THttpDownloadPlan PlanHttpDownload(const THttpDownloadHead& head, int64_t offset);

// Speed limit: a transfer is held back while its average rate since the
// connection started is above the limit (limit 0: no limit). Held back, a
// download asks for 20 bytes after a 50 ms pause, an upload sends 20 bytes
// after the pause unless the piece is 1024 bytes or less.
class TTransferPacer {
 public:
  static constexpr int kDownloadPiece = 8192;
  static constexpr int kUploadPiece = 8190;
  static constexpr int kThrottledPiece = 20;
  static constexpr int kThrottleSleepMs = 50;
  static constexpr int kNeverThrottled = 1024;

  int64_t Limit = 0;
  // The current average rate (bytes per second).
  std::function<int64_t()> Rate;
  std::function<void(int ms)> Sleep;

  bool Throttled() const;
  // The most to ask for next, given what is left; sleeps when held back.
  int NextDownloadPiece(int64_t remaining);
  // The next piece to send, given what is left; sleeps when held back.
  int NextUploadPiece(int64_t remaining);
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

  TNapsterDataThread();
  ~TNapsterDataThread() override;

  // Copied from the component when the thread is created.
  int64_t MaxDownloadBPS = 0;
  int64_t MaxUploadBPS = 0;

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
  TNapsterDataDecision AskDecision(int blockSize, const TNapsterDataOnDecision& decide, TPeerRequest& request);
  void IncomingGet();
  void IncomingSend();
  void GnutellaDownload();

  // Receives exactly count bytes (with the socket's time-out).
  void ReceiveExactly(char* buffer, int count);
  bool GreetingOK();
  // The peer's reply to a request; for a non-MP3 number also reads on to
  // the mark byte. Bytes after the reply stay in leftover_.
  TPeerReply ReadReply();
  void Fail(TNapsterDataErrorType kind);
  // Length of the local file, 0 when there is none.
  int64_t LocalLength() const;
  // Opens (creating when absent) the local file for writing at its end.
  std::unique_ptr<plat::Stream> OpenForWriting();
  std::unique_ptr<plat::Stream> OpenForReading();
  void WriteChecked(plat::Stream& file, const char* data, int64_t count);
  void ReceiveLoop(plat::Stream& file);
  void SendLoop(plat::Stream& file);
  // Complete or Incomplete, after the file is closed.
  void ReportEnd(std::unique_ptr<plat::Stream>& file);
  // The average rate since the transfer started, at millisecond precision
  // (so that a limit holds from the first second on).
  int64_t AverageRate() const;
  TTransferPacer Pacer(int64_t limit) const;
  void ReportStatistics(bool force);
  template <class F>
  void Call(const F& fn);

  std::string leftover_;  // received bytes that belong to the file
  int64_t startMs_ = 0;
  int64_t lastReportMs_ = 0;
};
