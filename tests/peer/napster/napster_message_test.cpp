#include "peer/napster/napster_message.h"

#include <gtest/gtest.h>

namespace {

std::string Frame(uint16_t type, const std::string& text, std::size_t max = kNapsterClientMaxText) {
  std::string f;
  EXPECT_TRUE(EncodeNapsterMessage(type, text, max, f));
  return f;
}

TEST(NapsterMessage, HeaderIsLittleEndianLengthThenType) {
  std::string f = Frame(0x0102, "abc");
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(std::string(f, 0, 4), std::string("\x03\x00\x02\x01", 4));
  EXPECT_EQ(f.substr(4), "abc");
  EXPECT_EQ(Frame(214, ""), std::string("\x00\x00\xD6\x00", 4));
  std::string big = Frame(2, std::string(300, 'x'));
  EXPECT_EQ(uint8_t(big[0]), 300 & 0xFF);
  EXPECT_EQ(uint8_t(big[1]), 300 >> 8);
}

TEST(NapsterMessage, EncoderRefusesOverlongTexts) {
  std::string f = "untouched";
  EXPECT_TRUE(EncodeNapsterMessage(1, std::string(31000, 'a'), kNapsterClientMaxText, f));
  f = "untouched";
  EXPECT_FALSE(EncodeNapsterMessage(1, std::string(31001, 'a'), kNapsterClientMaxText, f));
  EXPECT_EQ(f, "untouched");
  EXPECT_FALSE(EncodeNapsterMessage(1, std::string(70000, 'a'), 100000, f));  // length is 16 bits
}

TEST(NapsterMessage, BodyEndsAtFirstNul) {
  const unsigned char body[] = {0xC9, 0x00, 'a', 'b', 0, 'c'};
  NapsterMessage m = DecodeNapsterBody(body, sizeof body);
  EXPECT_EQ(m.Type, 201);
  EXPECT_EQ(m.Text, "ab");
  m = DecodeNapsterBody(body, 1);
  EXPECT_EQ(m.Type, 0);
  EXPECT_EQ(m.Text, "");
}

TEST(NapsterMessage, ReaderCutsAStreamFedByteByByte) {
  std::string stream = Frame(2, "nick pass 6699 \"v\" 2 100") + Frame(214, "") + Frame(205, std::string("x\0y", 3));
  NapsterFrameReader reader(kNapsterClientMaxText);
  std::vector<NapsterMessage> got;
  for (char c : stream) {
    reader.Feed(&c, 1);
    NapsterMessage m;
    while (reader.Next(m) == NapsterFrameReader::Result::kMessage) got.push_back(m);
  }
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].Type, 2);
  EXPECT_EQ(got[0].Text, "nick pass 6699 \"v\" 2 100");
  EXPECT_EQ(got[1].Type, 214);
  EXPECT_EQ(got[1].Text, "");
  EXPECT_EQ(got[2].Text, "x");
  EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(NapsterMessage, ReaderStopsAtAnOverlongAnnouncement) {
  NapsterFrameReader reader(8000);
  std::string stream = Frame(205, "ok") + std::string("\x41\x1F\x00\x00", 4);  // 8001 bytes announced
  reader.Feed(stream.data(), stream.size());
  NapsterMessage m;
  EXPECT_EQ(reader.Next(m), NapsterFrameReader::Result::kMessage);
  EXPECT_EQ(reader.Next(m), NapsterFrameReader::Result::kTooLong);
  EXPECT_EQ(reader.Next(m), NapsterFrameReader::Result::kTooLong);
  NapsterFrameReader partial(8000);
  partial.Feed("\x05", 1);
  EXPECT_EQ(partial.Next(m), NapsterFrameReader::Result::kNeedMore);
}

}  // namespace
