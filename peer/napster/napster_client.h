// TNapsterClient: the one object through which the windows speak the
// Napster protocol.
//
// It keeps any number of sessions with Napster-protocol servers (each a
// TNapsterClientThread on a connection of its own), turns every request
// into a METHOD record posted on its message pump, turns every EVENT record
// a session hands back into one of its published events, and keeps the
// transfers (TNapsterDataThread connections, outgoing and on the data
// port) and the shared files that the sessions announce.
//
// Everything runs on the main thread: the public operations, the socket
// components' events, the sessions' and transfers' synchronised callbacks
// and a 500 ms timer. An event is fired only when a handler is assigned;
// a TNapsterClientData passed to a handler is lent for that call only.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/easy_winsock.h"
#include "core/message_pump.h"
#include "core/queue_manager.h"
#include "peer/napster/napster_client_data_thread.h"
#include "peer/napster/napster_client_info_thread.h"
#include "peer/napster/shared_file_list.h"
#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/sync.h"

class TNapsterClient;
class TFileFind;
class TShareManager;

// Why a registration failed.
enum TRegisterErrorType : uint8_t {
  retInvalidNick = 0,     // the nick is not allowed (or the account was refused)
  retNickRegistered = 1,  // the nick is taken
};

// One server session's address and account.
struct TNapsterServerData {
  std::string ID;
  std::string Host;
  int Port = 0;
  std::string Nick;
  std::string Password;
  std::string Email;
  bool Register = false;  // create the account instead of logging in
  bool Redirect = false;  // the address is a redirector
};

using TNapsterID = const std::string&;
using TNapsterText = const std::string&;

using TNapsterClientOnLogin = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Email)>;
using TNapsterClientOnSendingSharedFiles = std::function<void(TNapsterClient* Sender, TNapsterID ID)>;
using TNapsterClientOnLoginError = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Reason)>;
using TNapsterClientOnRegister = std::function<void(TNapsterClient* Sender, TNapsterID ID)>;
using TNapsterClientOnRegisterError =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, TRegisterErrorType ErrorType)>;
using TNapsterClientOnFileItem = std::function<void(
    TNapsterClient* Sender, TNapsterID ID, TNapsterText FileName, TNapsterText RequestFileName, TNapsterText MD5,
    TNapsterText Nick, TNapsterText IP, int64_t FileSize, int BitRate, int Frequency, int Seconds, int LinkType,
    int PingTime, int iPort, int iBPS, bool IsMP3)>;
using TNapsterClientOnSearchEnd = std::function<void(TNapsterClient* Sender)>;
using TNapsterClientOnPrivMsg = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick, TNapsterText Msg)>;
using TNapsterClientOn404 = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Msg)>;
using TNapsterClientOnSignOn = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick, int LinkType)>;
using TNapsterClientOnSignOff = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick)>;
using TNapsterClientOnDirEnd = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick)>;
using TNapsterClientOnHotListAdd =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick, bool Success)>;
using TNapsterClientOnServerStats =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, int Users, int Files, int GBOnline)>;
using TNapsterClientOnIgnoreItem = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick)>;
using TNapsterClientOnIgnoreListEnd = std::function<void(TNapsterClient* Sender, TNapsterID ID, int Count)>;
using TNapsterClientOnIgnoreAdd = TNapsterClientOnHotListAdd;
using TNapsterClientOnIgnoreRemove = TNapsterClientOnHotListAdd;
using TNapsterClientOnAction = std::function<void(TNapsterClient* Sender, TNapsterID ID)>;
using TNapsterClientOnJoin = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick,
                                                TNapsterText Channel, int Files, int LinkType)>;
