// Builds MP3 bytes for tests, fuzz seeds and benchmarks: frame headers,
// silent frames, Xing/Info and VBRI headers, ID3v1 and ID3v2 tags.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace mp3gen {

struct Header {
  int version = 3;      // 0 = MPEG 2.5, 2 = MPEG 2, 3 = MPEG 1
  int layer = 1;        // 1 = layer III, 2 = layer II, 3 = layer I
  int bitRateIndex = 9; // 128 kbit/s for MPEG 1 layer III
  int sampleRateIndex = 0;
  bool padding = false;
  int mode = 0;         // 3 = mono
  bool crc = false;     // protection bit clear when set

  std::string Bytes() const;  // the four header bytes
  int Length() const;         // frame length in bytes
};

// count frames of h, bodies filled with fill.
std::string Frames(const Header& h, int count, char fill = 0);

// One frame of h carrying a Xing (or "Info") header at the standard offset.
// flags: 1 frames, 2 bytes, 4 seek table, 8 quality; vendor written after
// the fields when not empty.
std::string XingFrame(const Header& h, uint32_t frames, uint32_t bytes, uint32_t flags = 15,
                      const std::string& vendor = "LAME3.99", const char* id = "Xing",
                      uint32_t quality = 57);
// One frame of h carrying a VBRI header 36 bytes after its start.
std::string VbriFrame(const Header& h, uint32_t frames, uint32_t bytes, uint16_t quality = 75);

// An ID3v2.3 frame.
std::string ID3v2Frame(const std::string& id, const std::string& body);
// An ID3v2 tag of that major version holding frames, padded with zeros to
// totalSize bytes (header included) when larger.
std::string ID3v2Tag(int majorVersion, const std::string& frames, uint32_t totalSize = 0);
// An ID3v1 tag; track < 0 writes version 1.0 (comment of 30 bytes).
std::string ID3v1Tag(const std::string& title, const std::string& artist,
                     const std::string& album, const std::string& year,
                     const std::string& comment, int track, uint8_t genre);

// Writes bytes to a file, making its folder (tests and benchmarks); false
// on failure.
bool WriteFile(const std::string& path, const std::string& bytes);

}  // namespace mp3gen
