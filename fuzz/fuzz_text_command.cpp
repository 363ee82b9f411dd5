// Text commands and remote file names: a command line never breaks the
// reader, and whatever name a peer gives, the local name stays one plain
// file name in the download folder (no separator, drive, device or
// character a file name cannot hold), and a result's command line reads
// back to the same request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "peer/text_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  TDownloadCommand d;
  ParseDownloadCommand(SplitCommandWords(input), d);
  CommandRest(input, 2);

  const std::string name = DownloadFileName(input);
  if (name.empty() || name == "." || name == ".." || name.find_first_of("<>:\"/\\|?*") != std::string::npos)
    std::abort();
  for (unsigned char c : name)
    if (c < 32 || c == 127) std::abort();
  if (name.back() == '.' || name.back() == ' ') std::abort();

  const std::string line = MakeDownloadCommand("123-4", "nick", input, "10.0.0.1", 6346, "7");
  if (!line.empty()) {
    TDownloadCommand back;
    if (!ParseDownloadCommand(SplitCommandWords(line), back) || back.RemoteName != input || back.Nick != "nick" ||
        back.Host != "10.0.0.1" || back.Port != 6346 || back.Index != "7" || !back.Gnutella)
      std::abort();
  }
  return 0;
}
