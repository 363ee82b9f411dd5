// MP3 analysis: the first valid MPEG audio frame, an optional Xing/Info or
// VBRI header, the encoder's vendor text, and from these the bit rate,
// sample rate, play time and validity of the file.
#pragma once
#include <cstdint>
#include <string>

#include "core/id3v1.h"
#include "core/id3v2.h"

namespace plat {
class Stream;
}

// Header field values.
enum : uint8_t { kMpegVersion25 = 0, kMpegVersionUnknown = 1, kMpegVersion2 = 2, kMpegVersion1 = 3 };
enum : uint8_t { kMpegLayerUnknown = 0, kMpegLayer3 = 1, kMpegLayer2 = 2, kMpegLayer1 = 3 };
enum : uint8_t { kMpegChannelMono = 3 };

extern const char* const MpegVersionName[4];
extern const char* const MpegLayerName[4];
extern const char* const MpegChannelModeName[5];
extern const char* const MpegEmphasisName[4];
extern const char* const MpegEncoderName[7];

class TMPEGaudio {
 public:
  static constexpr int kBlockSize = 3458;  // bytes searched for a frame

  struct VBRData {
    bool Found = false;
    char ID[5] = {};        // "Xing", "Info" or "VBRI"
    uint32_t Frames = 0;    // 0: not given
    uint32_t Bytes = 0;     // 0: not given
    uint8_t Scale = 0;      // quality
    std::string VendorID;   // 8 characters when present
  };
  struct FrameData {
    bool Found = false;
    int Position = 0;       // in the block that was searched
    int Size = 0;           // frame length in bytes
    unsigned char Data[4] = {};
    uint8_t VersionID = 0, LayerID = 0;
    bool ProtectionBit = false;
    uint8_t BitRateID = 0, SampleRateID = 0;
    bool PaddingBit = false, PrivateBit = false;
    uint8_t ModeID = 0, ModeExtensionID = 0;
    bool CopyrightBit = false, OriginalBit = false;
    uint8_t EmphasisID = 0;
  };

  TMPEGaudio() = default;
  TMPEGaudio(const TMPEGaudio&) = delete;
  TMPEGaudio& operator=(const TMPEGaudio&) = delete;

  bool ReadFromFile(const std::string& fileName);
  // The same analysis over any stream (tests and fuzzing use memory).
  bool ReadFromStream(plat::Stream& s);

  uint16_t BitRate() const;     // kbit/s (the average one for VBR files; the header's for "Info")
  uint16_t SampleRate() const;  // Hz
  double Duration() const;      // seconds
  bool Valid() const;

  int64_t FileLength() const { return fileLength_; }
  const VBRData& VBR() const { return vbr_; }
  const FrameData& Frame() const { return frame_; }
  const std::string& VendorID() const { return vendorID_; }
  TID3v1& ID3v1() { return id3v1_; }
  TID3v2& ID3v2() { return id3v2_; }

  // The decoding rules, usable on any four header bytes.
  static bool IsFrameHeader(const unsigned char* b);
  static FrameData DecodeHeader(const unsigned char* b);
  static int HeaderBitRate(const FrameData& f);     // kbit/s, 0 when invalid
  static int HeaderSampleRate(const FrameData& f);  // Hz, 0 when invalid
  static int Coefficient(const FrameData& f);
  static int PaddingBytes(const FrameData& f);
  static int FrameLength(const FrameData& f);
  // Offset of a Xing/Info tag from the first byte of the frame.
  static int XingOffset(const FrameData& f);

 private:
  void ResetData();
  bool SearchFrame(const unsigned char* block, int blockLength);
  void ReadVBR(const unsigned char* block, int blockLength);
  void FindVendorID(const unsigned char* block, int blockLength);

  int64_t fileLength_ = 0;
  VBRData vbr_;
  FrameData frame_;
  std::string vendorID_;
  TID3v1 id3v1_;
  TID3v2 id3v2_;
};
