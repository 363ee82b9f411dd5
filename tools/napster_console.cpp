#include "tools/napster_console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>

#include "peer/chat_command.h"
#include "peer/gateway/gateway.h"
#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/text.h"
#include "tools/napster_client_harness.h"
#include "tools/process_memory.h"

namespace {

using Args = std::vector<std::string>;

constexpr size_t kMaxGnutellaResults = 10000;  // results whose port is remembered

int ToInt(const std::string& s, int fallback) { return CommandInt(s, fallback); }

std::string ResultKey(const std::string& nick, const std::string& file) {
  return plat::UpperCase(nick) + '\n' + plat::UpperCase(file);
}

}  // namespace

int WordToInt(const std::string& s, int fallback) { return CommandInt(s, fallback); }

// ----------------------------------------------------------------- input

void ConsoleInput::Feed(std::string line) {
  std::lock_guard<std::mutex> hold(lock_);
  lines_.push_back(std::move(line));
  if (console_) console_->Wake();
}

void ConsoleInput::End() {
  std::lock_guard<std::mutex> hold(lock_);
  ended_ = true;
  if (console_) console_->Wake();
}

// ----------------------------------------------------------------- console

NapsterConsole::NapsterConsole(std::string downloadDir, Output out)
    : out_(std::move(out)), downloadDir_(std::move(downloadDir)) {
  ApplyMainWindowProperties(client_);
  client_.VersionText = "tarnctl";
  client_.ShareManager = &shares_;
  AttachNapsterEventLog(client_, [this](const std::string& name, const std::string& line) {
    Print("EVENT " + line);
    seen_.push_back(name);
    if (seen_.size() > kMaxUnwaited) seen_.pop_front();
    CheckWait();
  });
  // The port of each Gnutella result, for a later DOWNLOAD of it.
  auto printer = client_.OnSearchItem;
  client_.OnSearchItem = [this, printer](TNapsterClient* c, TNapsterID id, TNapsterText file,
                                         TNapsterText request, TNapsterText md5, TNapsterText nick,
                                         TNapsterText ip, int64_t size, int bitRate, int frequency, int seconds,
                                         int linkType, int ping, int port, int bps, bool mp3) {
    std::string host, index;
    if (GnutellaSource(nick, host, index)) {
      const std::string key = ResultKey(nick, file);
      if (gnutellaPorts_.emplace(key, port).second) gnutellaOrder_.push_back(key);
      gnutellaPorts_[key] = port;
      if (gnutellaOrder_.size() > kMaxGnutellaResults) {
        gnutellaPorts_.erase(gnutellaOrder_.front());
        gnutellaOrder_.pop_front();
      }
    }
    printer(c, id, file, request, md5, nick, ip, size, bitRate, frequency, seconds, linkType, ping, port, bps, mp3);
  };
  // The channels joined, for the chat verbs that leave theirs out.
  auto myJoin = client_.OnMyJoin;
  client_.OnMyJoin = [this, myJoin](TNapsterClient* c, TNapsterID id, TNapsterText channel, bool ok) {
    std::erase_if(channels_, [&](const std::string& n) { return plat::SameText(n, channel); });
    if (ok) channels_.push_back(channel);
    myJoin(c, id, channel, ok);
  };
  auto myPart = client_.OnMyPart;
  client_.OnMyPart = [this, myPart](TNapsterClient* c, TNapsterID id, TNapsterText channel) {
    std::erase_if(channels_, [&](const std::string& n) { return plat::SameText(n, channel); });
    myPart(c, id, channel);
  };
  auto finish = client_.OnFinish;
  client_.OnFinish = [this, finish](TNapsterClient* c, TNapsterID id) {
    if (client_.SessionCount() == 0) channels_.clear();
    finish(c, id);
  };
  target_.SetTimer(1, 100, [this] { CheckWait(); });
  std::lock_guard<std::mutex> hold(input_->lock_);
  input_->console_ = this;
}

NapsterConsole::~NapsterConsole() {
  std::lock_guard<std::mutex> hold(input_->lock_);
  input_->console_ = nullptr;
}

