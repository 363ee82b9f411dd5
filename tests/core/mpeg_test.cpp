// MP3 analysis over files built byte by byte: frame search, Xing/Info and
// VBRI headers, vendor scan, ID3v1/ID3v2 tags, and hostile input.
#include "core/mpeg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "core/mpeg_header.h"
#include "platform/stream.h"
#include "tests/support/test_util.h"
#include "tools/mp3_builder.h"

namespace {

using mp3gen::Header;

// Analyses bytes held in memory; the answer of ReadFromStream in ok.
struct Analysis {
  TMPEGaudio mpeg;
  bool ok = false;
  explicit Analysis(const std::string& bytes) {
    plat::MemoryStream s;
    s.Write(bytes.data(), int64_t(bytes.size()));
    ok = mpeg.ReadFromStream(s);
  }
};

Header Mpeg1Stereo128() { return Header{}; }

TEST(MpegHeader, FrameLengthsAndTables) {
  Header h;  // MPEG 1 layer III, 128 kbit/s, 44.1 kHz
  EXPECT_EQ(h.Bytes(), std::string("\xFF\xFB\x90\x00", 4));
  EXPECT_EQ(h.Length(), 417);
  h.padding = true;
  EXPECT_EQ(h.Length(), 418);

  Header l1{3, 3, 12, 0, true, 0};  // layer I, 384 kbit/s: 48 * 384000 / 44100 + 4
  EXPECT_EQ(l1.Length(), 417 + 4);
  Header lsf{2, 1, 8, 0, false, 3};  // MPEG 2 layer III, 64 kbit/s, 22.05 kHz
  EXPECT_EQ(lsf.Length(), 208);
  Header lsf2{2, 2, 8, 0, false, 0};  // MPEG 2 layer II holds 1152 samples too
  EXPECT_EQ(lsf2.Length(), 417);
  Header v25{0, 1, 8, 2, false, 0};  // MPEG 2.5, 64 kbit/s, 8 kHz
  EXPECT_EQ(v25.Length(), 576);

  const std::string b = lsf.Bytes();
  const auto f = TMPEGaudio::DecodeHeader(reinterpret_cast<const unsigned char*>(b.data()));
  EXPECT_EQ(TMPEGaudio::HeaderBitRate(f), 64);
  EXPECT_EQ(TMPEGaudio::HeaderSampleRate(f), 22050);
  EXPECT_STREQ(MpegVersionName[f.VersionID], "MPEG 2");
  EXPECT_STREQ(MpegLayerName[f.LayerID], "Layer III");
  EXPECT_STREQ(MpegChannelModeName[f.ModeID], "Mono");

  // Reserved values are no header.
  auto valid = [](std::string s) {
    return TMPEGaudio::IsFrameHeader(reinterpret_cast<const unsigned char*>(s.data()));
  };
  EXPECT_TRUE(valid(Header{}.Bytes()));
  EXPECT_FALSE(valid(Header{1, 1, 9, 0}.Bytes()));   // version 1 reserved
  EXPECT_FALSE(valid(Header{3, 0, 9, 0}.Bytes()));   // layer 0
  EXPECT_FALSE(valid(Header{3, 1, 0, 0}.Bytes()));   // free format
  EXPECT_FALSE(valid(Header{3, 1, 15, 0}.Bytes()));  // bad bit rate
  EXPECT_FALSE(valid(Header{3, 1, 9, 3}.Bytes()));   // bad sample rate
  std::string emph = Header{}.Bytes();
  emph[3] = 2;
  EXPECT_FALSE(valid(emph));

  TMPEGHeader rec;
  EXPECT_EQ(rec.Artist, "Unknown Artist");
  EXPECT_EQ(rec.Title, "Unknown Title");
  EXPECT_STREQ(MPEGChannelName[3], "Single-Channel");
}

TEST(MpegAudio, ConstantRateBehindLargeID3v2Tag) {
  const std::string tag =
      mp3gen::ID3v2Tag(3, mp3gen::ID3v2Frame("TIT2", std::string("\0Song", 5)), 10 * 1024);
  const std::string audio = mp3gen::Frames(Mpeg1Stereo128(), 400);
  const std::string v1 = mp3gen::ID3v1Tag("T", "A", "B", "2001", "C", 3, 17);
  Analysis a(tag + audio + v1);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.mpeg.ID3v2().Size, 10 * 1024);
  EXPECT_EQ(a.mpeg.ID3v2().Title, "Song");
  ASSERT_TRUE(a.mpeg.Frame().Found);
  EXPECT_EQ(a.mpeg.Frame().Position, 0);  // right after the tag
  EXPECT_FALSE(a.mpeg.VBR().Found);
  EXPECT_EQ(a.mpeg.BitRate(), 128);
  EXPECT_EQ(a.mpeg.SampleRate(), 44100);
  // The ID3v1 tag's 128 bytes count towards the play time.
  EXPECT_DOUBLE_EQ(a.mpeg.Duration(), double(audio.size() + 128) * 8 / 128 / 1000);
  EXPECT_TRUE(a.mpeg.Valid());
}

