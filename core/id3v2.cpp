#include "core/id3v2.h"

#include <algorithm>
#include <cstring>

#include "core/id3v1.h"
#include "platform/stream.h"
#include "platform/text.h"

namespace {

constexpr int kBodyKept = 250;  // bytes of a frame body that are looked at

const char* const kFrameIds[] = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM"};
enum { kTitle, kArtist, kAlbum, kTrack, kYear, kGenre, kComment, kFrameCount };

int FrameIndex(const unsigned char* id) {
  for (int i = 0; i < kFrameCount; ++i)
    if (std::memcmp(id, kFrameIds[i], 4) == 0) return i;
  return -1;
}

// "12/15" -> 12; anything that is not a number (or one past 32 bits) -> 0.
int32_t TrackNumber(const std::string& text) {
  const std::string t = plat::Trim(text.substr(0, text.find('/')));
  if (t.empty() || t.size() > 10) return 0;
  int64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v <= INT32_MAX ? int32_t(v) : 0;
}

// A frame body with its text in Windows-1252: the encoding byte (0
// ISO-8859-1, 1 UTF-16 with a byte-order mark, 2 UTF-16 big-endian, 3
// UTF-8) tells how the text after the first `keep` bytes (the encoding
// byte, and a comment's language) is written. The result is laid out as an
// ISO-8859-1 body would be: the encoding byte 0, the kept bytes, then the
// text, each string terminator one zero byte. Unknown encodings stay as
// they are.
std::string AnsiBody(const std::string& body, size_t keep) {
  const auto encoding = static_cast<unsigned char>(body.empty() ? 0 : body[0]);
  if (encoding == 0 || encoding > 3 || body.size() < keep) return body;
  const std::string_view text = std::string_view(body).substr(keep);
  return std::string(1, '\0') + body.substr(1, keep - 1) +
         (encoding == 3 ? plat::AnsiFromUtf8(text) : plat::AnsiFromUtf16(text, encoding == 2));
}

}  // namespace

void TID3v2::Reset() {
  Exists = 0;
  Version = 0;
  Size = 0;
  Title.clear();
  Artist.clear();
  Album.clear();
  Track = 0;
  Year.clear();
  Genre.clear();
  Comment.clear();
}

bool TID3v2::ReadFromFile(const std::string& fileName) {
  Reset();
  return ReadFileStream(fileName, [this](plat::Stream& s) { return ReadFromStream(s); });
}

bool TID3v2::ReadFromStream(plat::Stream& s) {
  Reset();
  try {
    const int64_t fileLength = s.Size();
    unsigned char h[10] = {};
    s.SetPosition(0);
    if (s.Read(h, 10) != 10 || std::memcmp(h, "ID3", 3) != 0) return true;
    Exists = 1;
    Version = h[3];
    const int64_t size = (int64_t(h[6] & 0x7F) << 21) + (int64_t(h[7] & 0x7F) << 14) +
                         (int64_t(h[8] & 0x7F) << 7) + int64_t(h[9] & 0x7F) + 10;
    Size = size > fileLength ? 0 : int32_t(size);
    if (Version != 3 || Size < 1) return true;

    std::string texts[kFrameCount];
    uint64_t pos = 10;
    const uint64_t end = std::min<uint64_t>(uint64_t(Size), uint64_t(fileLength));
    while (pos < end) {
      unsigned char fh[10];
      s.SetPosition(int64_t(pos));
      if (s.Read(fh, 10) != 10) break;
      if (fh[0] < 'A' || fh[0] > 'Z') break;
      const uint64_t frameSize = (uint64_t(fh[4]) << 24) | (uint64_t(fh[5]) << 16) |
                                 (uint64_t(fh[6]) << 8) | uint64_t(fh[7]);
      const int idx = FrameIndex(fh);
      if (idx >= 0) {
        char body[kBodyKept] = {};
        s.Read(body, int64_t(std::min<uint64_t>(frameSize, kBodyKept)));
        texts[idx] = AnsiBody(std::string(body, kBodyKept), idx == kComment ? 4 : 1);
      }
      pos += 10 + frameSize;  // cannot wrap: both terms are below 2^33
    }

    Title = plat::Trim(texts[kTitle]);
    Artist = plat::Trim(texts[kArtist]);
    Album = plat::Trim(texts[kAlbum]);
    Year = plat::Trim(texts[kYear]);
    Track = TrackNumber(plat::Trim(texts[kTrack]));
    Genre = plat::Trim(texts[kGenre]);
    const size_t paren = Genre.rfind(')');
    if (paren != std::string::npos) Genre.erase(0, paren + 1);
    Comment = texts[kComment].size() > 4 ? plat::Trim(texts[kComment].substr(4)) : std::string();
    return true;
  } catch (const plat::EStreamError&) {
    Reset();
    return false;
  }
}
