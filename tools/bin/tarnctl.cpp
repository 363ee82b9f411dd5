// tarnctl: a command-line companion for tests and benchmarks.
//
//   tarnctl GET <url> [file]   fetches url: prints the status and the
//                              headers, writes the body to file (or to
//                              standard output after the headers); with a
//                              file, tells on standard error how many bytes
//                              it wrote and how long the fetch took
//   tarnctl [--download-dir DIR]
//                              owns one Napster-protocol client component
//                              (set up as the main window sets up its own),
//                              reads one command per line on standard input
//                              and prints every event as one line
//                              "EVENT <OnName> KEY=value ..." (see the README)
//   tarnctl --gateway [options] [--download-dir DIR]
//                              runs the program's local gateway in the same
//                              process (as the program does), then the
//                              console; its client logs in to it with
//                              CONNECT 127.0.0.1 <client port> ...
//     --client-port N          the gateway's port on 127.0.0.1 (10000)
//     --duskwire-port N        the Duskwire listen port (6016; 0: any)
//     --bind ADDR              local address of the Duskwire and Gnutella
//                              sides (every address)
//     --cache HOST:PORT        the Duskwire cache server
//     --gnutella-seed HOST:PORT  the Gnutella host to start from ("": none)
//     --login-wait S           seconds a login waits for a peer (180)
//
// Exit status: 0 when the command did its work (console: QUIT or the end of
// the input), 1 when it failed (console: a WAIT timed out), 2 for a usage
// error.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "core/share_manager.h"
#include "peer/gateway.h"
#include "peer/napster_client.h"
#include "peer/napster_helpers.h"
#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/http_get.h"
#include "tools/share_commands.h"
#include "tools/napster_client_harness.h"

namespace {

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;
  size_t minArgs, maxArgs;
  std::function<int(const Args&)> run;
};

int Get(const Args& a) {
#ifdef _WIN32
  if (a.size() < 2) _setmode(_fileno(stdout), _O_BINARY);  // the body's bytes as they are
#endif
  const int64_t start = plat::MonotonicMs();
  HttpGetResult r = HttpGet(a[0], a.size() > 1 ? a[1] : std::string(), std::cout);
  std::cout.flush();
  if (r.code < 0) {
    std::cerr << "WebClient Exception " << r.code << "\n";
    return 1;
  }
  if (a.size() > 1)
    std::cerr << r.bytes << " bytes written to " << a[1] << " in " << plat::MonotonicMs() - start << " ms\n";
  return 0;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"GET", "GET <url> [file]", 1, 2, Get},
  };
  return commands;
}

int Usage() {
  std::cerr << "usage:\n";
  for (const Command& c : Commands()) std::cerr << "  tarnctl " << c.usage << "\n";
  std::cerr << "  tarnctl [--download-dir DIR]   (commands on standard input)\n";
  std::cerr << "  tarnctl --gateway [--client-port N] [--duskwire-port N] [--bind ADDR] [--cache HOST:PORT]\n"
               "          [--gnutella-seed HOST:PORT] [--login-wait S] [--download-dir DIR]\n";
  return 2;
}

// ----------------------------------------------------------------- console

// Words of a command line; "..." is one word without its quotes.
Args SplitWords(const std::string& line) {
  Args words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    if (i >= line.size()) break;
    std::string w;
    if (line[i] == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) end = line.size();
      w = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') w += line[i++];
    }
    words.push_back(w);
  }
  return words;
}

// The text after the first n words of a line (trimmed).
std::string RestAfter(const std::string& line, size_t n) {
  size_t i = 0;
  for (size_t w = 0; w < n; w++) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') i++;
  }
  return plat::Trim(line.substr(std::min(i, line.size())));
}

int ToInt(const std::string& s, int fallback) {
  try {
    size_t used = 0;
    int v = std::stoi(s, &used);
    return used == s.size() ? v : fallback;
  } catch (...) {
    return fallback;
  }
}

// Lines read from standard input on a thread of its own, handed to the
// main thread. The thread may still block on input when the program ends.
struct InputQueue {
  std::mutex lock;
  std::deque<std::string> lines;
  bool ended = false;
  plat::MessageTarget* target = nullptr;
  std::function<void()> wake;
};

