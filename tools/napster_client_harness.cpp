#include "tools/napster_client_harness.h"

#include <cstdint>
#include <sstream>
#include <vector>

#include "peer/napster/napster_client.h"
#include "platform/dispatcher.h"
#include "platform/text.h"

std::string EventValueText(const std::string& value) {
  auto control = [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; };
  bool plain = !value.empty();
  for (char c : value)
    if (c == ' ' || c == '"' || control(c)) plain = false;
  if (plain) return value;
  // Inside the quotes nothing a peer sent can end the line or the value.
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (control(c)) {
      const auto b = static_cast<unsigned char>(c);
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}


namespace {

using Keys = std::vector<const char*>;

std::string Value(const std::string& s) { return EventValueText(s); }
std::string Value(bool b) { return b ? "TRUE" : "FALSE"; }
std::string Value(int n) { return plat::IntToStr(n); }
std::string Value(int64_t n) { return plat::IntToStr(n); }
std::string Value(uint8_t n) { return plat::IntToStr(n); }
std::string Value(TRegisterErrorType t) { return plat::IntToStr(int(t)); }

std::string Field(const char* key, const TNapsterClientData& d) {
  std::ostringstream o;
  o << " KEY=" << Value(d.Key) << " ID=" << Value(d.ID) << " NICK=" << Value(d.Nick)
    << " FILE=" << Value(d.FileName) << " REMOTE=" << Value(d.RemoteFile) << " LOCAL=" << Value(d.LocalFile)
    << " DOWNLOAD=" << Value(d.IsDownload) << " MP3=" << Value(d.IsMP3) << " POSITION=" << d.Position
    << " SIZE=" << d.FileSize << " PERCENT=" << d.Percent << " RATE=" << d.BytesPerSecond
    << " TIMELEFT=" << Value(d.TimeLeft) << " COMPLETE=" << Value(d.Complete)
    << " QUEUED=" << Value(d.RemoteQueued) << " HELD=" << Value(d.RequestHeld) << " RESUMES=" << d.ResumeCount;
  return o.str();
}
template <class T>
std::string Field(const char* key, const T& v) {
  return std::string(" ") + key + "=" + Value(v);
}

// A handler for any event signature: its arguments after Sender, printed
// under the given keys.
auto Printer(const TNapsterEventSink& sink, const char* name, Keys keys) {
  return [sink, name, keys](TNapsterClient*, const auto&... args) {
    std::string line = name;
    std::size_t k = 0;
    ((line += Field(k < keys.size() ? keys[k] : "ARG", args), k++), ...);
    sink(name, line);
  };
}

}  // namespace

void AttachNapsterEventLog(TNapsterClient& c, TNapsterEventSink sink, const std::string& skip) {
  const std::string skipped = " " + skip + " ";
  auto set = [&](auto& event, const char* name, Keys keys) {
    if (skipped.find(std::string(" ") + name + " ") != std::string::npos) return;
    event = Printer(sink, name, std::move(keys));
  };
  const Keys fileItem = {"ID", "FILENAME", "REQUEST", "MD5", "NICK", "IP", "SIZE", "BITRATE",
                         "FREQUENCY", "SECONDS", "LINKTYPE", "PING", "PORT", "BPS", "MP3"};
  const Keys member = {"ID", "NICK", "CHANNEL", "FILES", "LINKTYPE"};
  const Keys data = {"DATA"};
  const Keys dataError = {"DATA", "ERROR", "TEXT"};
  set(c.OnLogin, "OnLogin", {"ID", "EMAIL"});
  set(c.OnSendingSharedFiles, "OnSendingSharedFiles", {"ID"});
  set(c.OnLoginError, "OnLoginError", {"ID", "REASON"});
  set(c.OnRegister, "OnRegister", {"ID"});
  set(c.OnRegisterError, "OnRegisterError", {"ID", "ERROR"});
  set(c.OnSearchItem, "OnSearchItem", fileItem);
  set(c.OnSearchEnd, "OnSearchEnd", {});
  set(c.OnResumeSearchItem, "OnResumeSearchItem", fileItem);
  set(c.OnResumeSearchEnd, "OnResumeSearchEnd", {});
  set(c.OnPrivMsg, "OnPrivMsg", {"ID", "NICK", "MSG"});
  set(c.On404, "On404", {"ID", "MSG"});
  set(c.OnSignOn, "OnSignOn", {"ID", "NICK", "LINKTYPE"});
  set(c.OnSignOff, "OnSignOff", {"ID", "NICK"});
  set(c.OnDirItem, "OnDirItem", fileItem);
  set(c.OnDirEnd, "OnDirEnd", {"ID", "NICK"});
  set(c.OnHotListAdd, "OnHotListAdd", {"ID", "NICK", "SUCCESS"});
  set(c.OnServerStats, "OnServerStats", {"ID", "USERS", "FILES", "GB"});
  set(c.OnIgnoreItem, "OnIgnoreItem", {"ID", "NICK"});
  set(c.OnIgnoreListEnd, "OnIgnoreListEnd", {"ID", "COUNT"});
  set(c.OnIgnoreAdd, "OnIgnoreAdd", {"ID", "NICK", "SUCCESS"});
  set(c.OnIgnoreRemove, "OnIgnoreRemove", {"ID", "NICK", "SUCCESS"});
  set(c.OnIgnoreListClear, "OnIgnoreListClear", {"ID"});
  set(c.OnJoin, "OnJoin", member);
  set(c.OnMyJoin, "OnMyJoin", {"ID", "CHANNEL", "SUCCESS"});
  set(c.OnPart, "OnPart", member);
  set(c.OnMyPart, "OnMyPart", {"ID", "CHANNEL"});
  set(c.OnUserItem, "OnUserItem", member);
  set(c.OnUserEnd, "OnUserEnd", {"ID", "CHANNEL"});
  set(c.OnTopic, "OnTopic", {"ID", "CHANNEL", "TOPIC"});
  set(c.OnChannelBanItem, "OnChannelBanItem", {"ID", "CHANNEL", "DEST"});
  set(c.OnBanItem, "OnBanItem", {"ID", "DEST", "BY", "REASON"});
  set(c.OnLinkType, "OnLinkType", {"ID", "NICK", "LINKTYPE"});
  set(c.OnWhoIS, "OnWhoIS",
      {"ID", "NICK", "CHANNELS", "VERSION", "LEVEL", "ONLINE", "FILES", "DOWNLOADS", "UPLOADS", "LINKTYPE", "IP"});
  set(c.OnWhoWas, "OnWhoWas", {"ID", "NICK", "LEVEL", "LASTSEEN"});
  set(c.OnChannelItem, "OnChannelItem", {"ID", "CHANNEL", "TOPIC", "USERS"});
  set(c.OnChannelEnd, "OnChannelEnd", {"ID"});
  set(c.OnMOTD, "OnMOTD", {"ID", "MSG"});
  set(c.OnGlobalMessage, "OnGlobalMessage", {"ID", "NICK", "MSG"});
  set(c.OnOperatorMessage, "OnOperatorMessage", {"ID", "NICK", "MSG"});
  set(c.OnPubMsg, "OnPubMsg", {"ID", "NICK", "CHANNEL", "MSG"});
  set(c.OnEmote, "OnEmote", {"ID", "CHANNEL", "NICK", "MSG"});
  set(c.OnStart, "OnStart", {"ID"});
  set(c.OnConnect, "OnConnect", {"ID"});
  set(c.OnFinish, "OnFinish", {"ID"});
  set(c.OnWinsockError, "OnWinsockError", {"ID", "ERROR", "TEXT"});
  set(c.OnUploadConnect, "OnUploadConnect", data);
  set(c.OnDownloadConnect, "OnDownloadConnect", data);
  set(c.OnUploadStats, "OnUploadStats", data);
  set(c.OnDownloadStats, "OnDownloadStats", data);
  set(c.OnUploadIncomplete, "OnUploadIncomplete", data);
  set(c.OnDownloadIncomplete, "OnDownloadIncomplete", data);
  set(c.OnUploadFinish, "OnUploadFinish", data);
  set(c.OnDownloadFinish, "OnDownloadFinish", data);
  set(c.OnUploadStart, "OnUploadStart", data);
  set(c.OnDownloadStart, "OnDownloadStart", data);
  set(c.OnDownloadQueued, "OnDownloadQueued", data);
  set(c.OnDownloadLocalQueued, "OnDownloadLocalQueued", data);
  set(c.OnDownloadUnavailable, "OnDownloadUnavailable", data);
  set(c.OnDownloadBothFirewalled, "OnDownloadBothFirewalled", data);
  set(c.OnDownloadFileCreateError, "OnDownloadFileCreateError", data);
  set(c.OnDownloadFileWriteError, "OnDownloadFileWriteError", data);
  set(c.OnUploadFileOpenError, "OnUploadFileOpenError", data);
  set(c.OnUploadFileReadError, "OnUploadFileReadError", data);
  set(c.OnDownloadTimeout, "OnDownloadTimeout", data);
  set(c.OnDownloadAutoResume, "OnDownloadAutoResume", data);
  set(c.OnUploadTimeout, "OnUploadTimeout", data);
  set(c.OnDownloadWinsockError, "OnDownloadWinsockError", dataError);
  set(c.OnUploadWinsockError, "OnUploadWinsockError", dataError);
  set(c.OnDownloadError, "OnDownloadError", dataError);
  set(c.OnUploadError, "OnUploadError", dataError);
  set(c.OnAddFile, "OnAddFile", {"FILENAME", "REQUEST", "MD5", "BITRATE", "FREQUENCY", "SECONDS", "SIZE", "MP3"});
  set(c.OnRemoveFile, "OnRemoveFile", {"FILENAME"});
  set(c.OnScanFinished, "OnScanFinished", {});
}

void TNapsterEventLines::Attach(TNapsterClient& client, const std::string& skip) {
  AttachNapsterEventLog(client, [this](const std::string&, const std::string& line) { lines.push_back(line); }, skip);
}

int TNapsterEventLines::Count(const std::string& prefix) const {
  int n = 0;
  for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
  return n;
}

std::string TNapsterEventLines::Find(const std::string& prefix) const {
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) return l;
  return "";
}

bool TNapsterEventLines::Wait(const std::string& prefix, int n, int ms) const {
  return plat::MainLoop::PumpUntil([&] { return Count(prefix) >= n; }, ms);
}

std::string TNapsterEventLines::Text() const {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}
