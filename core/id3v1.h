// ID3v1 / ID3v1.1 tag: the last 128 bytes of an MP3 file.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace plat {
class Stream;
}

// Opens fileName read-only (others may keep writing it) and hands it to
// read; false when it cannot be opened or read. What the tag and MP3
// analyses read of a file without a large tag lies in its first
// kTagHeadRead and last kTagTailRead bytes (the ID3v2 tag and the block
// searched after it; the ID3v1 tag and the block before it): both are read
// as the file is opened, one call each (one in all for a small file), since
// every call to the system is dear where the system is emulated.
constexpr int kTagHeadRead = 8192;
constexpr int kTagTailRead = 4096;
bool ReadFileStream(const std::string& fileName, const std::function<bool(plat::Stream&)>& read);

// The genre names by index (ID3v1 list with the common extensions).
constexpr int kMaxMusicGenre = 147;
extern const char* const MusicGenre[kMaxMusicGenre + 1];

class TID3v1 {
 public:
  static constexpr uint8_t kNoGenre = 255;

  uint8_t Exists = 0;
  uint8_t Version = 1;  // 1 = ID3v1.0, 2 = ID3v1.1
  std::string Title, Artist, Album, Year, Comment;
  uint8_t Track = 0;
  uint8_t Genre = kNoGenre;

  void Reset();
  // True when the file could be read; a file without a tag also answers
  // True (Exists = 0).
  bool ReadFromFile(const std::string& fileName);
  bool ReadFromStream(plat::Stream& s);
  // The name of Genre, empty when the index is outside the table.
  std::string GenreName() const;
};