class Console {
 public:
  explicit Console(std::string downloadDir) : downloadDir_(std::move(downloadDir)) {
    ApplyMainWindowProperties(client_);
    client_.VersionText = "tarnctl";
    client_.ShareManager = &shares_;
    AttachNapsterEventLog(client_, [this](const std::string& name, const std::string& line) {
      Print("EVENT " + line);
      seen_.push_back(name);
      CheckWait();
    });
    target_.SetTimer(1, 100, [this] { CheckWait(); });
  }

  int Run() {
    auto* input = new InputQueue();  // left to the reader thread at exit
    input->target = &target_;
    input->wake = [this] { target_.Post([this] { Process(); }); };
    input_ = input;
    std::thread([input] {
      std::string line;
      while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::lock_guard<std::mutex> hold(input->lock);
        input->lines.push_back(line);
        if (input->target) input->wake();
      }
      std::lock_guard<std::mutex> hold(input->lock);
      input->ended = true;
      if (input->target) input->wake();
    }).detach();
    plat::MainLoop::Run();
    {
      std::lock_guard<std::mutex> hold(input->lock);
      input->target = nullptr;
    }
    return exitCode_;
  }

 private:
  static void Print(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

  void Quit(int code) {
    if (quitting_) return;
    quitting_ = true;
    exitCode_ = code;
    client_.Shutdown();
    plat::MainLoop::Quit();
  }

  void Process() {
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
        std::lock_guard<std::mutex> hold(input_->lock);
        if (input_->lines.empty()) {
          if (input_->ended) break;
          return;
        }
        line = input_->lines.front();
        input_->lines.pop_front();
      }
      Execute(line);
    }
    if (!waiting_ && !quitting_) Quit(0);  // end of input
  }

  bool TakeSeen(const std::string& name) {
    for (auto it = seen_.begin(); it != seen_.end(); ++it) {
      if (!plat::SameText(*it, name)) continue;
      seen_.erase(it);
      return true;
    }
    return false;
  }

  void CheckWait() {
    if (!waiting_) return;
    if (TakeSeen(waitName_)) {
      waiting_ = false;
      target_.Post([this] { Process(); });
    } else if (plat::MonotonicMs() > waitDeadline_) {
      waiting_ = false;
      Print("TIMEOUT " + waitName_);
      Quit(1);
    }
  }

  std::string SessionID(const std::string& word) const { return word == "." ? lastSession_ : word; }

  void Reply(const std::string& command, bool ok, const std::string& detail = "") {
    Print(std::string(ok ? "OK " : "ERROR ") + command + (detail.empty() ? "" : " " + detail));
  }

  // The local name of a remote file: its last path part, decoded when the
  // name is a disguised non-MP3 name.
  std::string LocalPath(const std::string& remote) const {
    std::string name = IsMp3Name(remote) ? remote : DecodeNonMp3Name(remote);
    size_t cut = name.find_last_of("/\\");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    return plat::IncludeTrailingDelim(downloadDir_) + name;
  }

  bool SetProperty(const std::string& name, const std::string& value) {
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

  void Execute(const std::string& line) {
    Args w = SplitWords(line);
    if (w.empty() || w[0][0] == '#') return;
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
      client_.Search("", w.size() > 2 ? ToInt(w[2], 100) : 100, w[1], "", "", "", "", "", "", "", "", "");
      Reply(cmd, true);
    } else if (cmd == "BROWSE") {
      if (!need(1)) return;
      client_.GetDir("", w[1]);
      Reply(cmd, true);
    } else if (cmd == "WHOIS") {
      if (!need(1)) return;
      client_.WhoIs("", w[1]);
      Reply(cmd, true);
    } else if (cmd == "MSG") {
      if (!need(2)) return;
      client_.PrivMsg("", w[1], RestAfter(line, 2));
      Reply(cmd, true);
    } else if (cmd == "DOWNLOAD" || cmd == "DOWNLOAD_GNUTELLA") {
      // ID, nick, "remote name" [, Gnutella host, port, index]
      if (!need(3)) return;
      const std::string local = LocalPath(w[3]);
      const bool resume = plat::FileExists(local);
      bool ok = client_.Download(SessionID(w[1]), w[2], w[3], local, resume, 0, w.size() > 4 ? w[4] : "",
                                 w.size() > 5 ? ToInt(w[5], 0) : 0, cmd == "DOWNLOAD_GNUTELLA",
                                 w.size() > 6 ? w[6] : "");
      Reply(cmd, ok, ok ? "LOCAL=" + EventValueText(local) : "no such session");
    } else if (cmd == "SHARE" || cmd == "UNSHARE") {
      if (!need(1)) return;
      const std::string path = RestAfter(line, 1);
      std::string p = path.size() >= 2 && path.front() == '"' && path.back() == '"' ? path.substr(1, path.size() - 2)
                                                                                    : path;
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
        Reply(cmd, false, "cannot read " + w[2]);
        return;
      }
      if (cmd == "SCANALL")
        client_.ScanAllDrives(mask);
      else
        client_.ScanFolders(mask, true);
      Reply(cmd, true);
    } else if (cmd == "PORT") {
      if (!need(1)) return;
      bool ok = client_.SetPort(ToInt(w[1], -1));
      Reply(cmd, ok, "PORT=" + plat::IntToStr(client_.DataPort()));
    } else if (cmd == "SET") {
      if (!need(2)) return;
      Reply(cmd, SetProperty(w[1], RestAfter(line, 2)), w[1]);
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

  TShareManager shares_;  // the tree folder scans walk
  ShareCommands shareCommands_{shares_};
  TNapsterClient client_;
  plat::MessageTarget target_;
  std::string downloadDir_;
  InputQueue* input_ = nullptr;
  std::deque<std::string> seen_;  // events not yet taken by a WAIT
  std::string waitName_;
  int64_t waitDeadline_ = 0;
  bool waiting_ = false;
  bool quitting_ = false;
  bool processing_ = false;
  int exitCode_ = 0;
  std::string lastSession_;
};

}  // namespace

