#include "tools/share_commands.h"

#include <cstdio>

#include "core/file_scan.h"
#include "core/mpeg.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

std::string Quoted(const std::string& s) {
  if (!s.empty() && s.find(' ') == std::string::npos && s.find('"') == std::string::npos)
    return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? '\'' : c;
  return q + "\"";
}

// The first word (upper-cased) and the rest of the line (trimmed).
void Split(const std::string& line, std::string& verb, std::string& rest) {
  const std::string t = plat::Trim(line);
  const size_t blank = t.find(' ');
  verb = plat::UpperAscii(t.substr(0, blank));
  rest = blank == std::string::npos ? std::string() : plat::Trim(t.substr(blank + 1));
}

}  // namespace

ShareCommands::ShareCommands()
    : owned_(std::make_unique<TShareManager>()), manager_(owned_.get()) {}
ShareCommands::ShareCommands(TShareManager& shared) : manager_(&shared) {}

ShareCommands::~ShareCommands() = default;

bool ShareCommands::Run(const std::string& line, std::ostream& out) {
  std::string verb, rest;
  Split(line, verb, rest);
  TShareManager& m = *manager_;
  if (verb == "SCAN") {
    std::string root = rest, masks = "*.mp3";
    const size_t blank = rest.find(' ');
    if (blank != std::string::npos) {
      root = rest.substr(0, blank);
      masks = plat::Trim(rest.substr(blank + 1));
    }
    if (!plat::DirectoryExists(root)) {
      out << "ERROR no folder " << Quoted(root) << "\n";
      return true;
    }
    if (!rulesLoaded_) LoadScanningRules(&m);
    rulesLoaded_ = true;
    int dirs = 0, files = 0;
    bool ended = false;
    m.OnAddDirectory = [&](TShareManager*, TShareDirectory*) { ++dirs; };
    m.OnAddFile = [&](TShareManager*, TShareFile*) { ++files; };
    m.OnScanEnd = [&](TShareManager*) { ended = true; };
    plat::SetFixedDriveRootsForTesting({plat::IncludeTrailingDelim(root)});
    m.StartScan(masks);
    plat::MainLoop::PumpUntil([&] { return ended; }, -1);
    plat::SetFixedDriveRootsForTesting({});
    m.OnAddDirectory = nullptr;
    m.OnAddFile = nullptr;
    m.OnScanEnd = nullptr;
    out << "SCANNED DIRECTORIES=" << dirs << " FILES=" << files << "\n";
  } else if (verb == "SHARES") {
    auto q = m.Query("/", true);
    int n = 0;
    while (q->Next()) {
      ++n;
      if (q->IsDirectory)
        out << "D " << Quoted(q->SharePath) << " PATH=" << Quoted(q->Path) << "\n";
      else
        out << "F " << Quoted(q->SharePath) << " SIZE=" << q->Size << " MP3="
            << (q->IsMP3 ? "TRUE" : "FALSE") << " BITRATE=" << q->BitRate
            << " SAMPLERATE=" << q->SampleRate << " SECONDS=" << q->Seconds << "\n";
    }
    out << "SHARES " << n << "\n";
  } else if (verb == "SAVE" || verb == "LOAD") {
    const bool ok = verb == "SAVE" ? m.SaveToFile(rest) : m.LoadFromFile(rest);
    out << (ok ? "OK " : "ERROR ") << verb << " " << Quoted(rest) << "\n";
  } else if (verb == "MP3") {
    TMPEGaudio a;
    if (!a.ReadFromFile(rest)) {
      out << "ERROR cannot read " << Quoted(rest) << "\n";
      return true;
    }
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.3f", a.Duration());
    TID3v1& v1 = a.ID3v1();
    TID3v2& v2 = a.ID3v2();
    const bool useV2 = v2.Exists && !v2.Title.empty();
    out << "MP3 BITRATE=" << a.BitRate() << " SAMPLERATE=" << a.SampleRate()
        << " SECONDS=" << secs << " VALID=" << (a.Valid() ? "TRUE" : "FALSE")
        << " VBR=" << (a.VBR().Found ? a.VBR().ID : "NONE")
        << " TITLE=" << Quoted(useV2 ? v2.Title : v1.Title)
        << " ARTIST=" << Quoted(useV2 ? v2.Artist : v1.Artist)
        << " ALBUM=" << Quoted(useV2 ? v2.Album : v1.Album)
        << " YEAR=" << Quoted(useV2 ? v2.Year : v1.Year)
        << " GENRE=" << Quoted(useV2 ? v2.Genre : v1.GenreName()) << "\n";
  } else {
    return false;
  }
  return true;
}
