#include "peer/text_command.h"

#include <algorithm>
#include <cstdint>

#include "core/global_functions.h"
#include "peer/gateway/gateway.h"
#include "peer/napster/napster_helpers.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/text.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandWords(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && Blank(line[i])) i++;
    if (i >= line.size()) break;
    std::string w;
    if (line[i] == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) end = line.size();
      w = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && !Blank(line[i])) w += line[i++];
    }
    words.push_back(w);
  }
  return words;
}

std::string CommandRest(const std::string& line, size_t n) {
  size_t i = 0;
  for (size_t w = 0; w < n; w++) {
    while (i < line.size() && Blank(line[i])) i++;
    while (i < line.size() && !Blank(line[i])) i++;
  }
  return plat::Trim(line.substr(std::min(i, line.size())));
}

int CommandInt(const std::string& word, int fallback) {
  try {
    size_t used = 0;
    int v = std::stoi(word, &used);
    return used == word.size() ? v : fallback;
  } catch (...) {
    return fallback;
  }
}

std::string AddressFromNapsterDecimal(const std::string& decimal) {
  if (decimal.empty() || decimal.size() > 10 || decimal.find_first_not_of("0123456789") != std::string::npos)
    return "";
  const uint64_t wire = std::stoull(decimal);
  if (wire > 0xFFFFFFFFull) return "";
  const uint32_t w = uint32_t(wire);
  return plat::AddressToText((w << 24) | ((w << 8) & 0xFF0000u) | ((w >> 8) & 0xFF00u) | (w >> 24));
}

bool GnutellaSource(const std::string& nick, std::string& host, std::string& index) {
  const std::string prefix = kGnutellaNickPrefix;
  if (nick.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t colon = nick.find(':', prefix.size());
  if (colon == std::string::npos) return false;
  const std::string idx = nick.substr(prefix.size(), colon - prefix.size());
  const std::string address = AddressFromNapsterDecimal(nick.substr(colon + 1));
  if (idx.empty() || idx.find_first_not_of("0123456789") != std::string::npos || address.empty()) return false;
  host = address;
  index = idx;
  return true;
}

bool ParseDownloadCommand(const std::vector<std::string>& w, TDownloadCommand& out) {
  if (w.size() < 4) return false;
  out = TDownloadCommand();
  out.Gnutella = plat::UpperAscii(w[0]) == "DOWNLOAD_GNUTELLA";
  out.ID = w[1];
  out.Nick = w[2];
  out.RemoteName = w[3];
  if (w.size() > 4) out.Host = w[4];
  // The port and the index are the digits of their words, as every
  // number a command line carries; a port past 65535 is none.
  if (w.size() > 5) {
    const int64_t port = EasyStrToInt64(w[5]);
    out.Port = port <= 65535 ? int(port) : 0;
  }
  if (w.size() > 6) out.Index = std::to_string(EasyStrToInt64(w[6]));
  std::string host, index;
  if (GnutellaSource(out.Nick, host, index)) {
    out.Gnutella = true;
    if (out.Host.empty()) out.Host = host;
    if (out.Index.empty()) out.Index = index;
  }
  return true;
}

std::string MakeDownloadCommand(const std::string& id, const std::string& nick, const std::string& remoteName,
                                const std::string& host, int port, const std::string& index) {
  auto travels = [](const std::string& s) { return s.find_first_of("\"\r\n") == std::string::npos; };
  if (!travels(remoteName) || nick.empty() || nick.find_first_of(" \t\"\r\n") != std::string::npos ||
      id.empty() || id.find_first_of(" \t\"\r\n") != std::string::npos)
    return "";
  std::string line = "DOWNLOAD";
  if (port > 0) line += "_GNUTELLA";
  line += " " + id + " " + nick + " \"" + remoteName + "\"";
  if (port > 0) line += " " + host + " " + std::to_string(port) + " " + index;
  return line;
}

std::string DownloadFileName(const std::string& remoteName) {
  std::string name = IsMp3Name(remoteName) ? remoteName : DecodeNonMp3Name(remoteName);
  const size_t cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  for (char& c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = '_';
  }
  // The file system drops trailing dots and blanks: "a.mp3." would not be
  // the file the checks were made for.
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  if (name.empty()) return "download";
  // Device names, with or without an extension, open the device.
  std::string stem = plat::UpperAscii(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
  bool device = std::find_if(std::begin(kDevices), std::end(kDevices),
                             [&](const char* d) { return stem == d; }) != std::end(kDevices);
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
      stem[3] <= '9')
    device = true;
  return device ? "_" + name : name;
}

std::string FreeFileName(const std::string& path, const std::function<bool(const std::string&)>& taken) {
  const std::string ext = plat::ExtractFileExt(path);
  const std::string stem = path.substr(0, path.size() - ext.size());
  for (int k = 2;; ++k) {
    const std::string candidate = stem + " (" + std::to_string(k) + ")" + ext;
    if (!taken(candidate)) return candidate;
  }
}
