// The main window's handlers of its client component's events: each shows
// its event where a user looks for it.
#include "app/language.h"
#include "app/legacy_settings_form.h"
#include "app/main_form.h"
#include "app/message_view.h"
#include "app/search_view.h"
#include "app/share_view.h"
#include "app/transfer_view.h"
#include "core/globals.h"
#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "MainForm";
constexpr const char* kTransfers = "TransferView";
// Files announced between two showings of the count.
constexpr int kAnnouncedStep = 1000;

}  // namespace

void TMainForm::BindClient() {
  TNapsterClient& c = NapsterClient;
  using ID = const std::string&;
  using Text = const std::string&;

  // ---------------------------------------------------------------- sessions
  c.OnLogin = Live([this](TNapsterClient*, ID id, Text) {
    LegacySettings->SessionLogin(id);
    Log("Logged in to " + ServerName(id) + ".");
    SetStatus(LangText(kSection, "00050", "Logged in to") + " " + ServerName(id));
    ShowConnection();
  });
  c.OnLoginError = Live([this](TNapsterClient*, ID id, Text reason) {
    LegacySettings->SessionLoginError(id, reason);
    Log(ServerName(id) + " refused the login: " + reason);
    SetStatus(ServerName(id) + ": " + reason);
  });
  c.OnFinish = Live([this](TNapsterClient*, ID id) {
    const std::string name = ServerName(id);
    LegacySettings->SessionFinished(id);
    stats_.erase(id);
    statsAsked_.erase(id);
    Log("Disconnected from " + name + ".");
    // Its counts (or whatever it said last) are no longer so.
    SetStatus(LangText(kSection, "00201", "Disconnected from") + " " + name);
    ShowConnection();
  });
  c.OnWinsockError = Live([this](TNapsterClient*, ID id, int number, Text text) {
    LegacySettings->SessionSocketError(id, number, text);
    Log(ServerName(id) + ": " + text + " (" + std::to_string(number) + ")");
    SetStatus(ServerName(id) + ": " + text);
  });
  c.OnServerStats = Live([this](TNapsterClient*, ID id, int users, int files, int gb) {
    stats_[id] = TServerStats{users, files, gb};
    const std::string figures = ServerName(id) + ": " + FormatThousands(users) + " users, " + FormatThousands(files) +
                                " files, " + FormatThousands(gb) + " GB";
    SetStatus(figures);
    // The answer to the user's /stats is kept with the chat; what a server
    // sends by itself (after the login, and from time to time) is not.
    if (statsAsked_.erase(id)) Log(figures);
  });
  c.OnMOTD = Live([this](TNapsterClient*, ID id, Text msg) { Log(ServerName(id) + ": " + msg); });
  c.On404 = Live([this](TNapsterClient*, ID id, Text msg) {
    Log(ServerName(id) + ": " + msg);
    SetStatus(msg);
  });
  c.OnOperatorMessage =
      Live([this](TNapsterClient*, ID, Text nick, Text msg) { Log("[operators] " + nick + ": " + msg); });

  // ---------------------------------------------------------------- search
  c.OnSearchItem = Live([this](TNapsterClient*, ID id, Text file, Text request, Text, Text nick, Text ip,
                               int64_t size, int bitRate, int frequency, int seconds, int linkType, int ping,
                               int port, int, bool mp3) {
    TSearchHit r;
    r.ID = id;
    r.Nick = nick;
    r.RequestName = request;
    r.FileName = file;
    r.IP = ip;
    r.Size = size;
    r.BitRate = bitRate;
    r.Frequency = frequency;
    r.Seconds = seconds;
    r.LinkType = linkType;
    r.Ping = ping;
    r.Port = port;
    r.IsMP3 = mp3;
    SearchView->AddResult(r);
  });
  c.OnSearchEnd = Live([this](TNapsterClient*) { SearchView->Ended(); });

  // ---------------------------------------------------------------- users
  c.OnPrivMsg = Live([this](TNapsterClient*, ID, Text nick, Text msg) {
    Log("<" + nick + "> " + msg);
    SetStatus(LangText(kSection, "00051", "Message from") + " " + nick);
    if (MessageView->NickBox()->GetText().empty()) MessageView->NickBox()->SetText(nick);
  });
  c.OnWhoIS = Live([this](TNapsterClient*, ID, Text nick, Text channels, Text version, Text level, int online,
                          int files, int downloads, int uploads, int linkType, Text ip) {
    const std::string address = AddressFromNapsterDecimal(ip).empty() ? ip : AddressFromNapsterDecimal(ip);
    Log("Whois " + nick + ": " + level + ", " + version + ", line " + LinkSpeedToText(linkType) + ", " +
        FormatThousands(files) + " files, " + std::to_string(downloads) + " downloads, " + std::to_string(uploads) +
        " uploads, online " + (online > 0 ? plat::Trim(DurationToText(online)) : "now") +
        (channels.empty() ? "" : ", channels " + plat::Trim(channels)) + (address.empty() ? "" : ", address " + address));
    ShowView(vMessages);
  });
  c.OnDirItem = Live([this](TNapsterClient*, ID, Text file, Text, Text, Text nick, Text, int64_t size, int bitRate,
                            int, int seconds, int, int, int, int, bool mp3) {
    Log("  " + nick + ": " + file + " (" + FormatByteSize(size) +
        (mp3 ? ", " + std::to_string(bitRate) + " kbit/s, " + FormatSongLength(seconds) : "") + ")");
  });
  c.OnDirEnd = Live([this](TNapsterClient*, ID, Text nick) {
    Log("End of " + nick + "'s files.");
    ShowView(vMessages);
  });

  // ---------------------------------------------------------------- shared files
  // A library of many files is announced file by file: the count shows
  // every so many files (and on the statistics timer), not at each one.
  c.OnAddFile = Live([this](TNapsterClient*, Text, Text, Text, int, int, int, int64_t, bool) {
    if (scansRunning_ == 0)
      ShareView->SetAnnounced(NapsterClient.SharedCount());
    else if (++announcedInScans_ % kAnnouncedStep == 0)
      ShowAnnouncing();
  });
  c.OnRemoveFile = Live([this](TNapsterClient*, Text) {
    if (scansRunning_ == 0) ShareView->SetAnnounced(NapsterClient.SharedCount());
  });
  c.OnScanFinished = Live([this](TNapsterClient*) { AnnounceEnded(); });
}