using TNapsterClientOnPart = TNapsterClientOnJoin;
using TNapsterClientOnUserItem = TNapsterClientOnJoin;
using TNapsterClientOnMyJoin =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Channel, bool Success)>;
using TNapsterClientOnMyPart = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Channel)>;
using TNapsterClientOnUserEnd = TNapsterClientOnMyPart;
using TNapsterClientOnTopic =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Channel, TNapsterText Topic)>;
using TNapsterClientOnChannelBanItem =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Channel, TNapsterText Dest)>;
using TNapsterClientOnBanItem = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Dest,
                                                   TNapsterText NickBanning, TNapsterText Reason)>;
using TNapsterClientOnLinkType =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick, int LinkType)>;
using TNapsterClientOnWhoIs = std::function<void(
    TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick, TNapsterText Channels, TNapsterText VersionText,
    TNapsterText UserLevel, int SecondsOnline, int Files, int Downloads, int Uploads, int LinkType, TNapsterText sIP)>;
using TNapsterClientOnWhoWas = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick,
                                                  TNapsterText Level, TNapsterText LastSeen)>;
using TNapsterClientOnChannelItem = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Channel,
                                                       TNapsterText Topic, int Users)>;
using TNapsterClientOnMOTD = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Msg)>;
using TNapsterClientOnGlobalMessage =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick, TNapsterText Msg)>;
using TNapsterClientOnOperatorMessage = TNapsterClientOnGlobalMessage;
using TNapsterClientOnPubMsg = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Nick,
                                                  TNapsterText Channel, TNapsterText Msg)>;
using TNapsterClientOnEmote = std::function<void(TNapsterClient* Sender, TNapsterID ID, TNapsterText Channel,
                                                 TNapsterText Nick, TNapsterText Msg)>;
using TNapsterClientOnWinsockError =
    std::function<void(TNapsterClient* Sender, TNapsterID ID, int ErrorNumber, TNapsterText ErrorDesc)>;
using TNapsterClientDataOnAction = std::function<void(TNapsterClient* Sender, TNapsterClientData& Data)>;
using TNapsterClientDataOnWinsockError =
    std::function<void(TNapsterClient* Sender, TNapsterClientData& Data, int ErrorNumber, TNapsterText ErrorDesc)>;
using TNapsterClientDataOnError =
    std::function<void(TNapsterClient* Sender, TNapsterClientData& Data, TNapsterDataErrorType ErrorType)>;
using TNapsterClientOnAddFile = std::function<void(TNapsterClient* Sender, TNapsterText FileName,
                                                   TNapsterText RequestFileName, TNapsterText MD5, int Bitrate,
                                                   int Frequency, int Seconds, int64_t FileSize, bool IsMP3)>;
using TNapsterClientOnRemoveFile = std::function<void(TNapsterClient* Sender, TNapsterText FileName)>;
using TNapsterClientOnScanFinished = std::function<void(TNapsterClient* Sender)>;

// The published events, in published order.
constexpr int kNapsterClientEventCount = 73;
extern const char* const kNapsterClientEventNames[kNapsterClientEventCount];

class TNapsterClient {
 public:
  // Seconds a session or transfer connection waits for data.
  static constexpr int kSocketTimeOut = 120;
  static constexpr int kTimerMs = 500;
  // Seconds after which a search that no session ended counts as ended.
  static constexpr int kWaitListTimeout = 600;
  // A session on this address is the program's own gateway.
  static constexpr const char* kGatewayHost = "127.0.0.1";
  static constexpr int kGatewayPort = 10000;

  explicit TNapsterClient(void* owner = nullptr);
  ~TNapsterClient();
  TNapsterClient(const TNapsterClient&) = delete;
  TNapsterClient& operator=(const TNapsterClient&) = delete;