TEST(MpegAudio, FrameFoundAfterJunkOnlyWhenTheNextHeaderFollows) {
  // A lone sync pattern that is not followed by a frame is skipped.
  std::string junk(100, 'x');
  junk += Header{}.Bytes() + std::string(50, '\0');
  Analysis a(junk + mp3gen::Frames(Mpeg1Stereo128(), 20));
  ASSERT_TRUE(a.mpeg.Frame().Found);
  EXPECT_EQ(a.mpeg.Frame().Position, int(junk.size()));
}

struct XingCase {
  Header h;
  int offset;
};

TEST(MpegAudio, XingHeaderAtTheStandardOffsetGivesTheAverage) {
  const XingCase cases[] = {
      {Header{3, 1, 9, 0, false, 0}, 36},  // MPEG 1 stereo
      {Header{3, 1, 9, 0, false, 3}, 21},  // MPEG 1 mono
      {Header{2, 1, 8, 0, false, 1}, 21},  // MPEG 2 joint stereo
      {Header{2, 1, 8, 0, false, 3}, 13},  // MPEG 2 mono
      {Header{0, 1, 8, 2, false, 3}, 13},  // MPEG 2.5 mono
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offset);
    const auto f = TMPEGaudio::DecodeHeader(
        reinterpret_cast<const unsigned char*>(c.h.Bytes().data()));
    EXPECT_EQ(TMPEGaudio::XingOffset(f), c.offset);
    const int coef = TMPEGaudio::Coefficient(f);
    const int hz = TMPEGaudio::HeaderSampleRate(f);
    const uint32_t frames = 5000;
    const uint32_t bytes = frames * uint32_t(c.h.Length()) * 3 / 4;  // 3/4 of the header rate
    Analysis a(mp3gen::XingFrame(c.h, frames, bytes) + mp3gen::Frames(c.h, 30));
    ASSERT_TRUE(a.mpeg.VBR().Found);
    EXPECT_STREQ(a.mpeg.VBR().ID, "Xing");
    EXPECT_EQ(a.mpeg.VBR().Frames, frames);
    EXPECT_EQ(a.mpeg.VBR().Bytes, bytes);
    EXPECT_EQ(a.mpeg.VBR().Scale, 57);
    EXPECT_EQ(a.mpeg.VBR().VendorID, "LAME3.99");
    EXPECT_DOUBLE_EQ(a.mpeg.Duration(), double(frames) * coef * 8 / hz);
    EXPECT_EQ(a.mpeg.BitRate(), std::lround(double(bytes) / frames * hz / coef / 1000));
    EXPECT_LT(a.mpeg.BitRate(), TMPEGaudio::HeaderBitRate(f));
    EXPECT_TRUE(a.mpeg.Valid());
  }
}

TEST(MpegAudio, XingFlagsDecideWhichFieldsArePresent) {
  const Header h;
  // Only the byte count and quality: no frame count, so the header's rate
  // and the constant-rate play time are used.
  {
    const std::string audio = mp3gen::XingFrame(h, 0, 123456, 2 | 8) + mp3gen::Frames(h, 30);
    Analysis a(audio);
    ASSERT_TRUE(a.mpeg.VBR().Found);
    EXPECT_EQ(a.mpeg.VBR().Frames, 0u);
    EXPECT_EQ(a.mpeg.VBR().Bytes, 123456u);
    EXPECT_EQ(a.mpeg.VBR().Scale, 57);
    EXPECT_EQ(a.mpeg.BitRate(), 128);
    EXPECT_DOUBLE_EQ(a.mpeg.Duration(), double(audio.size()) * 8 / 128 / 1000);
  }
  // Frames only, without a seek table: play time from the frames, rate from
  // the header.
  {
    Analysis a(mp3gen::XingFrame(h, 1000, 0, 1, "") + mp3gen::Frames(h, 30));
    EXPECT_EQ(a.mpeg.VBR().Frames, 1000u);
    EXPECT_EQ(a.mpeg.BitRate(), 128);
    EXPECT_DOUBLE_EQ(a.mpeg.Duration(), 1000.0 * 1152 / 44100);
  }
  // An "Info" tag marks a constant-rate file: the rate is the header's,
  // not the average its byte count (tags and padding counted) gives; the
  // play time still comes from its frame count.
  {
    Analysis a(mp3gen::XingFrame(h, 300, 300 * 430, 3, "", "Info") + mp3gen::Frames(h, 30));
    EXPECT_STREQ(a.mpeg.VBR().ID, "Info");
    EXPECT_EQ(a.mpeg.BitRate(), 128);
    EXPECT_DOUBLE_EQ(a.mpeg.Duration(), 300.0 * 1152 / 44100);
  }
  // The tag 4 bytes further on (where a doubled header size would look) is
  // not a Xing header.
  {
    std::string f = mp3gen::Frames(h, 1);
    std::memcpy(&f[40], "Xing", 4);
    Analysis a(f + mp3gen::Frames(h, 30));
    EXPECT_FALSE(a.mpeg.VBR().Found);
  }
}