int main(int argc, char** argv) {
  plat::MainLoop::Init();
  if (argc >= 2) {
    for (const Command& c : Commands()) {
      if (!plat::SameText(argv[1], c.name)) continue;
      Args args(argv + 2, argv + argc);
      if (args.size() < c.minArgs || args.size() > c.maxArgs) return Usage();
      return c.run(args);
    }
  }
  std::string downloadDir = ".";
  bool gateway = false;
  TGatewaySettings g;
  auto hostPort = [](const std::string& text, std::string& host, int& port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    port = ToInt(text.substr(colon + 1), -1);
    return port >= 0 && port <= 65535;
  };
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--download-dir" && hasValue) {
      downloadDir = argv[++i];
    } else if (a == "--gateway") {
      gateway = true;
    } else if (a == "--client-port" && hasValue) {
      g.ClientPort = ToInt(argv[++i], -1);
    } else if (a == "--duskwire-port" && hasValue) {
      g.DuskwirePort = ToInt(argv[++i], -1);
    } else if (a == "--bind" && hasValue) {
      g.DuskwireAddress = g.GnutellaAddress = argv[++i];
    } else if (a == "--cache" && hasValue) {
      if (!hostPort(argv[++i], g.CacheHost, g.CachePort)) return Usage();
    } else if (a == "--gnutella-seed" && hasValue) {
      std::string seed = argv[++i];
      g.GnutellaSeedHost.clear();
      if (!seed.empty() && !hostPort(seed, g.GnutellaSeedHost, g.GnutellaSeedPort)) return Usage();
    } else if (a == "--login-wait" && hasValue) {
      g.LoginWait = ToInt(argv[++i], -1);
    } else {
      return Usage();
    }
  }
  if (g.ClientPort < 1 || g.ClientPort > 65535 || g.DuskwirePort < 0 || g.DuskwirePort > 65535 || g.LoginWait < 0)
    return Usage();
  if (gateway) {
    StartGateway(g);
    std::printf("GATEWAY 127.0.0.1:%d\n", g.ClientPort);
    std::fflush(stdout);
  }
  int code = 0;
  {
    Console console(downloadDir);
    code = console.Run();
  }
  if (gateway) StopGateway();
  std::fflush(stdout);
  // The input thread may still wait for a line that never comes.
  std::_Exit(code);
}