  // ---- published properties (the forms set them; all start at 0/""/false)
  int MaxDownloadBPS = 0;
  int MaxUploadBPS = 0;
  int MaxUploads = 0;
  int MaxUploadsPerNick = 0;
  int MaxDownloads = 0;
  int MaxResume = 0;
  bool EnableAutoResume = false;
  int LinkType = 0;
  std::string VersionText;
  int BuildNumber = 0;
  // Seconds a transfer may wait for its connection, or go without moving
  // a byte once connected; 0: no time-out.
  int UploadTimeout = 0;
  int DownloadTimeout = 0;
  // Connections peers may have open to the data port at once. Beyond it
  // the oldest connection that has not yet sent its request is closed to
  // make room (idle connections cannot keep the peers out), and when every
  // one has, the new one is closed. A connection that has not sent its
  // whole request within DataPortRequestTimeOut seconds is closed.
  static constexpr int kMaxDataPortConnections = 64;
  int MaxDataPortConnections = kMaxDataPortConnections;
  int DataPortRequestTimeOut = TNapsterDataThread::kRequestTimeOut;
  // Connections on the data port, from their accept until they end.
  int DataPortConnections() const { return int(dataPortConnections_.size()); }
  // Transfer connections now open (downloads plus uploads).
  int DataConnections() const;

  // ---- published events, in published order
  TNapsterClientOnLogin OnLogin;
  TNapsterClientOnSendingSharedFiles OnSendingSharedFiles;
  TNapsterClientOnLoginError OnLoginError;
  TNapsterClientOnRegister OnRegister;
  TNapsterClientOnRegisterError OnRegisterError;
  TNapsterClientOnFileItem OnSearchItem;
  TNapsterClientOnSearchEnd OnSearchEnd;
  TNapsterClientOnFileItem OnResumeSearchItem;
  TNapsterClientOnSearchEnd OnResumeSearchEnd;
  TNapsterClientOnPrivMsg OnPrivMsg;
  TNapsterClientOn404 On404;
  TNapsterClientOnSignOn OnSignOn;
  TNapsterClientOnSignOff OnSignOff;
  TNapsterClientOnFileItem OnDirItem;
  TNapsterClientOnDirEnd OnDirEnd;
  TNapsterClientOnHotListAdd OnHotListAdd;
  TNapsterClientOnServerStats OnServerStats;
  TNapsterClientOnIgnoreItem OnIgnoreItem;
  TNapsterClientOnIgnoreListEnd OnIgnoreListEnd;
  TNapsterClientOnIgnoreAdd OnIgnoreAdd;
  TNapsterClientOnIgnoreRemove OnIgnoreRemove;
  TNapsterClientOnAction OnIgnoreListClear;
  TNapsterClientOnJoin OnJoin;
  TNapsterClientOnMyJoin OnMyJoin;
  TNapsterClientOnPart OnPart;
  TNapsterClientOnMyPart OnMyPart;
  TNapsterClientOnUserItem OnUserItem;
  TNapsterClientOnUserEnd OnUserEnd;
  TNapsterClientOnTopic OnTopic;
  TNapsterClientOnChannelBanItem OnChannelBanItem;
  TNapsterClientOnBanItem OnBanItem;
  TNapsterClientOnLinkType OnLinkType;
  TNapsterClientOnWhoIs OnWhoIS;
  TNapsterClientOnWhoWas OnWhoWas;  // never fired
  TNapsterClientOnChannelItem OnChannelItem;
  TNapsterClientOnAction OnChannelEnd;
  TNapsterClientOnMOTD OnMOTD;
  TNapsterClientOnGlobalMessage OnGlobalMessage;
  TNapsterClientOnOperatorMessage OnOperatorMessage;
  TNapsterClientOnPubMsg OnPubMsg;
  TNapsterClientOnEmote OnEmote;
  TNapsterClientOnAction OnStart;  // never fired
  TNapsterClientOnAction OnConnect;
  TNapsterClientOnAction OnFinish;
  TNapsterClientOnWinsockError OnWinsockError;
  TNapsterClientDataOnAction OnUploadConnect;
  TNapsterClientDataOnAction OnDownloadConnect;
  TNapsterClientDataOnAction OnUploadStats;
  TNapsterClientDataOnAction OnDownloadStats;
  TNapsterClientDataOnAction OnUploadIncomplete;
  TNapsterClientDataOnAction OnDownloadIncomplete;
  TNapsterClientDataOnAction OnUploadFinish;
  TNapsterClientDataOnAction OnDownloadFinish;
  TNapsterClientDataOnAction OnUploadStart;
  TNapsterClientDataOnAction OnDownloadStart;
  TNapsterClientDataOnAction OnDownloadQueued;
  TNapsterClientDataOnAction OnDownloadLocalQueued;
  TNapsterClientDataOnAction OnDownloadUnavailable;
  TNapsterClientDataOnAction OnDownloadBothFirewalled;
  TNapsterClientDataOnAction OnDownloadFileCreateError;
  TNapsterClientDataOnAction OnDownloadFileWriteError;
  TNapsterClientDataOnAction OnUploadFileOpenError;
  TNapsterClientDataOnAction OnUploadFileReadError;
  TNapsterClientDataOnAction OnDownloadTimeout;
  TNapsterClientDataOnAction OnDownloadAutoResume;
  TNapsterClientDataOnAction OnUploadTimeout;
  TNapsterClientDataOnWinsockError OnDownloadWinsockError;
  TNapsterClientDataOnWinsockError OnUploadWinsockError;
  TNapsterClientDataOnError OnDownloadError;
  TNapsterClientDataOnError OnUploadError;
  TNapsterClientOnAddFile OnAddFile;
  TNapsterClientOnRemoveFile OnRemoveFile;
  TNapsterClientOnScanFinished OnScanFinished;