void TMainForm::BindTransfers() {
  TNapsterClient& c = NapsterClient;
  using Data = TNapsterClientData&;
  // A state (or a failure, whose text stays) shown on the transfer's row.
  auto show = [this](TTransferView* v, const std::string& state) {
    return Live([v, state](TNapsterClient*, Data d) { v->Show(d, state); });
  };
  auto fail = [this](TTransferView* v, const std::string& state) {
    return Live([v, state](TNapsterClient*, Data d) { v->Fail(d, state); });
  };
  auto socketError = [this](TTransferView* v) {
    return Live([v](TNapsterClient*, Data d, int number, const std::string& text) {
      v->Fail(d, LangText(kTransfers, "00040", "Network error:") + " " + text + " (" + std::to_string(number) + ")");
    });
  };
  // An upload the server refused (the file is not shared there) says why:
  // nobody will come for it.
  auto error = [this](TTransferView* v) {
    return Live([v](TNapsterClient*, Data d, TNapsterDataErrorType kind) {
      if (!d.Refusal.empty())
        v->Fail(d, LangText(kTransfers, "00200", "Refused by the server:") + " " + d.Refusal);
      else
        v->Fail(d, kind == kDataErrorInvalid       ? LangText(kTransfers, "00041", "Refused by the peer")
                   : kind == kDataErrorUnclearSize ? LangText(kTransfers, "00050", "Unclear size: file left as it was")
                                                   : LangText(kTransfers, "00042", "Transfer failed"));
    });
  };
  TTransferView* down = DownloadView;
  TTransferView* up = UploadView;

  c.OnDownloadStart = Live([this, down](TNapsterClient*, Data d) {
    down->Show(d, LangText(kTransfers, "00020", "Requesting"));
    SetStatus(LangText(kSection, "00053", "Downloading") + " " + d.FileName);
  });
  // Waiting on this side: for a free download slot, or for room in the
  // server connection's queue of requests.
  c.OnDownloadLocalQueued = Live([down](TNapsterClient*, Data d) {
    down->Show(d, d.RequestHeld ? LangText(kTransfers, "00043", "Waiting for the server connection")
                                : LangText(kTransfers, "00021", "Waiting for a free slot"));
  });
  c.OnDownloadQueued = show(down, LangText(kTransfers, "00022", "Queued by the peer"));
  c.OnDownloadConnect = show(down, LangText(kTransfers, "00023", "Connected"));
  c.OnDownloadStats = show(down, LangText(kTransfers, "00024", "Downloading"));
  c.OnDownloadIncomplete = show(down, LangText(kTransfers, "00025", "Incomplete"));
  c.OnDownloadAutoResume = show(down, LangText(kTransfers, "00026", "Resuming"));
  c.OnDownloadUnavailable = fail(down, LangText(kTransfers, "00027", "Not available"));
  c.OnDownloadBothFirewalled = fail(down, LangText(kTransfers, "00028", "Both sides firewalled"));
  c.OnDownloadFileCreateError = fail(down, LangText(kTransfers, "00029", "Cannot create the file"));
  c.OnDownloadFileWriteError = fail(down, LangText(kTransfers, "00030", "Cannot write the file"));
  c.OnDownloadTimeout = fail(down, LangText(kTransfers, "00031", "Timed out"));
  c.OnDownloadWinsockError = socketError(down);
  c.OnDownloadError = error(down);
  c.OnDownloadFinish = Live([this, down](TNapsterClient*, Data d) {
    down->Finish(d, d.Complete ? LangText(kTransfers, "00032", "Complete") : LangText(kTransfers, "00033", "Stopped"));
    if (!d.Complete) return;
    // A finished file is shared with the others, unless sharing is stopped.
    if (sharing_)
      NapsterClient.ShareFile(d.LocalFile, false);
    else
      NapsterClient.ClearSharedFiles();
    SetStatus(LangText(kSection, "00054", "Downloaded") + " " + d.FileName);
  });

  c.OnUploadStart = Live([this, up](TNapsterClient*, Data d) {
    up->Show(d, LangText(kTransfers, "00034", "Waiting for the peer"));
    SetStatus(d.Nick + " " + LangText(kSection, "00055", "is downloading") + " " + d.FileName);
  });
  c.OnUploadConnect = show(up, LangText(kTransfers, "00023", "Connected"));
  c.OnUploadStats = show(up, LangText(kTransfers, "00035", "Uploading"));
  c.OnUploadIncomplete = show(up, LangText(kTransfers, "00025", "Incomplete"));
  c.OnUploadFileOpenError = fail(up, LangText(kTransfers, "00036", "Cannot open the file"));
  c.OnUploadFileReadError = fail(up, LangText(kTransfers, "00037", "Cannot read the file"));
  c.OnUploadTimeout = fail(up, LangText(kTransfers, "00038", "The peer never came"));
  c.OnUploadWinsockError = socketError(up);
  c.OnUploadError = error(up);
  c.OnUploadFinish = Live([up](TNapsterClient*, Data d) {
    const bool whole = d.Complete || (d.FileSize > 0 && d.Position >= d.FileSize);
    up->Finish(d, whole ? LangText(kTransfers, "00032", "Complete") : LangText(kTransfers, "00033", "Stopped"));
  });
}
