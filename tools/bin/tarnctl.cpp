// tarnctl: a command-line companion for tests and benchmarks.
//
//   tarnctl GET <url> [file]   fetches url: prints the status and the
//                              headers, writes the body to file (or to
//                              standard output after the headers)
//
// Exit status: 0 when the command did its work, 1 when it failed, 2 for a
// usage error.
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/dispatcher.h"
#include "platform/text.h"
#include "tools/http_get.h"

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
  HttpGetResult r = HttpGet(a[0], a.size() > 1 ? a[1] : std::string(), std::cout);
  std::cout.flush();
  if (r.code < 0) {
    std::cerr << "WebClient Exception " << r.code << "\n";
    return 1;
  }
  if (a.size() > 1) std::cerr << r.bytes << " bytes written to " << a[1] << "\n";
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
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  plat::MainLoop::Init();
  if (argc < 2) return Usage();
  Args args(argv + 2, argv + argc);
  for (const Command& c : Commands()) {
    if (!plat::SameText(argv[1], c.name)) continue;
    if (args.size() < c.minArgs || args.size() > c.maxArgs) return Usage();
    return c.run(args);
  }
  return Usage();
}