  // ---- sessions
  // Opens a session and returns its ID: "P2P" for the program's gateway
  // (127.0.0.1 port 10000), otherwise an ID no other session has. Failures
  // arrive as OnWinsockError and OnFinish, never as an exception.
  void StartSession(const std::string& Host, int Port, const std::string& Nick, const std::string& Password,
                    const std::string& Email, bool Register, bool Redirect, std::string& ID);
  void Disconnect(const std::string& ID);
  void DisconnectAll();
  // Stops the timer, removes every transfer, stops a running folder scan,
  // then DisconnectAll.
  void Shutdown();

  int SessionCount() const { return int(sessionIds_.size()); }
  int LoggedInCount() const { return loggedInCount_; }
  bool IsLoggedIn(const std::string& ID) const;
  int PendingSearches() const { return pendingSearches_; }
  int DataPort() const { return dataPort_; }
  // What became of the last request: the sessions it was for whose full
  // queue left it out, and how many sessions took it.
  const std::vector<std::string>& Unsent() const { return unsent_; }
  int Queued() const { return queued_; }
  // A session whose full queue left a request out has taken requests off
  // it since: there is room again (on the main thread, with the ID).
  TNapsterClientOnAction OnQueueRoom;

  // ---- requests (an empty ID reaches every session)
  // Each waits in its session's queue until the session sends it; a queue
  // holds at most TMessagePumpConnection::kQueueLimit requests. A request
  // answers false when a session it is for could not take it (its queue was
  // full; for a request to one session also when no connection of it takes
  // requests yet, or it is gone): nothing of it goes to that session.
  // Unsent() names those sessions and Queued() counts the ones that took
  // it; OnQueueRoom tells when such a session has room again.
  bool HotlistAdd(const std::string& ID, const std::string& Nick);
  bool HotlistRemove(const std::string& ID, const std::string& Nick);
  bool PrivMsg(const std::string& ID, const std::string& Nick, const std::string& Message);
  bool GlobalMsg(const std::string& ID, const std::string& Message);
  bool OperatorMsg(const std::string& ID, const std::string& Message);
  bool RawCommand(const std::string& ID, int Command, const std::string& Message);
  bool GetDir(const std::string& ID, const std::string& Nick);
  bool GetStats(const std::string& ID);
  bool GetIgnoreList(const std::string& ID);
  bool IgnoreAdd(const std::string& ID, const std::string& Nick);
  bool IgnoreRemove(const std::string& ID, const std::string& Nick);
  bool Join(const std::string& ID, const std::string& Channel);
  bool Part(const std::string& ID, const std::string& Channel);
  bool PubMsg(const std::string& ID, const std::string& Channel, const std::string& Message);
  bool WhoIs(const std::string& ID, const std::string& Nick);
  bool GetChannelList(const std::string& ID);
  bool GetTopic(const std::string& ID, const std::string& Channel);
  bool SetUserLevel(const std::string& ID, const std::string& Nick, const std::string& Level);
  bool Kill(const std::string& ID, const std::string& Nick);
  bool NukeAdd(const std::string& ID, const std::string& Nick);
  bool NukeRemove(const std::string& ID, const std::string& Nick);
  bool GetChannelBanList(const std::string& ID, const std::string& Channel);
  bool ChannelBanAdd(const std::string& ID, const std::string& Channel, const std::string& Nick);
  bool ChannelBanRemove(const std::string& ID, const std::string& Channel, const std::string& Nick);
  bool GetBanList(const std::string& ID);
  bool BanAdd(const std::string& ID, const std::string& Dest, const std::string& Reason);
  bool BanRemove(const std::string& ID, const std::string& Dest);
  bool GetMOTD(const std::string& ID);
  bool MuzzleAdd(const std::string& ID, const std::string& Nick, const std::string& Reason);
  bool MuzzleRemove(const std::string& ID, const std::string& Nick, const std::string& Reason);
  bool SetPassword(const std::string& ID, const std::string& Password);
  bool Emote(const std::string& ID, const std::string& Channel, const std::string& Message);
  bool Kick(const std::string& ID, const std::string& Nick, const std::string& Reason);
  // The kick servers take: out of Channel (a server refuses a kick that
  // names none).
  bool Kick(const std::string& ID, const std::string& Channel, const std::string& Nick, const std::string& Reason);
  // Listens on Port (0: any free port; negative: no data port) and tells
  // every session (a session whose queue is full is told once it has
  // room). False, with nothing posted, when it cannot listen.
  bool SetPort(int Port);
  bool Search(const std::string& ID, int MaxResults, const std::string& SongName, const std::string& ArtistName,
              const std::string& FrequencyAction, const std::string& FrequencyValue,
              const std::string& BitrateAction, const std::string& BitrateValue,
              const std::string& LinkTypeAction, const std::string& LinkTypeValue,
              const std::string& PingTimeAction, const std::string& PingTimeValue);
  // A search for files announced as non-MP3 files (24 kbit/s, 16000 Hz).
  bool SearchNonMp3(const std::string& ID, int MaxResults, const std::string& SongName,
                    const std::string& LinkTypeAction, const std::string& LinkTypeValue,
                    const std::string& PingTimeAction, const std::string& PingTimeValue);
  bool LoadFromFile(const std::string& FileName) { return true; }
  bool SaveToFile(const std::string& FileName) { return true; }
  bool AddFolder(const std::string& Folder) { return false; }
  void ClearFolders() { folders_.clear(); }