TEST(MpegAudio, VbriHeader) {
  const Header h;
  Analysis a(mp3gen::VbriFrame(h, 2000, 2000 * 300, 80) + mp3gen::Frames(h, 10));
  ASSERT_TRUE(a.mpeg.VBR().Found);
  EXPECT_STREQ(a.mpeg.VBR().ID, "VBRI");
  EXPECT_EQ(a.mpeg.VBR().Scale, 80);
  EXPECT_EQ(a.mpeg.VBR().Frames, 2000u);
  EXPECT_EQ(a.mpeg.BitRate(), std::lround(300.0 * 44100 / 144 / 1000));
  EXPECT_DOUBLE_EQ(a.mpeg.Duration(), 2000.0 * 1152 / 44100);
  // MPEG 2 mono: VBRI still sits 36 bytes after the frame start.
  const Header m{2, 1, 8, 0, false, 3};
  Analysis b(mp3gen::VbriFrame(m, 100, 100 * 150) + mp3gen::Frames(m, 10));
  EXPECT_TRUE(b.mpeg.VBR().Found);
  EXPECT_DOUBLE_EQ(b.mpeg.Duration(), 100.0 * 576 / 22050);
}

TEST(MpegAudio, VendorScanNearTheEnd) {
  const Header h;
  std::string audio = mp3gen::Frames(h, 40);
  std::memcpy(&audio[audio.size() - 300], "LAME3.90", 8);
  Analysis a(audio + mp3gen::ID3v1Tag("t", "", "", "", "", -1, 1));
  EXPECT_EQ(a.mpeg.VendorID(), "LAME3.90");

  std::string gogo = mp3gen::Frames(h, 40);
  std::memcpy(&gogo[gogo.size() - 20], "GOGO0123", 8);
  Analysis b(gogo);
  EXPECT_EQ(b.mpeg.VendorID(), "GOGO");
}

TEST(MpegAudio, TinyFilesAreAnalysedFromTheirStart) {
  // Five frames (2085 bytes, 0.13 s): shorter than the block read for the
  // vendor scan.
  std::string audio = mp3gen::Frames(Header{}, 5);
  std::memcpy(&audio[audio.size() - 30], "LAME3.97", 8);
  Analysis a(audio);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.mpeg.VendorID(), "LAME3.97");
  EXPECT_EQ(a.mpeg.BitRate(), 128);
  EXPECT_NEAR(a.mpeg.Duration(), 0.130, 0.001);
  EXPECT_TRUE(a.mpeg.Valid());

  // Two frames are found but play too short to count.
  Analysis b(mp3gen::Frames(Header{}, 2));
  EXPECT_TRUE(b.mpeg.Frame().Found);
  EXPECT_FALSE(b.mpeg.Valid());
}

TEST(MpegAudio, SecondSearchInTheMiddleOfTheFile) {
  // No frame in the first block: the block at (length - tag) / 2 is tried.
  const std::string junk(8000, 'j');
  const std::string audio = mp3gen::Frames(Header{}, 40);
  Analysis a(junk + audio);
  ASSERT_TRUE(a.mpeg.Frame().Found);
  EXPECT_EQ(a.mpeg.BitRate(), 128);
}

