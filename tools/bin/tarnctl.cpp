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
//                              "EVENT <OnName> KEY=value ..." (see docs/development.md)
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
// error; in a sanitizer build a leak found at the end fails it too.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iostream>
#include <memory>
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
#include "core/web_client.h"
#include "peer/gateway/gateway.h"
#include "peer/napster/napster_client.h"
#include "peer/napster/napster_helpers.h"
#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "tools/leak_check.h"
#include "tools/napster_console.h"

namespace {

using Args = std::vector<std::string>;

// Passes the body on as it arrives (to a file or an output stream) and
// counts it.
class Sink : public plat::Stream {
 public:
  explicit Sink(std::ostream* out, std::unique_ptr<plat::Stream> file) : out_(out), file_(std::move(file)) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buf, int64_t count) override {
    if (file_) {
      count = file_->Write(buf, count);
    } else {
      out_->write(static_cast<const char*>(buf), std::streamsize(count));
      if (!*out_) return 0;
    }
    written_ += count;
    return count;
  }
  int64_t Seek(int64_t, Origin) override { return written_; }
  int64_t Size() override { return written_; }
  void SetSize(int64_t) override {}

 private:
  std::ostream* out_;
  std::unique_ptr<plat::Stream> file_;
  int64_t written_ = 0;
};

// One HTTP GET: the status line and the response headers go to out, the
// body to file (or to out when no file is given).
struct HttpGetResult {
  int code = 0;       // the status, or the client's negative code
  int64_t bytes = 0;  // body bytes written
};

HttpGetResult HttpGet(const std::string& url, const std::string& file, std::ostream& out) {
  HttpGetResult r;
  TWebClientHandle h;
  r.code = h.Open(url);
  if (r.code < 0) return r;
  r.code = h.Request(0, 0);
  if (r.code < 0) return r;
  out << "HTTP " << r.code << "\n";
  for (int i = 0; i < h.ResponseHeaderCount(); ++i) out << h.ResponseHeaderName(i) << ": " << h.ResponseHeaderValue(i) << "\n";
  out << "\n";
  std::unique_ptr<plat::Stream> target;
  try {
    if (!file.empty()) target = std::make_unique<plat::FileStream>(file, plat::FileStream::kCreate);
  } catch (const plat::EStreamError&) {
    r.code = kWebCannotStore;
    return r;
  }
  Sink sink(&out, std::move(target));
  int rc = h.ReadBodyTo(sink, -1);  // streamed, so no cap
  r.bytes = sink.Size();
  if (rc < 0) r.code = rc;
  return r;
}

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

int ToInt(const std::string& s, int fallback) { return WordToInt(s, fallback); }

// The console on standard input and output. Lines are read on a thread of
// their own, which may still wait for input when the program ends.
int RunConsole(const std::string& downloadDir) {
  NapsterConsole console(downloadDir, [](const std::string& line) {
    // The whole line, whatever bytes it holds.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  });
  console.OnQuit = [](int) { plat::MainLoop::Quit(); };
  std::shared_ptr<ConsoleInput> input = console.Input();
  std::thread([input] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      input->Feed(line);
    }
    input->End();
  }).detach();
  plat::MainLoop::Run();
  return console.ExitCode();
}

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
  const int code = RunConsole(downloadDir);
  if (gateway) StopGateway();
  // The input thread may still wait for a line that never comes.
  ExitAfterLeakCheck(code);
}
