// The console commands over a share list (used by scripts and benchmarks).
#include "tools/share_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "core/share_manager.h"
#include "platform/files.h"
#include "tests/support/test_util.h"
#include "tools/napster_client_harness.h"
#include "tools/mp3_builder.h"

namespace {

constexpr char D = plat::kPathDelim;

std::string Answer(ShareCommands& c, const std::string& line) {
  std::ostringstream out;
  EXPECT_TRUE(c.Run(line, out)) << line;
  return out.str();
}

TEST(ShareCommands, ScanListSaveLoadAndMp3) {
  const std::string dir = testutil::TempFolder("commands");
  std::filesystem::create_directories(dir + "in");
  const std::string song = dir + "in" + D + "song.mp3";
  ASSERT_TRUE(mp3gen::WriteFile(
      song, mp3gen::Frames(mp3gen::Header{}, 100) +
                mp3gen::ID3v1Tag("My Title", "Artist", "Album", "1999", "", 1, 17)));
  ShareCommands c;
  EXPECT_EQ(Answer(c, "mp3 " + song),
            "OK MP3 BITRATE=128 SAMPLERATE=44100 SECONDS=2.614 VALID=TRUE VBR=NONE "
            "TITLE=\"My Title\" ARTIST=Artist ALBUM=Album YEAR=1999 GENRE=Rock\n");
  EXPECT_EQ(Answer(c, "MP3 " + dir + "none.mp3").substr(0, 10), "ERROR MP3 ");

  EXPECT_EQ(Answer(c, "SCAN " + dir), "SCANNED DIRECTORIES=0 FILES=1\n");
  const std::string listing = Answer(c, "SHARES");
  EXPECT_EQ(listing,
            "F /song.mp3 SIZE=41828 MP3=TRUE BITRATE=128 SAMPLERATE=44100 SECONDS=3\nSHARES 1\n");
  EXPECT_EQ(Answer(c, "SAVE " + dir + "s.dat"), "OK SAVE " + dir + "s.dat\n");
  ShareCommands other;
  EXPECT_EQ(Answer(other, "LOAD " + dir + "s.dat"), "OK LOAD " + dir + "s.dat\n");
  EXPECT_EQ(Answer(other, "SHARES"), listing);
  EXPECT_EQ(Answer(other, "LOAD " + dir + "none.dat").substr(0, 5), "ERROR");
  EXPECT_EQ(Answer(c, "SCAN " + dir + "none").substr(0, 5), "ERROR");

  std::ostringstream out;
  EXPECT_FALSE(c.Run("CONNECT host 1 nick pass", out));
}

// Paths with blanks are double-quoted like every other command's; a tag's
// bytes never break the answer's line (a NUL or a line end is escaped).
TEST(ShareCommands, QuotedPathsAndEscapedTags) {
  const std::string dir = testutil::TempFolder("quoted") + "my music" + D;
  const std::string song = dir + "a song.mp3";
  ASSERT_TRUE(mp3gen::WriteFile(
      song, mp3gen::ID3v2Tag(3, mp3gen::ID3v2Frame("TIT2", std::string("\0A\0B\nEVENT x", 12)), 256) +
                mp3gen::Frames(mp3gen::Header{}, 40)));
  ShareCommands c;
  const std::string mp3 = Answer(c, "MP3 \"" + song + "\"");
  EXPECT_EQ(mp3.substr(0, 21), "OK MP3 BITRATE=128 SA") << mp3;
  EXPECT_NE(mp3.find(" TITLE=\"A\\x00B\\nEVENT x\" "), std::string::npos) << mp3;
  EXPECT_EQ(std::count(mp3.begin(), mp3.end(), '\n'), 1) << mp3;

  c.Manager().AddFile(song, "a song.mp3");
  const std::string saved = dir + "s d.dat";
  EXPECT_EQ(Answer(c, "SAVE \"" + saved + "\""), "OK SAVE " + EventValueText(saved) + "\n");
  ShareCommands other;
  EXPECT_EQ(Answer(other, "LOAD \"" + saved + "\""), "OK LOAD " + EventValueText(saved) + "\n");
  EXPECT_EQ(Answer(other, "SHARES"), Answer(c, "SHARES"));
  EXPECT_EQ(Answer(other, "LOAD \"" + dir + "none.dat\"").substr(0, 23), "ERROR LOAD cannot read ");
}

}  // namespace
