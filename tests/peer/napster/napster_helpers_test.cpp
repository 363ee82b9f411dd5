#include "peer/napster/napster_helpers.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

TEST(NapsterHelpers, LinkSpeedNames) {
  struct Case {
    int code;
    const char* name;
  } cases[] = {{0, "Unknown"}, {1, "14.4 Kbps"},  {4, "56.7 Kbps"},      {5, "64K ISDN"},
               {7, "Cable"},   {8, "DSL"},        {10, "T3 or Greater"}, {11, "Unknown"},
               {-1, "Unknown"}, {1 << 30, "Unknown"}};
  for (const Case& c : cases) EXPECT_EQ(LinkSpeedToText(c.code), c.name) << c.code;
}

TEST(NapsterHelpers, NonMp3DisguiseRoundTrips) {
  std::string encoded = EncodeNonMp3Name("C:\\docs\\report.final.pdf");
  EXPECT_EQ(encoded, "|||C:\\docs\\report|final|pdf.mp3");
  EXPECT_FALSE(IsMp3Name(encoded));
  EXPECT_EQ(DecodeNonMp3Name(encoded), "C:\\docs\\report.final.pdf");
  EXPECT_TRUE(IsMp3Name("C:\\music\\song.mp3"));
  EXPECT_TRUE(IsMp3Name("||x"));
  EXPECT_TRUE(IsMp3Name(""));
  EXPECT_EQ(EncodeNonMp3Name(""), "|||.mp3");
  EXPECT_EQ(DecodeNonMp3Name("|||.mp3"), "");
}

TEST(NapsterHelpers, DecodeOfShortTextNeverFails) {
  for (const char* s : {"", "|", "|||", "|||a", "|||ab.m", "x"}) EXPECT_NO_THROW(DecodeNonMp3Name(s)) << s;
  EXPECT_EQ(DecodeNonMp3Name("|||"), "");
  EXPECT_EQ(DecodeNonMp3Name("||||abc"), "");
  EXPECT_EQ(DecodeNonMp3Name("|||a|b.mp3"), "a.b");
}

TEST(NapsterHelpers, NicksThatWouldCutAProtocolLineAreRefused) {
  EXPECT_TRUE(UsableNick("Ann_1.x"));
  for (const char* n : {"", "a b", "a\tb", "a\"b", " "}) EXPECT_FALSE(UsableNick(n)) << n;
}

TEST(NapsterHelpers, SessionIDsNeverRunTogether) {
  EXPECT_EQ(NapsterSessionID(" 127.0.0.1 ", 10000, 5, 1), "P2P");
  EXPECT_EQ(NapsterSessionID("127.0.0.1", 10000, 9, 2), "P2P");
  EXPECT_NE(NapsterSessionID("127.0.0.1", 8888, 5, 1), "P2P");
  EXPECT_NE(NapsterSessionID("server", 8888, 1234, 5), NapsterSessionID("server", 8888, 123, 45));
  EXPECT_EQ(NapsterSessionID("server", 8888, 1234, 5), "1234-5");
}

TEST(NapsterHelpers, SongLengthAndDurations) {
  EXPECT_EQ(FormatSongLength(600), "10:00");
  EXPECT_EQ(FormatSongLength(59), "0:59");
  EXPECT_EQ(FormatSongLength(65), "1:05");
  EXPECT_EQ(FormatSongLength(-3), "0:00");
  EXPECT_EQ(DurationToText(0), "");
  EXPECT_EQ(DurationToText(-5), "");
  EXPECT_EQ(DurationToText(60), "1 Minute(s) ");
  EXPECT_EQ(DurationToText(3725), "1 Hour(s) 2 Minute(s) 5 Sec");
  EXPECT_EQ(DurationToText(86400), "1 Day(s) ");
  EXPECT_EQ(DurationToText(365 * 86400LL + 86400 + 1), "1 Year(s) 1 Day(s) 1 Sec");
  EXPECT_EQ(TimeLeftText(1000, 0), "Unknown");
  EXPECT_EQ(TimeLeftText(0, 1000), "Unknown");
  EXPECT_EQ(TimeLeftText(-1, 10), "Unknown");
  EXPECT_EQ(TimeLeftText(3725000, 1000), "1 Hour(s) 2 Minute(s) 5 Sec");
  EXPECT_EQ(TimeLeftText(5'000'000'000LL, 1), "158 Year(s) 200 Day(s) 8 Hour(s) 53 Minute(s) 20 Sec");
  EXPECT_EQ(IntToThousands(0), "0");
  EXPECT_EQ(IntToThousands(1234567), "1,234,567");
}

TEST(NapsterHelpers, SecondsOfDayFollowsTheClock) {
  plat::SetNowForTesting([] { return plat::EncodeDateTime(2024, 5, 6, 13, 14, 15); });
  EXPECT_EQ(SecondsOfDay(), 13 * 3600 + 14 * 60 + 15);
  plat::SetNowForTesting([] { return plat::EncodeDateTime(2024, 5, 7, 0, 0, 0); });
  EXPECT_EQ(SecondsOfDay(), 0);
  plat::SetNowForTesting(nullptr);
}

TEST(NapsterHelpers, CuttersArePlainLineCutting) {
  std::string s = "nick \"some file.mp3\" 123";
  EXPECT_EQ(CutFirstWord(s), "nick");
  EXPECT_EQ(CutFirstQuoted(s), "some file.mp3");
  EXPECT_EQ(s, "123");
  EXPECT_EQ(CutFirstWord(s), "123");
  EXPECT_EQ(s, "");
  EXPECT_EQ(EncodePassword(" p w "), " p w ");
  EXPECT_EQ(DecodePassword("x"), "x");
}

TEST(NapsterHelpers, FolderTexts) {
  EXPECT_EQ(StripTrailingBackslash("C:\\x\\"), "C:\\x");
  EXPECT_EQ(StripTrailingBackslash("C:\\x\\  "), "C:\\x  ");
  EXPECT_EQ(StripTrailingBackslash("C:\\x"), "C:\\x");
  EXPECT_EQ(StripTrailingBackslash(""), "");
  std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_NE(folder.back(), '/');
}

TEST(NapsterHelpers, BannerWildcards) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  } cases[] = {
      {"FOO*BAR", "bar and foo", true},
      {"FOO*BAR", "foobar", true},
      {"FOO*BAR", "xbarfoo", true},  // both words, either order
      {"bar*foo", "FOOBAR", true},
      {"*", "anything at all", true},
      {"*", "", true},
      {"abc", "ABC", true},
      {"a?c", "axc", true},
      {"a?c", "ac", false},   // no star: lengths must agree
      {"abc", "abcd", false},
      {"ab?*cd", "zzcdab1", true},
      {"ab*cd", "abxx", false},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesWildcard(c.pattern, c.text), c.match) << c.pattern << " / " << c.text;
}

}  // namespace