  // ---- transfers and shared files
  // False only when ID is no session. A local file another download
  // writes is never written by a second one: the second gets a free name
  // as the file-exists question's Rename gives it ("name (2).ext", ...).
  // A shared local file is withdrawn while a download writes it and
  // shared again, as it was listed, once it is complete, or when the
  // download ends without having written it.
  bool Download(const std::string& ID, const std::string& Nick, const std::string& RemoteFileName,
                const std::string& LocalFileName, bool Resume, int ResumeCount, const std::string& GnutellaHost,
                int GnutellaPort, bool IsGnutella, const std::string& Index);
  void RemoveTransfer(TNapsterClientData& Data, bool Incomplete);
  void RemoveAllDownloads();
  void RemoveAllUploads();
  int DownloadCount() const { return int(downloads_.size()); }
  // The transfer (queued, active download or upload) with this Key, or
  // nullptr; valid until it is removed.
  TNapsterClientData* FindTransfer(const std::string& Key) const;
  // Downloads waiting for a free slot (MaxDownloads), in arrival order.
  int LocalQueueCount() const { return int(localQueue_.size()); }
  // Bytes per second of all downloads and of all uploads, summed by the
  // timer at most every two seconds.
  int64_t DownloadRate() const { return downloadRate_; }
  int64_t UploadRate() const { return uploadRate_; }
  int UploadCount() const { return int(uploads_.size()); }
  // Lists FileName (when it exists) as a shared file and announces it;
  // Mark: it may be withdrawn by UnshareFile. A file a download writes is
  // listed once the download completes it.
  void ShareFile(const std::string& FileName, bool Mark);
  void UnshareFile(const std::string& FileName);
  void ClearSharedFiles();
  int SharedCount() const;
  // The share tree that folder scans walk (the main window's share
  // manager); without one a scan finds nothing and ends at once.
  TShareManager* ShareManager = nullptr;
  // Withdraws every shared file, then lists every file of the share tree
  // (a file a download writes once it is complete).
  void ScanAllDrives(const std::string& Mask);
  // Withdraws the files a scan listed in the folder list (state 1; a
  // finished download elsewhere stays), then scans again, as above.
  void ScanFolders(const std::string& Mask, bool Recursive);
  void StopScan();
  // The file types the last scan was started with.
  const std::string& ScanMask() const { return scanMask_; }