void NapsterConsole::Wake() {
  target_.Post([this] { Process(); });
}

void NapsterConsole::Print(const std::string& line) { out_(line); }

void NapsterConsole::Quit(int code) {
  if (quitting_) return;
  quitting_ = true;
  exitCode_ = code;
  client_.Shutdown();
  if (OnQuit) OnQuit(code);
}

void NapsterConsole::Process() {
  // A command that pumps the main loop (SCAN waits for its scan) must not
  // have the next lines run inside it: the outer pass goes on with them.
  if (processing_) return;
  processing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{processing_};
  while (!waiting_ && !quitting_) {
    std::string line;
    {
      std::lock_guard<std::mutex> hold(input_->lock_);
      if (input_->lines_.empty()) {
        if (input_->ended_) break;
        return;
      }
      line = std::move(input_->lines_.front());
      input_->lines_.pop_front();
    }
    Execute(line);
  }
  if (!waiting_ && !quitting_) Quit(0);  // end of input
}

bool NapsterConsole::TakeSeen(const std::string& name) {
  for (auto it = seen_.begin(); it != seen_.end(); ++it) {
    if (!plat::SameText(*it, name)) continue;
    seen_.erase(it);
    return true;
  }
  return false;
}

void NapsterConsole::CheckWait() {
  if (!waiting_) return;
  if (TakeSeen(waitName_)) {
    waiting_ = false;
    Wake();
  } else if (plat::MonotonicMs() > waitDeadline_) {
    waiting_ = false;
    Print("TIMEOUT " + waitName_);
    Quit(1);
  }
}

std::string NapsterConsole::SessionID(const std::string& word) const { return word == "." ? lastSession_ : word; }

void NapsterConsole::Reply(const std::string& command, bool ok, const std::string& detail) {
  Print(std::string(ok ? "OK " : "ERROR ") + command + (detail.empty() ? "" : " " + detail));
}

// The local name of a remote file in the download folder.
std::string NapsterConsole::LocalPath(const std::string& remote) const {
  return plat::IncludeTrailingDelim(downloadDir_) + DownloadFileName(remote);
}

bool NapsterConsole::SetProperty(const std::string& name, const std::string& value) {
  struct Prop {
    const char* name;
    int TNapsterClient::*member;
  };
  static const Prop kInts[] = {{"MaxDownloadBPS", &TNapsterClient::MaxDownloadBPS},
                               {"MaxUploadBPS", &TNapsterClient::MaxUploadBPS},
                               {"MaxUploads", &TNapsterClient::MaxUploads},
                               {"MaxUploadsPerNick", &TNapsterClient::MaxUploadsPerNick},
                               {"MaxDownloads", &TNapsterClient::MaxDownloads},
                               {"MaxResume", &TNapsterClient::MaxResume},
                               {"LinkType", &TNapsterClient::LinkType},
                               {"BuildNumber", &TNapsterClient::BuildNumber},
                               {"UploadTimeout", &TNapsterClient::UploadTimeout},
                               {"DownloadTimeout", &TNapsterClient::DownloadTimeout}};
  for (const Prop& p : kInts) {
    if (!plat::SameText(name, p.name)) continue;
    client_.*p.member = ToInt(value, 0);
    return true;
  }
  if (plat::SameText(name, "EnableAutoResume")) {
    client_.EnableAutoResume = plat::SameText(value, "TRUE") || value == "1";
    return true;
  }
  if (plat::SameText(name, "VersionText")) {
    client_.VersionText = value;
    return true;
  }
  return false;
}

void NapsterConsole::Chat(const std::string& line) {
  TChatRequest r;
  TChatPlace place;
  if (!channels_.empty()) place.Channel = channels_.back();
  place.Joined = [this](const std::string& name) {
    return std::any_of(channels_.begin(), channels_.end(),
                       [&](const std::string& n) { return plat::SameText(n, name); });
  };
  std::string error = ParseChatCommand(line, place, r);
  const std::string cmd = r.Verb->Name;
  if (r.Verb->Scope == TChatScope::kLocal) {  // HELP
    for (const TChatVerb& v : ChatVerbs()) Print("HELP " + ChatVerbHelp(v, false));
    return Reply(cmd, true);
  }
  // The hot list is the server's here: there is none to show.
  if (error.empty() && cmd == "HOTLIST" && r.Nick.empty())
    error = "missing arguments";
  if (!error.empty()) return Reply(cmd, false, error + " (" + ChatVerbHelp(*r.Verb, false) + ")");
  if (!r.Verb->Send(client_, "", r)) return Busy(cmd);
  Reply(cmd, true);
}

