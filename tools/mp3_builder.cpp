#include "tools/mp3_builder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/mpeg.h"

namespace mp3gen {
namespace {

void PutBE32(std::string& s, size_t at, uint32_t v) {
  s[at] = char(v >> 24);
  s[at + 1] = char(v >> 16);
  s[at + 2] = char(v >> 8);
  s[at + 3] = char(v);
}

void PutText(std::string& s, size_t at, const std::string& text, size_t width) {
  std::memcpy(&s[at], text.data(), std::min(text.size(), width));
}

}  // namespace

std::string Header::Bytes() const {
  std::string b(4, '\0');
  b[0] = char(0xFF);
  b[1] = char(0xE0 | (version << 3) | (layer << 1) | (crc ? 0 : 1));
  b[2] = char((bitRateIndex << 4) | (sampleRateIndex << 2) | (padding ? 2 : 0));
  b[3] = char(mode << 6);
  return b;
}

int Header::Length() const {
  const std::string b = Bytes();
  return TMPEGaudio::FrameLength(
      TMPEGaudio::DecodeHeader(reinterpret_cast<const unsigned char*>(b.data())));
}

std::string Frames(const Header& h, int count, char fill) {
  std::string one = h.Bytes() + std::string(size_t(h.Length() - 4), fill);
  std::string out;
  out.reserve(one.size() * size_t(count));
  for (int i = 0; i < count; ++i) out += one;
  return out;
}

std::string XingFrame(const Header& h, uint32_t frames, uint32_t bytes, uint32_t flags,
                      const std::string& vendor, const char* id, uint32_t quality) {
  std::string f = Frames(h, 1);
  size_t at = (h.version == 3) ? (h.mode == 3 ? 21 : 36) : (h.mode == 3 ? 13 : 21);
  std::memcpy(&f[at], id, 4);
  PutBE32(f, at + 4, flags);
  at += 8;
  if (flags & 1) PutBE32(f, at, frames), at += 4;
  if (flags & 2) PutBE32(f, at, bytes), at += 4;
  if (flags & 4) {
    for (int i = 0; i < 100; ++i) f[at + size_t(i)] = char(i * 255 / 100);
    at += 100;
  }
  if (flags & 8) PutBE32(f, at, quality), at += 4;
  if (!vendor.empty()) PutText(f, at, vendor, 9);
  return f;
}

std::string VbriFrame(const Header& h, uint32_t frames, uint32_t bytes, uint16_t quality) {
  std::string f = Frames(h, 1);
  const size_t at = 36;
  std::memcpy(&f[at], "VBRI", 4);
  f[at + 5] = 1;  // version
  f[at + 8] = char(quality >> 8);
  f[at + 9] = char(quality);
  PutBE32(f, at + 10, bytes);
  PutBE32(f, at + 14, frames);
  return f;
}

std::string ID3v2Frame(const std::string& id, const std::string& body) {
  std::string f = id.substr(0, 4) + std::string(6, '\0') + body;
  PutBE32(f, 4, uint32_t(body.size()));
  return f;
}

std::string ID3v2Tag(int majorVersion, const std::string& frames, uint32_t totalSize) {
  const uint32_t size = std::max<uint32_t>(totalSize, uint32_t(frames.size() + 10));
  std::string t = "ID3";
  t += char(majorVersion);
  t += '\0';  // revision
  t += '\0';  // flags
  const uint32_t body = size - 10;
  t += char((body >> 21) & 0x7F);
  t += char((body >> 14) & 0x7F);
  t += char((body >> 7) & 0x7F);
  t += char(body & 0x7F);
  t += frames;
  t.resize(size, '\0');
  return t;
}

std::string ID3v1Tag(const std::string& title, const std::string& artist,
                     const std::string& album, const std::string& year,
                     const std::string& comment, int track, uint8_t genre) {
  std::string t(128, '\0');
  PutText(t, 0, "TAG", 3);
  PutText(t, 3, title, 30);
  PutText(t, 33, artist, 30);
  PutText(t, 63, album, 30);
  PutText(t, 93, year, 4);
  if (track >= 0) {
    PutText(t, 97, comment, 28);
    t[125] = 0;
    t[126] = char(track);
  } else {
    PutText(t, 97, comment, 30);
  }
  t[127] = char(genre);
  return t;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(f);
}

}  // namespace mp3gen