TEST(MpegAudio, NoFrameResetsEverythingButAnswersTrue) {
  for (size_t n : {0u, 1u, 3u, 100u, 127u, 128u, 2000u, 5000u}) {
    SCOPED_TRACE(n);
    Analysis a(std::string(n, '\0'));
    EXPECT_TRUE(a.ok);
    EXPECT_FALSE(a.mpeg.Frame().Found);
    EXPECT_EQ(a.mpeg.BitRate(), 0);
    EXPECT_EQ(a.mpeg.SampleRate(), 0);
    EXPECT_EQ(a.mpeg.Duration(), 0);
    EXPECT_FALSE(a.mpeg.Valid());
  }
}

TEST(MpegAudio, TruncationsAndGarbageNeverCrash) {
  const std::string good =
      mp3gen::ID3v2Tag(3, mp3gen::ID3v2Frame("TALB", std::string("\0Album", 6)), 600) +
      mp3gen::XingFrame(Header{}, 100, 41800) + mp3gen::Frames(Header{}, 12) +
      mp3gen::ID3v1Tag("a", "b", "c", "1999", "d", 2, 3);
  for (size_t n = 0; n <= good.size(); n += 7) {
    Analysis a(good.substr(0, n));
    EXPECT_TRUE(a.ok);
    EXPECT_LE(a.mpeg.BitRate(), 65535);
  }
  std::mt19937 rng(42);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good;
    for (int k = 0; k < 20; ++k) bytes[rng() % bytes.size()] = char(rng());
    if (round % 3 == 0) bytes = bytes.substr(0, rng() % bytes.size());
    Analysis a(bytes);
    EXPECT_TRUE(a.ok);
    if (a.mpeg.Valid()) {
      EXPECT_GE(a.mpeg.BitRate(), 8);
      EXPECT_LE(a.mpeg.BitRate(), 448);
    }
  }
}

TEST(MpegAudio, HostileVbrFiguresStayBounded) {
  // One frame, one byte: an absurd per-frame size must not overflow.
  Analysis a(mp3gen::XingFrame(Header{}, 1, 0xFFFFFFFFu) + mp3gen::Frames(Header{}, 3));
  EXPECT_EQ(a.mpeg.BitRate(), 65535);
  EXPECT_FALSE(a.mpeg.Valid());
  Analysis b(mp3gen::XingFrame(Header{}, 0xFFFFFFFFu, 1) + mp3gen::Frames(Header{}, 3));
  EXPECT_EQ(b.mpeg.BitRate(), 0);
  EXPECT_FALSE(b.mpeg.Valid());
}

TEST(ID3v1, VersionsTrackAndGenre) {
  Analysis v11(mp3gen::Frames(Header{}, 10) +
               mp3gen::ID3v1Tag("Title  ", "Artist", "Album", "2001", "Comment", 7, 17));
  const TID3v1& t = v11.mpeg.ID3v1();
  EXPECT_EQ(t.Exists, 1);
  EXPECT_EQ(t.Version, 2);
  EXPECT_EQ(t.Title, "Title");
  EXPECT_EQ(t.Artist, "Artist");
  EXPECT_EQ(t.Year, "2001");
  EXPECT_EQ(t.Comment, "Comment");
  EXPECT_EQ(t.Track, 7);
  EXPECT_EQ(t.GenreName(), "Rock");

  std::string comment30(30, 'c');
  Analysis v10(mp3gen::ID3v1Tag("x", "", "", "", comment30, -1, 200));
  EXPECT_EQ(v10.mpeg.ID3v1().Version, 1);
  EXPECT_EQ(v10.mpeg.ID3v1().Comment, comment30);
  EXPECT_EQ(v10.mpeg.ID3v1().Track, 0);
  EXPECT_EQ(v10.mpeg.ID3v1().GenreName(), "");

  // Blank-padded v1.1: byte 125 a blank, byte 126 not.
  std::string blanks = mp3gen::ID3v1Tag("x", "", "", "", "", -1, 0);
  for (int i = 97; i < 125; ++i) blanks[size_t(i)] = ' ';
  blanks[125] = ' ';
  blanks[126] = 9;
  Analysis b(blanks);
  EXPECT_EQ(b.mpeg.ID3v1().Version, 2);
  EXPECT_EQ(b.mpeg.ID3v1().Track, 9);

  EXPECT_STREQ(MusicGenre[0], "Blues");
  EXPECT_STREQ(MusicGenre[92], "Progessive Rock");
  EXPECT_STREQ(MusicGenre[67], "Psychadelic");
  EXPECT_STREQ(MusicGenre[kMaxMusicGenre], "Synthpop");
  for (const char* g : MusicGenre) EXPECT_NE(g, nullptr);
}

