#include "core/mpeg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/stream.h"

const char* const MpegVersionName[4] = {"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
const char* const MpegLayerName[4] = {"Layer ?", "Layer III", "Layer II", "Layer I"};
const char* const MpegChannelModeName[5] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono",
                                            "Unknown"};
const char* const MpegEmphasisName[4] = {"None", "50/15 ms", "Unknown", "CCIT J.17"};
const char* const MpegEncoderName[7] = {"Unknown", "Xing", "FhG", "LAME", "Blade", "GoGo",
                                        "Shine"};

namespace {

// What ReadFromFile reads when it opens a file covers the last block it
// searches and the ID3v1 tag after it.
static_assert(kTagTailRead >= TMPEGaudio::kBlockSize + 128);

// kbit/s by [MPEG 1 ? 0 : 1][layer I, II, III][index].
const uint16_t kBitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};

// Hz by version id (2.5, reserved, 2, 1) and index.
const uint16_t kSampleRates[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Reads up to count bytes at offset into a zeroed buffer; the bytes read.
int ReadBlock(plat::Stream& s, int64_t offset, unsigned char* buf, int count) {
  std::memset(buf, 0, size_t(count));
  if (offset < 0) offset = 0;
  s.SetPosition(offset);
  int done = 0;
  while (done < count) {
    const int64_t n = s.Read(buf + done, count - done);
    if (n <= 0) break;
    done += int(n);
  }
  return done;
}

}  // namespace

bool TMPEGaudio::IsFrameHeader(const unsigned char* b) {
  return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && ((b[1] >> 3) & 3) != kMpegVersionUnknown &&
         ((b[1] >> 1) & 3) != kMpegLayerUnknown && (b[2] >> 4) != 0 && (b[2] >> 4) != 15 &&
         ((b[2] >> 2) & 3) != 3 && (b[3] & 3) != 2;
}

TMPEGaudio::FrameData TMPEGaudio::DecodeHeader(const unsigned char* b) {
  FrameData f;
  std::memcpy(f.Data, b, 4);
  f.VersionID = (b[1] >> 3) & 3;
  f.LayerID = (b[1] >> 1) & 3;
  f.ProtectionBit = (b[1] & 1) == 0;
  f.BitRateID = b[2] >> 4;
  f.SampleRateID = (b[2] >> 2) & 3;
  f.PaddingBit = (b[2] & 2) != 0;
  f.PrivateBit = (b[2] & 1) != 0;
  f.ModeID = b[3] >> 6;
  f.ModeExtensionID = (b[3] >> 4) & 3;
  f.CopyrightBit = (b[3] & 8) != 0;
  f.OriginalBit = (b[3] & 4) != 0;
  f.EmphasisID = b[3] & 3;
  return f;
}

int TMPEGaudio::HeaderBitRate(const FrameData& f) {
  if (f.VersionID == kMpegVersionUnknown || f.LayerID == kMpegLayerUnknown) return 0;
  const int layer = 3 - f.LayerID;  // layer I = 0, II = 1, III = 2
  return kBitRates[f.VersionID == kMpegVersion1 ? 0 : 1][layer][f.BitRateID & 15];
}

int TMPEGaudio::HeaderSampleRate(const FrameData& f) {
  return kSampleRates[f.VersionID & 3][f.SampleRateID & 3];
}

int TMPEGaudio::Coefficient(const FrameData& f) {
  // Bytes per frame and kbit/s at 1 kHz: samples per frame / 8.
  if (f.LayerID == kMpegLayer1) return f.VersionID == kMpegVersion1 ? 48 : 24;
  if (f.LayerID == kMpegLayer2) return 144;  // 1152 samples in every version
  return f.VersionID == kMpegVersion1 ? 144 : 72;
}

int TMPEGaudio::PaddingBytes(const FrameData& f) {
  if (!f.PaddingBit) return 0;
  return f.LayerID == kMpegLayer1 ? 4 : 1;
}

int TMPEGaudio::FrameLength(const FrameData& f) {
  const int rate = HeaderSampleRate(f);
  if (rate == 0) return 0;
  return int(int64_t(Coefficient(f)) * HeaderBitRate(f) * 1000 / rate) + PaddingBytes(f);
}

int TMPEGaudio::XingOffset(const FrameData& f) {
  // Four header bytes plus the side information.
  const bool mono = f.ModeID == kMpegChannelMono;
  if (f.VersionID == kMpegVersion1) return mono ? 21 : 36;
  return mono ? 13 : 21;
}

void TMPEGaudio::ResetData() {
  fileLength_ = 0;
  vbr_ = VBRData();
  frame_ = FrameData();
  vendorID_.clear();
}

bool TMPEGaudio::SearchFrame(const unsigned char* block, int blockLength) {
  for (int pos = 0; pos <= kBlockSize / 2 && pos + 4 <= blockLength; ++pos) {
    if (!IsFrameHeader(block + pos)) continue;
    const FrameData f = DecodeHeader(block + pos);
    const int len = FrameLength(f);
    if (len < 4 || pos + len + 4 > blockLength) continue;
    if (!IsFrameHeader(block + pos + len)) continue;
    frame_ = f;
    frame_.Found = true;
    frame_.Position = pos;
    frame_.Size = len;
    return true;
  }
  return false;
}

