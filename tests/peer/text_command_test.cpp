// Text commands: the words of a line, the DOWNLOAD forms, the local name a
// remote name becomes, and which words of a chat verb name its channel.
#include <gtest/gtest.h>

#include "peer/chat_command.h"
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

// A verb that acts in a channel takes a first word as its channel when it
// begins with "#" or names a joined channel, and the channel in view
// otherwise; a nick verb's only word stays its nick.
TEST(TextCommand, AChatVerbsChannelIsNamedFirstOrTheOneInView) {
  TChatPlace place;
  place.Channel = "#view";
  place.Joined = [](const std::string& n) { return n == "rock" || n == "#view"; };
  struct Case {
    const char* line;
    const char* channel;
    const char* nick;
    const char* text;
  };
  const Case cases[] = {
      {"me waves", "#view", "", "waves"},
      {"ME rock waves", "rock", "", "waves"},          // a joined channel without "#"
      {"say #elsewhere hi  there", "#elsewhere", "", "hi  there"},
      {"topic rock", "rock", "", ""},                  // asks
      {"topic rock and roll", "rock", "", "and roll"},  // sets
      {"topic new words", "#view", "", "new words"},
      {"kick #c", "#view", "#c", ""},                  // the only word is the nick
      {"kick bob \"go \"away\"\"", "#view", "bob", "go 'away'"},
      {"part", "#view", "", ""},
      {"part other", "other", "", ""},                 // any word of PART is its channel
      {"ban 10.1.2.3 too \"loud\"", "", "10.1.2.3", "too 'loud'"},
  };
  for (const Case& c : cases) {
    TChatRequest r;
    ASSERT_EQ(ParseChatCommand(c.line, place, r), "") << c.line;
    EXPECT_EQ(r.Channel, c.channel) << c.line;
    EXPECT_EQ(r.Nick, c.nick) << c.line;
    EXPECT_EQ(r.Text, c.text) << c.line;
  }
  TChatRequest r;
  EXPECT_EQ(ParseChatCommand("frobnicate", place, r), "unknown command");
  EXPECT_EQ(r.Verb, nullptr);
  EXPECT_EQ(ParseChatCommand("me waves", TChatPlace(), r), "no channel");
  EXPECT_EQ(ChatVerbHelp(*r.Verb, true), "/me [channel] text - an action in the channel: \"/me waves\"");
  EXPECT_EQ(ParseChatCommand("join \"a b\"", place, r), "missing arguments");  // one word each
  // Every verb has a usage and a way out (HELP is answered by the caller).
  for (const TChatVerb& v : ChatVerbs()) EXPECT_EQ(v.Send == nullptr, v.Scope == TChatScope::kLocal) << v.Name;
}

}  // namespace