  // ---- what the sessions call (on the main thread)
  // Fires the published event an EVENT record stands for.
  void EventReceived(const std::string& ID, const TMessageItem& Record);

 private:
  struct Connection {
    TEasySocket* Socket;
    TNapsterClientData* Data;
  };

  template <class Event, class... Args>
  void Fire(const Event& event, Args&&... args) {
    if (event) event(this, std::forward<Args>(args)...);
  }
  using Fields = std::initializer_list<std::pair<const char*, std::string>>;
  // False when a full queue of a session it is for left the record out
  // (Unsent and Queued tell the rest).
  bool Post(const std::string& id, const char* verb, Fields fields = {});
  bool Deliver(const TMessageItem& record, const std::string& id);
  // What the transfers tell the servers (the request for a file and the
  // counts of transfers begun and ended) is never dropped: once a session's
  // full queue refused one (or its connection, still being made, could
  // take none), it and every later one for that session wait here, in the
  // order they were made, and go out as the session has room (or logs in).
  // An empty id stands for every session. False when it waits.
  bool Tell(const std::string& id, const std::string& key, const char* verb, Fields fields = {});
  // Sends what waits for the session while its queue takes it.
  void SendWaiting(const std::string& id);
  // Takes a transfer's waiting request of this verb back: nobody needs it.
  void Unwait(const std::string& key, const char* verb);
  // A session's queue has room again after it refused a request.
  void QueueRoom(const std::string& id);
  // SET_PORT with the data port as it is now.
  bool TellPort(const std::string& id);

  // Sessions.
  int SessionIndex(const std::string& id) const;
  int SessionIndexOf(const TEasySocket* connection) const;
  void ConnectSession(TNapsterServerData* server);
  void RemoveSession(int index);
  void SessionFinished(TEasySocket* socket);
  void WireSession(TNapsterClientThread& session);
  void Redirected(const std::string& id, const std::string& host, int port);
  void SearchEnded();
  void FireFileItem(const TNapsterClientOnFileItem& event, const std::string& id, const TMessageItem& r);