// The sessions whose full queue of requests left the last one out.
void NapsterConsole::Busy(const std::string& command) {
  std::string ids;
  for (const std::string& id : client_.Unsent()) ids += (ids.empty() ? "" : ",") + id;
  Reply(command, false, "not sent: the server connection is busy (ID=" + ids + ")");
}

// ID, nick, "remote name" [, Gnutella host, port, index]. A result of the
// Gnutella network (its nick names the host and the file's index) is
// fetched from that host over HTTP, as the main window fetches it, on the
// port its search result gave unless the command names one.
void NapsterConsole::Download(const std::string& command, const Args& w) {
  TDownloadCommand d;
  ParseDownloadCommand(w, d);
  if (d.Gnutella && d.Port <= 0 && command == "DOWNLOAD") {
    auto it = gnutellaPorts_.find(ResultKey(d.Nick, d.RemoteName));
    if (it == gnutellaPorts_.end() || it->second <= 0) {
      Reply(command, false, "no port known for this Gnutella result: give host port index");
      return;
    }
    d.Port = it->second;
  }
  std::string local = LocalPath(d.RemoteName);
  const bool resume = plat::FileExists(local);
  const std::string id = SessionID(d.ID);
  const bool ok = client_.Download(id, d.Nick, d.RemoteName, local, resume, 0, d.Host, d.Port, d.Gnutella, d.Index);
  // The file it writes (another name when another download writes that one).
  if (const TNapsterClientData* t = client_.FindTransfer(id + d.Nick + d.RemoteName)) local = t->LocalFile;
  Reply(command, ok, ok ? "LOCAL=" + EventValueText(local) : "no such session");
}

// A start of the program with this share file, timed by this process's
// clock: the file loaded into the share tree, then every file of the tree
// announced as the main window announces them. The pass's OnAddFile events
// are counted, not printed (a library would print a line per file).
void NapsterConsole::Announce(const std::string& shareFile, const std::string& mask) {
  using Clock = std::chrono::steady_clock;
  auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  const auto addFile = client_.OnAddFile;
  const auto finished = client_.OnScanFinished;
  int files = 0;
  bool ended = false;
  client_.OnAddFile = [&files](TNapsterClient*, TNapsterText, TNapsterText, TNapsterText, int, int, int, int64_t,
                               bool) { ++files; };
  client_.OnScanFinished = [&ended](TNapsterClient*) { ended = true; };
  const Clock::time_point start = Clock::now();
  const bool loaded = shares_.LoadFromFile(shareFile);
  const Clock::time_point load = Clock::now();
  if (loaded) {
    client_.ScanFolders(mask, true);
    plat::MainLoop::PumpUntil([&ended] { return ended; }, -1);
  }
  const Clock::time_point end = Clock::now();
  client_.OnAddFile = addFile;
  client_.OnScanFinished = finished;
  if (!loaded) return Reply("ANNOUNCE", false, "cannot read " + EventValueText(shareFile));
  char times[96];
  std::snprintf(times, sizeof times, " LOAD_MS=%.1f TOTAL_MS=%.1f", ms(load - start), ms(end - start));
  Reply("ANNOUNCE", true, "FILES=" + std::to_string(files) + times);
}

