// ID3v2 tag at the start of an MP3 file: header always, frames of version
// 2.3 only.
#pragma once
#include <cstdint>
#include <string>

namespace plat {
class Stream;
}

class TID3v2 {
 public:
  uint8_t Exists = 0;
  uint8_t Version = 0;  // the tag's major version
  int32_t Size = 0;     // the whole tag including its 10-byte header
  std::string Title, Artist, Album;
  int32_t Track = 0;
  std::string Year, Genre, Comment;

  void Reset();
  // True when the file could be read; a file without a tag also answers
  // True (Exists = 0).
  bool ReadFromFile(const std::string& fileName);
  bool ReadFromStream(plat::Stream& s);
};