  // Transfers.
  // What search and browse results announced: the size of each file, by
  // session ID + nick + file name, the latest kMaxAnnouncedSizes of them.
  static constexpr size_t kMaxAnnouncedSizes = 20000;
  void NoteAnnouncedSize(const std::string& key, int64_t size);
  int64_t AnnouncedSizeOf(const std::string& key) const;
  // A download that is not complete is (or will be) writing this file.
  bool Rewriting(const std::string& path) const;
  // Takes a file a download is about to write out of the shared files
  // (remembering it as it was, and its entry's state) and ends the uploads
  // of it that wait for their peer: none is served at a partial length.
  void WithholdShare(const std::string& path);
  // Shares a file a download has written (written), or, once no download
  // writes it any more, gives back one that is still as it was, in the
  // state its entry had (a new entry: 1).
  void ShareWritten(const std::string& path, bool written);
  // Whether a download writes the file: then it is not listed now, and a
  // state given (1 or 2) is the one its entry takes once it is complete
  // (unless it was listed before in a state of its own).
  bool HoldWhileWritten(const std::string& path, uint8_t state);
  // The files held for downloads that a withdrawal picks lose their
  // entries' state: nothing gives them back.
  void ForgetHeld(const std::function<bool(std::string_view, uint8_t)>& which);
  // Withdraws the shared entries, and forgets the held files, which(path,
  // state) picks.
  void WithdrawWhere(const std::function<bool(std::string_view, uint8_t)>& which);
  // The data port: room for a new connection (see MaxDataPortConnections).
  void WireDataPort();
  bool AcceptDataConnection();
  void DataPortRequested(TEasySocket* socket);
  TNapsterClientData* FindDownload(const std::string& key) const;
  TNapsterClientData* FindUpload(const std::string& key) const;
  TNapsterClientData* FindByNickAndFile(bool downloads, const std::string& nick, const std::string& file) const;
  TNapsterClientData* DataOf(const TEasySocket* socket) const;
  void StartDownload(TNapsterClientData* data);
  void RequestDownload(TNapsterClientData* data);
  void ConnectTransfer(TNapsterClientData* data, const std::string& host, int port, const std::string& kind,
                       const std::string& speed, const std::string& md5);
  void ForgetConnection(TNapsterClientData* data);
  std::unique_ptr<TNapsterClientData> TakeTransfer(TNapsterClientData* data);
  void FinishTransfer(TNapsterClientData& data);
  void UploadPolicy(const std::string& id, const std::string& nick, const std::string& file, bool& queued,
                    bool& accept);
  void UploadDecision(TEasySocket* socket, TNapsterDataDecision& d);
  // A peer's connection to the data port now serves this transfer.
  bool ConnectIncoming(TEasySocket* socket, TNapsterClientData* data, TNapsterDataDecision& d);
  void PushDecision(TEasySocket* socket, TNapsterDataDecision& d);
  void WireTransfer(TNapsterDataThread& thread);
  void WireTransferSockets(TEasyWinsock& sockets);
  void TransferFinished(TEasySocket* socket);
  // Fires the download or the upload form of a transfer event.
  void FireData(const TNapsterClientDataOnAction& download, const TNapsterClientDataOnAction& upload,
                TNapsterClientData& data);
  using SharedEntry = TSharedFileList::Entry;
  // ShareFile for a file no download writes; true when the list changed.
  bool ListFile(const std::string& path, bool mark);
  // Lists an entry and announces it; an entry listed already takes its
  // figures when they differ (each session withdraws it and announces it
  // again). False when nothing changed.
  bool AddShare(const SharedEntry& entry);
  void SharesChanged();
  void StartScan(const std::string& mask);
  // A file the scanner's thread found: its entry, listed when the main
  // thread takes the file (ScanItemFound), in the order found.
  void ScanItemPrepared(const std::string& run, SharedEntry entry);
  void ScanItemFound(const std::string& run, const std::string& path);
  // OnAddFile for the shared entry of a local path, when there is one.
  void FireAddFile(const std::string& path);
  void FireAddFile(const TMPEGInfo& info);
  void Withdrawn(const std::vector<TMPEGInfo>& gone);

  void Tick();
  void RetryRemotelyQueued();
  void StartLocallyQueued();
  void TimeOutOneDownload();
  void TimeOutUploads();
  // A connected transfer that moved nothing for its time-out ends.
  void TimeOutStalled();
  void SumRates(bool now);
  // The transfers a timer step visits, taken before any handler runs so
  // that a handler may remove them; each is looked up again before use.
  static std::vector<TNapsterClientData*> Snapshot(const std::vector<std::unique_ptr<TNapsterClientData>>& list);
  bool IsActive(const TNapsterClientData* data, bool download) const;