TEST(ID3v2, Version3Frames) {
  const std::string longBody = std::string(1, '\0') + std::string(400, 'L');
  const std::string frames =
      mp3gen::ID3v2Frame("TIT2", std::string("\0First", 6)) +
      mp3gen::ID3v2Frame("TPE1", std::string("\0 Artist ", 9)) +
      mp3gen::ID3v2Frame("TALB", longBody) +
      mp3gen::ID3v2Frame("TRCK", std::string("\0" "12/15", 6)) +
      mp3gen::ID3v2Frame("TYER", std::string("\0" "1998", 5)) +
      mp3gen::ID3v2Frame("TCON", std::string("\0(17)(3)Dance", 13)) +
      mp3gen::ID3v2Frame("COMM", std::string("\0eng\0Nice", 9)) +
      mp3gen::ID3v2Frame("XXXX", "ignored") +
      mp3gen::ID3v2Frame("TIT2", std::string("\0Second", 7));
  Analysis a(mp3gen::ID3v2Tag(3, frames, 2048) + mp3gen::Frames(Header{}, 10));
  const TID3v2& t = a.mpeg.ID3v2();
  EXPECT_EQ(t.Exists, 1);
  EXPECT_EQ(t.Version, 3);
  EXPECT_EQ(t.Size, 2048);
  EXPECT_EQ(t.Title, "Second");  // a later frame replaces an earlier one
  EXPECT_EQ(t.Artist, "Artist");
  EXPECT_EQ(t.Album, std::string(249, 'L'));  // the first 250 body bytes
  EXPECT_EQ(t.Track, 12);
  EXPECT_EQ(t.Year, "1998");
  EXPECT_EQ(t.Genre, "Dance");
  EXPECT_EQ(t.Comment, "Nice");
  EXPECT_TRUE(a.mpeg.Frame().Found);
}

// Text frames in UTF-16 (either byte order, with or without a mark) and
// UTF-8 are read as Windows-1252; characters it lacks become '?'.
TEST(ID3v2, UnicodeTextFramesBecomeWindows1252) {
  // "T\u00EFtle \u20AC" little-endian with its mark; a CJK character and a
  // pair of surrogates in big-endian; a comment with a description.
  const std::string le = std::string("\x01\xFF\xFE", 3) + std::string("T\0\xEF\0t\0l\0e\0 \0\xAC\x20", 14);
  const std::string be = std::string("\x01\xFE\xFF", 3) + std::string("\0A\x4E\x2D\xD8\x3D\xDE\x00\0B", 10);
  const std::string noMark = std::string("\x02\0Y\0e\0s", 7);
  const std::string utf8 = std::string("\x03" "Caf\xC3\xA9 \xE2\x80\x9C\xF0\x9F\x8E\xB5\xE2\x80\x9D \xFF", 19);
  const std::string comm = std::string("\x01" "eng\xFF\xFE" "d\0\0\0\xFF\xFE" "o\0k\0", 16);
  Analysis a(mp3gen::ID3v2Tag(3,
                              mp3gen::ID3v2Frame("TIT2", le) + mp3gen::ID3v2Frame("TPE1", be) +
                                  mp3gen::ID3v2Frame("TALB", utf8) + mp3gen::ID3v2Frame("TYER", noMark) +
                                  mp3gen::ID3v2Frame("COMM", comm),
                              1024) +
             mp3gen::Frames(Header{}, 10));
  const TID3v2& t = a.mpeg.ID3v2();
  EXPECT_EQ(t.Title, "T\xEFtle \x80");
  EXPECT_EQ(t.Artist, "A??B");
  EXPECT_EQ(t.Album, "Caf\xE9 \x93?\x94 ?");
  EXPECT_EQ(t.Year, "Yes");
  EXPECT_EQ(t.Comment, std::string("d\0ok", 4));  // as an ISO-8859-1 comment reads
}

