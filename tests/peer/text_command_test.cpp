// Text commands: the words of a line, the DOWNLOAD forms and the local
// name a remote name becomes.
#include <gtest/gtest.h>

#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"

namespace {

using Words = std::vector<std::string>;

TEST(TextCommand, WordsQuotesAndTheRestOfALine) {
  EXPECT_EQ(SplitCommandWords("  DOWNLOAD 12  bob \"my song.mp3\"\t7"),
            (Words{"DOWNLOAD", "12", "bob", "my song.mp3", "7"}));
  EXPECT_EQ(SplitCommandWords("MSG \"a b"), (Words{"MSG", "a b"}));  // the open quote runs to the end
  EXPECT_EQ(SplitCommandWords("\"\" x"), (Words{"", "x"}));
  EXPECT_EQ(CommandRest("MSG bob  hello  there ", 2), "hello  there");
  EXPECT_EQ(CommandRest("MSG bob", 5), "");
  EXPECT_EQ(CommandInt("42", -1), 42);
  EXPECT_EQ(CommandInt("42x", -1), -1);
  EXPECT_EQ(CommandInt("99999999999", -1), -1);
}

TEST(TextCommand, ADownloadOfAGnutellaResultNamesItsHostAndIndex) {
  TDownloadCommand d;
  ASSERT_TRUE(ParseDownloadCommand({"download", "P2P", "@#!GNUTELLA:7:16777343", "a b.ogg"}, d));
  EXPECT_TRUE(d.Gnutella);
  EXPECT_EQ(d.Host, "127.0.0.1");  // Napster decimal: the bytes in network order, little-endian
  EXPECT_EQ(d.Index, "7");
  EXPECT_EQ(d.Port, 0);  // the caller knows it from the result
  // The command's own words win over the nick's.
  ASSERT_TRUE(ParseDownloadCommand({"DOWNLOAD", "P2P", "@#!GNUTELLA:7:16777343", "f", "10.0.0.9", "6346", "3"}, d));
  EXPECT_EQ(d.Host, "10.0.0.9");
  EXPECT_EQ(d.Port, 6346);
  EXPECT_EQ(d.Index, "3");
  // Port and index count by their digits; a port past 65535 is missing.
  ASSERT_TRUE(ParseDownloadCommand({"DOWNLOAD_GNUTELLA", "P2P", "n", "f", "10.0.0.9", "6346x", "#12"}, d));
  EXPECT_EQ(d.Port, 6346);
  EXPECT_EQ(d.Index, "12");
  ASSERT_TRUE(ParseDownloadCommand({"DOWNLOAD_GNUTELLA", "P2P", "n", "f", "10.0.0.9", "70000", "1"}, d));
  EXPECT_EQ(d.Port, 0);
  // A plain nick is a Napster download; nicks that only look like sources are too.
  ASSERT_TRUE(ParseDownloadCommand({"DOWNLOAD", "1-2", "bob", "x.mp3"}, d));
  EXPECT_FALSE(d.Gnutella);
  for (const char* nick : {"@#!GNUTELLA:7", "@#!GNUTELLA::1", "@#!GNUTELLA:x:1", "@#!GNUTELLA:1:99999999999"}) {
    ASSERT_TRUE(ParseDownloadCommand({"DOWNLOAD", "1", nick, "x"}, d));
    EXPECT_FALSE(d.Gnutella) << nick;
  }
  EXPECT_FALSE(ParseDownloadCommand({"DOWNLOAD", "1", "bob"}, d));
  EXPECT_EQ(AddressFromNapsterDecimal("1677830336"), "192.168.1.100");
  EXPECT_EQ(AddressFromNapsterDecimal("4294967296"), "");
  EXPECT_EQ(AddressFromNapsterDecimal("12a"), "");
}

TEST(TextCommand, AResultsCommandLineReadsBackToItsRequest) {
  TDownloadCommand d;
  const std::string line = MakeDownloadCommand("P2P", "@#!GNUTELLA:3:16777343", " two  blanks .ogg ", "127.0.0.1", 8436, "3");
  ASSERT_TRUE(ParseDownloadCommand(SplitCommandWords(line), d)) << line;
  EXPECT_EQ(d.RemoteName, " two  blanks .ogg ");
  EXPECT_EQ(d.Port, 8436);
  EXPECT_TRUE(d.Gnutella);
  EXPECT_EQ(SplitCommandWords(MakeDownloadCommand("12", "bob", "C:\\a.mp3"))[0], "DOWNLOAD");
  // Names and nicks that would break the line make none.
  EXPECT_EQ(MakeDownloadCommand("12", "bob", "a\"b.mp3"), "");
  EXPECT_EQ(MakeDownloadCommand("12", "bob", "a\r\nQUIT"), "");
  EXPECT_EQ(MakeDownloadCommand("12", "two words", "a.mp3"), "");
}

TEST(TextCommand, ARemoteNameBecomesOnePlainFileNameInTheDownloadFolder) {
  EXPECT_EQ(DownloadFileName("C:\\Music\\Blue Harbour - Tide.mp3"), "Blue Harbour - Tide.mp3");
  EXPECT_EQ(DownloadFileName("/home/u/x.mp3"), "x.mp3");
  EXPECT_EQ(DownloadFileName(EncodeNonMp3Name("D:\\docs\\notes.v2.txt")), "notes.v2.txt");
  // Nothing climbs out or names a drive, a stream or a device.
  EXPECT_EQ(DownloadFileName("..\\..\\Windows\\win.ini"), "win.ini");
  EXPECT_EQ(DownloadFileName(".."), "download");
  EXPECT_EQ(DownloadFileName("C:"), "C_");
  EXPECT_EQ(DownloadFileName("song.mp3:hidden"), "song.mp3_hidden");
  EXPECT_EQ(DownloadFileName("a<b>|c?*\x01.mp3"), "a_b__c___.mp3");
  EXPECT_EQ(DownloadFileName("song.mp3. . "), "song.mp3");
  EXPECT_EQ(DownloadFileName("CON"), "_CON");
  EXPECT_EQ(DownloadFileName("lpt1.txt"), "_lpt1.txt");
  EXPECT_EQ(DownloadFileName("nul .mp3"), "_nul .mp3");
  EXPECT_EQ(DownloadFileName("COM10.mp3"), "COM10.mp3");
  EXPECT_EQ(DownloadFileName("CONCERT.mp3"), "CONCERT.mp3");
  EXPECT_EQ(DownloadFileName(""), "download");
}

}  // namespace