void NapsterConsole::Execute(const std::string& line) {
  Args w = SplitCommandWords(line);
  if (w.empty() || w[0].empty() || w[0][0] == '#') return;
  const std::string cmd = plat::UpperAscii(w[0]);
  auto need = [&](size_t n) {
    if (w.size() >= n + 1) return true;
    Reply(cmd, false, "missing arguments");
    return false;
  };
  if (cmd == "CONNECT" || cmd == "REGISTER") {
    bool reg = cmd == "REGISTER";
    if (!need(reg ? 5 : 4)) return;
    client_.StartSession(w[1], ToInt(w[2], 0), w[3], w[4], reg ? w[5] : std::string(), reg, false, lastSession_);
    Reply(cmd, true, "ID=" + lastSession_);
  } else if (cmd == "SEARCH") {
    if (!need(1)) return;
    if (!client_.Search("", w.size() > 2 ? ToInt(w[2], 100) : 100, w[1], "", "", "", "", "", "", "", "", ""))
      return Busy(cmd);
    Reply(cmd, true);
  } else if (FindChatVerb(cmd)) {
    Chat(line);
  } else if (cmd == "DOWNLOAD" || cmd == "DOWNLOAD_GNUTELLA") {
    if (!need(3)) return;
    Download(cmd, w);
  } else if (cmd == "SHARE" || cmd == "UNSHARE") {
    if (!need(1)) return;
    const std::string p = PathArgument(CommandRest(line, 1));
    if (cmd == "SHARE")
      client_.ShareFile(p, true);
    else
      client_.UnshareFile(p);
    Reply(cmd, true, "COUNT=" + plat::IntToStr(client_.SharedCount()));
  } else if (cmd == "REMOVE") {
    // The transfer's key, as the events show it.
    if (!need(1)) return;
    TNapsterClientData* d = client_.FindTransfer(w[1]);
    if (d) client_.RemoveTransfer(*d, false);
    Reply(cmd, d != nullptr, d ? "" : "no such transfer");
  } else if (cmd == "REMOVEALL") {
    // DOWNLOADS, UPLOADS or (without a word) both.
    const std::string which = w.size() > 1 ? plat::UpperAscii(w[1]) : "";
    if (which != "UPLOADS") client_.RemoveAllDownloads();
    if (which != "DOWNLOADS") client_.RemoveAllUploads();
    Reply(cmd, true);
  } else if (cmd == "SCANALL" || cmd == "SCANFOLDERS") {
    // [mask] [share file]: the share tree to walk, loaded first.
    const std::string mask = w.size() > 1 ? w[1] : "*.*";
    if (w.size() > 2 && !shares_.LoadFromFile(w[2])) {
      Reply(cmd, false, "cannot read " + EventValueText(w[2]));
      return;
    }
    if (cmd == "SCANALL")
      client_.ScanAllDrives(mask);
    else
      client_.ScanFolders(mask, true);
    Reply(cmd, true);
  } else if (cmd == "ANNOUNCE") {
    if (!need(1)) return;
    // share file [mask]
    Announce(w[1], w.size() > 2 ? w[2] : "*.*");
  } else if (cmd == "MEMORY") {
    const ProcessMemory m = MeasureProcessMemory();
    Reply(cmd, true, "RESIDENT=" + std::to_string(m.Resident) + " HEAP=" + std::to_string(m.Heap));
  } else if (cmd == "PORT") {
    if (!need(1)) return;
    bool ok = client_.SetPort(ToInt(w[1], -1));
    Reply(cmd, ok, "PORT=" + plat::IntToStr(client_.DataPort()));
  } else if (cmd == "SET") {
    if (!need(2)) return;
    Reply(cmd, SetProperty(w[1], CommandRest(line, 2)), w[1]);
  } else if (cmd == "WAIT") {
    if (!need(1)) return;
    int seconds = w.size() > 2 ? ToInt(w[2], 30) : 30;
    if (TakeSeen(w[1])) return;
    waitName_ = w[1];
    waitDeadline_ = plat::MonotonicMs() + int64_t(seconds) * 1000;
    waiting_ = true;
  } else if (cmd == "QUIT") {
    Quit(0);
  } else {
    // SCAN, SHARES, SAVE, LOAD and MP3 work on the same share tree.
    std::ostringstream out;
    if (!shareCommands_.Run(line, out)) {
      Reply(cmd, false, "unknown command");
      return;
    }
    std::istringstream lines(out.str());
    for (std::string l; std::getline(lines, l);) Print(l);
  }
}