TEST(ID3v2, OtherVersionsAndBadSizes) {
  const std::string frames = mp3gen::ID3v2Frame("TIT2", std::string("\0Title", 6));
  Analysis v4(mp3gen::ID3v2Tag(4, frames, 300) + mp3gen::Frames(Header{}, 10));
  EXPECT_EQ(v4.mpeg.ID3v2().Exists, 1);
  EXPECT_EQ(v4.mpeg.ID3v2().Version, 4);
  EXPECT_EQ(v4.mpeg.ID3v2().Size, 300);
  EXPECT_EQ(v4.mpeg.ID3v2().Title, "");
  EXPECT_TRUE(v4.mpeg.Frame().Found);

  // A size beyond the file counts as 0.
  std::string big = mp3gen::ID3v2Tag(3, frames, 300);
  big[6] = 0x7F;
  Analysis b(big + mp3gen::Frames(Header{}, 3));
  EXPECT_EQ(b.mpeg.ID3v2().Size, 0);
  EXPECT_EQ(b.mpeg.ID3v2().Title, "");

  // A frame size near 4 GiB ends the frame walk without wrapping.
  std::string huge = mp3gen::ID3v2Frame("TPE1", std::string("\0A", 2));
  huge[4] = huge[5] = huge[6] = huge[7] = char(0xFF);
  Analysis c(mp3gen::ID3v2Tag(3, frames + huge, 400) + mp3gen::Frames(Header{}, 5));
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.mpeg.ID3v2().Title, "Title");
  EXPECT_EQ(c.mpeg.ID3v2().Artist, "A");
  EXPECT_TRUE(c.mpeg.Frame().Found);

  // TRCK that is not a number, or one past 32 bits; ten digits that fit
  // are a number like any other.
  const std::pair<std::string, int32_t> tracks[] = {
      {"x1", 0}, {"2147483647/2147483648", 2147483647}, {"2147483648", 0}, {"0000000042", 42}, {"12345678901", 0}};
  for (const auto& [text, track] : tracks) {
    Analysis d(mp3gen::ID3v2Tag(3, mp3gen::ID3v2Frame("TRCK", std::string(1, '\0') + text)));
    EXPECT_EQ(d.mpeg.ID3v2().Track, track) << text;
  }
}

TEST(MpegAudio, ReadFromFile) {
  const std::string dir = testutil::TempFolder("mpeg");
  const std::string path = dir + "song.mp3";
  ASSERT_TRUE(mp3gen::WriteFile(path, mp3gen::Frames(Header{}, 100)));
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(path));
  EXPECT_TRUE(m.Valid());
  EXPECT_EQ(m.FileLength(), 41700);
  EXPECT_FALSE(m.ReadFromFile(dir + "missing.mp3"));
  EXPECT_FALSE(m.Valid());
  TID3v1 v1;
  EXPECT_FALSE(v1.ReadFromFile(dir + "missing.mp3"));
  TID3v2 v2;
  EXPECT_TRUE(v2.ReadFromFile(path));
  EXPECT_EQ(v2.Exists, 0);
}

// A file is analysed as its bytes in memory are, and one with a usual tag
// costs two reads: its head and its tail.
TEST(MpegAudio, FilesAreReadInTwoCallsAndAnalysedAsInMemory) {
  const std::string dir = testutil::TempFolder("mpeg");
  const std::string v1 = mp3gen::ID3v1Tag("Title", "Artist", "Album", "1999", "", 3, 17);
  const std::string usual = mp3gen::ID3v2Tag(3, mp3gen::ID3v2Frame("TIT2", std::string("\0Song", 5))) +
                            mp3gen::Frames(Header{}, 400) + std::string(40, 'x') + "LAME3.99" + v1;
  const std::string bigTag = mp3gen::ID3v2Tag(3, mp3gen::ID3v2Frame("TIT2", std::string("\0Song", 5)), 40000) +
                             mp3gen::XingFrame(Header{}, 1000, 400000) + mp3gen::Frames(Header{}, 50);
  for (int i = 0; i < 2; ++i) {
    const std::string& bytes = i == 0 ? usual : bigTag;
    ASSERT_TRUE(mp3gen::WriteFile(dir + "song.mp3", bytes));
    TMPEGaudio fromFile;
    plat::HeaderFileStream s(dir + "song.mp3", kTagHeadRead, kTagTailRead);
    ASSERT_TRUE(fromFile.ReadFromStream(s));
    if (i == 0) {
      EXPECT_EQ(s.Reads(), 2);
    }
    Analysis a(bytes);
    EXPECT_EQ(fromFile.BitRate(), a.mpeg.BitRate());
    EXPECT_DOUBLE_EQ(fromFile.Duration(), a.mpeg.Duration());
    EXPECT_EQ(fromFile.VendorID(), a.mpeg.VendorID());
    EXPECT_EQ(fromFile.ID3v1().Title, a.mpeg.ID3v1().Title);
    EXPECT_EQ(fromFile.ID3v2().Title, a.mpeg.ID3v2().Title);
    EXPECT_TRUE(fromFile.Valid());
  }
}

}  // namespace
