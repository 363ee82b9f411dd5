#include "tools/share_commands.h"

#include <cstdio>

#include "core/file_scan.h"
#include "core/mpeg.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/napster_client_harness.h"

namespace {


// The first word (upper-cased) and the rest of the line (trimmed).
void Split(const std::string& line, std::string& verb, std::string& rest) {
  const std::string t = plat::Trim(line);
  const size_t blank = t.find(' ');
  verb = plat::UpperAscii(t.substr(0, blank));
  rest = blank == std::string::npos ? std::string() : plat::Trim(t.substr(blank + 1));
}

}  // namespace

std::string PathArgument(const std::string& text) {
  if (text.empty() || text[0] != '"') return text;
  const size_t close = text.find('"', 1);
  return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

ShareCommands::ShareCommands()
    : owned_(std::make_unique<TShareManager>()), manager_(owned_.get()) {}
ShareCommands::ShareCommands(TShareManager& shared) : manager_(&shared) {}

ShareCommands::~ShareCommands() = default;

bool ShareCommands::Run(const std::string& line, std::ostream& out) {
  std::string verb, rest;
  Split(line, verb, rest);
  TShareManager& m = *manager_;
  if (verb == "SCAN") {
    std::string root = PathArgument(rest), masks = "*.mp3";
    const size_t end = rest.empty() || rest[0] != '"' ? rest.find(' ') : rest.find('"', 1);
    if (end != std::string::npos && end + 1 < rest.size()) {
      if (rest[0] != '"') root = rest.substr(0, end);
      masks = plat::Trim(rest.substr(end + 1));
    }
    if (!plat::DirectoryExists(root)) {
      out << "ERROR SCAN no folder " << EventValueText(root) << "\n";
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
        out << "D " << EventValueText(q->SharePath) << " PATH=" << EventValueText(q->Path) << "\n";
      else
        out << "F " << EventValueText(q->SharePath) << " SIZE=" << q->Size << " MP3="
            << (q->IsMP3 ? "TRUE" : "FALSE") << " BITRATE=" << q->BitRate
            << " SAMPLERATE=" << q->SampleRate << " SECONDS=" << q->Seconds << "\n";
    }
    out << "SHARES " << n << "\n";
  } else if (verb == "SAVE" || verb == "LOAD") {
    const std::string file = PathArgument(rest);
    const bool save = verb == "SAVE";
    const bool ok = save ? m.SaveToFile(file) : m.LoadFromFile(file);
    out << (ok ? "OK " : "ERROR ") << verb << (ok ? " " : save ? " cannot write " : " cannot read ")
        << EventValueText(file) << "\n";
  } else if (verb == "MP3") {
    const std::string file = PathArgument(rest);
    TMPEGaudio a;
    if (!a.ReadFromFile(file)) {
      out << "ERROR MP3 cannot read " << EventValueText(file) << "\n";
      return true;
    }
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.3f", a.Duration());
    TID3v1& v1 = a.ID3v1();
    TID3v2& v2 = a.ID3v2();
    const bool useV2 = v2.Exists && !v2.Title.empty();
    out << "OK MP3 BITRATE=" << a.BitRate() << " SAMPLERATE=" << a.SampleRate()
        << " SECONDS=" << secs << " VALID=" << (a.Valid() ? "TRUE" : "FALSE")
        << " VBR=" << (a.VBR().Found ? a.VBR().ID : "NONE")
        << " TITLE=" << EventValueText(useV2 ? v2.Title : v1.Title)
        << " ARTIST=" << EventValueText(useV2 ? v2.Artist : v1.Artist)
        << " ALBUM=" << EventValueText(useV2 ? v2.Album : v1.Album)
        << " YEAR=" << EventValueText(useV2 ? v2.Year : v1.Year)
        << " GENRE=" << EventValueText(useV2 ? v2.Genre : v1.GenreName()) << "\n";
  } else {
    return false;
  }
  return true;
}