  TMessagePump pump_;
  std::vector<std::string> unsent_;  // of the last request
  int queued_ = 0;
  // Sessions whose full queue left out the data port's last change.
  std::vector<std::string> portUnsent_;
  // What the transfers told sessions whose queue was full, oldest first.
  struct Waiting {
    std::string Session;
    std::string Key;  // the transfer's
    std::string Verb;
    TMessageItem Record;
  };
  std::deque<Waiting> waiting_;
  TQueueManager waitList_{TQueueManager::Clock::Monotonic};
  // Session tables, kept in step.
  std::vector<std::string> sessionIds_;
  std::vector<std::string> sessionNicks_;
  std::vector<TEasySocket*> sessionConnections_;
  std::vector<std::unique_ptr<TNapsterServerData>> sessionServers_;
  std::vector<std::string> loggedIn_;
  int loggedInCount_ = 0;
  int pendingSearches_ = 0;
  int64_t sessionSerial_ = 0;
  int dataPort_ = 0;
  TEasySocket* dataListener_ = nullptr;

  std::vector<std::unique_ptr<TNapsterClientData>> downloads_;
  std::vector<std::unique_ptr<TNapsterClientData>> localQueue_;
  std::vector<std::unique_ptr<TNapsterClientData>> uploads_;
  int64_t downloadRate_ = 0;
  int64_t uploadRate_ = 0;
  int64_t ratesSummedAt_ = 0;  // monotonic ms
  std::vector<Connection> connections_;  // download and upload connections
  std::vector<std::pair<std::string, int>> uploadsPerNick_;  // session ID + nick
  int uploadTotal_ = 0;
  std::unordered_map<std::string, int64_t> announcedSizes_;  // folded key
  std::deque<std::string> announcedOrder_;                   // oldest first
  // The local file of each download, as it was before the first attempt
  // wrote it: the state of the shared entry it had (0: none) and what the
  // disk said of it. Kept from the download's start until it ends without
  // an attempt to follow.
  struct HeldFile {
    std::string Path;
    uint8_t State = 0;
    bool Existed = false;
    int64_t Size = 0;
    plat::DateTime Modified = 0;
  };
  std::vector<HeldFile> held_;
  HeldFile* FindHeld(const std::string& path);
  // The data port's connections, oldest first, until they finish.
  struct DataPortConnection {
    TEasySocket* Socket;
    bool Requested = false;  // it has sent its request
    bool Dropped = false;    // closed to make room for a newer one
  };
  std::deque<DataPortConnection> dataPortConnections_;

  mutable plat::CriticalSection shareLock_;
  TSharedFileList shares_;
  std::atomic<bool> sharesChangePosted_{false};  // a SHARES_CHANGED not yet read
  bool sharesChangeDropped_ = false;  // a full queue left one out: the timer posts again
  std::vector<std::string> folders_;
  // Paths the current scan reported that are not shared (a shared one is
  // marked in its entry).
  std::unordered_set<std::string> scanSeen_;
  // Entries the scanner's threads prepared, by run, not yet taken.
  std::map<std::string, std::deque<SharedEntry>> scanPrepared_;
  std::string scanMask_;
  std::unique_ptr<TFileFind> finder_;  // ended before the lists above go

  bool ticking_ = false;
  plat::MessageTarget window_;
  // Last, so their connections end before anything above goes.
  TEasyWinsock sessionSockets_;
  TEasyWinsock transferSockets_;
  TEasyWinsock dataSockets_;
};

// The property values the main window gives its component: no speed
// limits, 20 uploads (20 per nick), one download at a time, no automatic
// resume, link type 2, build 100, 500-second upload and download time-outs
// (the tools that stand in for the main window use them too).
void ApplyMainWindowProperties(TNapsterClient& client);
