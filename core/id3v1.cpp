#include "core/id3v1.h"

#include <cstring>

#include "platform/stream.h"
#include "platform/text.h"

const char* const MusicGenre[kMaxMusicGenre + 1] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop",
    "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap",
    "Reggae", "Rock", "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks",
    "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance",
    "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic",
    "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz",
    "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk", "Folk-Rock",
    "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progessive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony",
    "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock",
    "Drum Solo", "A capella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House",
    "Hardcore", "Terror", "Indie", "BritPop", "Afro-Punk", "Polsk Punk", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover",
    "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime",
    "JPop", "Synthpop"};

namespace {

// A fixed field of the tag: up to its first NUL, trailing blanks and
// control characters removed.
std::string Field(const unsigned char* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return plat::TrimRight(std::string_view(reinterpret_cast<const char*>(p), len));
}

}  // namespace

void TID3v1::Reset() {
  Exists = 0;
  Version = 1;
  Title.clear();
  Artist.clear();
  Album.clear();
  Year.clear();
  Comment.clear();
  Track = 0;
  Genre = kNoGenre;
}

bool ReadFileStream(const std::string& fileName, const std::function<bool(plat::Stream&)>& read) {
  try {
    plat::HeaderFileStream s(fileName, kTagHeadRead, kTagTailRead);
    return read(s);
  } catch (const plat::EStreamError&) {
    return false;
  }
}

bool TID3v1::ReadFromFile(const std::string& fileName) {
  Reset();
  return ReadFileStream(fileName, [this](plat::Stream& s) { return ReadFromStream(s); });
}

bool TID3v1::ReadFromStream(plat::Stream& s) {
  Reset();
  try {
    const int64_t size = s.Size();
    // A file shorter than a tag simply has none.
    if (size < 128) return size >= 0;
    unsigned char tag[128];
    s.Seek(size - 128, plat::Stream::kBegin);
    s.ReadBuffer(tag, 128);
    if (std::memcmp(tag, "TAG", 3) != 0) return true;
    Exists = 1;
    if ((tag[125] == 0 && tag[126] != 0) || (tag[125] == ' ' && tag[126] != ' ')) Version = 2;
    Title = Field(tag + 3, 30);
    Artist = Field(tag + 33, 30);
    Album = Field(tag + 63, 30);
    Year = Field(tag + 93, 4);
    if (Version == 2) {
      Comment = Field(tag + 97, 28);
      Track = tag[126];
    } else {
      Comment = Field(tag + 97, 30);
    }
    Genre = tag[127];
    return true;
  } catch (const plat::EStreamError&) {
    Reset();
    return false;
  }
}

std::string TID3v1::GenreName() const {
  return Genre <= kMaxMusicGenre ? MusicGenre[Genre] : std::string();
}