void TMPEGaudio::ReadVBR(const unsigned char* block, int blockLength) {
  auto fits = [&](int at, int n) { return at >= 0 && at + n <= blockLength; };
  const int xing = frame_.Position + XingOffset(frame_);
  if (fits(xing, 8) && (std::memcmp(block + xing, "Xing", 4) == 0 ||
                        std::memcmp(block + xing, "Info", 4) == 0)) {
    vbr_.Found = true;
    std::memcpy(vbr_.ID, block + xing, 4);
    const uint32_t flags = BigEndian32(block + xing + 4);
    int at = xing + 8;
    if (flags & 1) {
      if (fits(at, 4)) vbr_.Frames = BigEndian32(block + at);
      at += 4;
    }
    if (flags & 2) {
      if (fits(at, 4)) vbr_.Bytes = BigEndian32(block + at);
      at += 4;
    }
    if (flags & 4) at += 100;  // seek table
    if (flags & 8) {
      if (fits(at, 4)) vbr_.Scale = block[at + 3];
      at += 4;
    }
    if (fits(at, 8)) {
      const char* v = reinterpret_cast<const char*>(block + at);
      vbr_.VendorID.assign(v, strnlen(v, 8));
    }
    return;
  }
  const int vbri = frame_.Position + 36;
  if (fits(vbri, 18) && std::memcmp(block + vbri, "VBRI", 4) == 0) {
    vbr_.Found = true;
    std::memcpy(vbr_.ID, "VBRI", 4);
    vbr_.Scale = block[vbri + 9];
    vbr_.Bytes = BigEndian32(block + vbri + 10);
    vbr_.Frames = BigEndian32(block + vbri + 14);
  }
}

void TMPEGaudio::FindVendorID(const unsigned char* block, int blockLength) {
  for (int i = 0; i <= 2 * frame_.Size; ++i) {
    const int at = blockLength - i - 8;
    if (at < 0) break;
    if (std::memcmp(block + at, "LAME", 4) == 0) {
      vendorID_.assign(reinterpret_cast<const char*>(block + at), 8);
      return;
    }
    if (std::memcmp(block + at, "GOGO", 4) == 0) {
      vendorID_ = "GOGO";
      return;
    }
  }
}

bool TMPEGaudio::ReadFromFile(const std::string& fileName) {
  ResetData();
  id3v1_.Reset();
  id3v2_.Reset();
  return ReadFileStream(fileName, [this](plat::Stream& s) { return ReadFromStream(s); });
}

bool TMPEGaudio::ReadFromStream(plat::Stream& s) {
  ResetData();
  if (!id3v1_.ReadFromStream(s) || !id3v2_.ReadFromStream(s)) return false;
  try {
    std::vector<unsigned char> block(kBlockSize);
    fileLength_ = s.Size();
    int got = ReadBlock(s, id3v2_.Size, block.data(), kBlockSize);
    if (!SearchFrame(block.data(), got) && got == kBlockSize) {
      got = ReadBlock(s, (fileLength_ - id3v2_.Size) / 2, block.data(), kBlockSize);
      SearchFrame(block.data(), got);
    }
    if (frame_.Found) ReadVBR(block.data(), got);
    if (frame_.Found && !vbr_.Found) {
      // The encoder's signature near the end of the audio. Files shorter
      // than a block are looked at from their start.
      const int64_t end = fileLength_ - (id3v1_.Exists ? 128 : 0);
      const int64_t start = std::max<int64_t>(0, end - kBlockSize);
      got = ReadBlock(s, start, block.data(), int(std::max<int64_t>(0, end - start)));
      FindVendorID(block.data(), got);
    }
    if (!frame_.Found) ResetData();
    return true;
  } catch (const plat::EStreamError&) {
    ResetData();
    return false;
  }
}

// A variable-bit-rate header counts only when it gives a frame count.
static bool HasFrameCount(const TMPEGaudio::VBRData& v) { return v.Found && v.Frames >= 1; }

uint16_t TMPEGaudio::BitRate() const {
  if (!frame_.Found) return 0;
  // An "Info" header marks a constant-rate file: its rate is the frame
  // header's, whatever average the header's byte count (tags and padding
  // included) would give.
  const bool constantRate = vbr_.Found && std::memcmp(vbr_.ID, "Info", 4) == 0;
  if (constantRate || !HasFrameCount(vbr_) || vbr_.Bytes < 1) return uint16_t(HeaderBitRate(frame_));
  const double perFrame = double(vbr_.Bytes) / vbr_.Frames - PaddingBytes(frame_);
  const double kbps = std::round(perFrame * HeaderSampleRate(frame_) / Coefficient(frame_) / 1000);
  return uint16_t(std::clamp(kbps, 0.0, 65535.0));
}

uint16_t TMPEGaudio::SampleRate() const {
  return frame_.Found ? uint16_t(HeaderSampleRate(frame_)) : 0;
}

double TMPEGaudio::Duration() const {
  if (!frame_.Found) return 0;
  if (HasFrameCount(vbr_))
    return double(vbr_.Frames) * Coefficient(frame_) * 8 / HeaderSampleRate(frame_);
  const int rate = HeaderBitRate(frame_);
  if (rate == 0) return 0;
  return double(fileLength_ - id3v2_.Size - frame_.Position) * 8 / rate / 1000;
}

bool TMPEGaudio::Valid() const {
  const uint16_t rate = BitRate();
  return frame_.Found && rate >= 8 && rate <= 448 && Duration() >= 0.1;
}
