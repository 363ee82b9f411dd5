#include "peer/gnutella/gnutella_packet.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

TGuid Seq(uint8_t start) {
  TGuid g;
  for (int i = 0; i < 16; ++i) g[size_t(i)] = uint8_t(start + i);
  return g;
}

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s += char(b);
  return s;
}

std::string GuidBytes(const TGuid& g) { return std::string(reinterpret_cast<const char*>(g.data()), 16); }

// One result in the published layout, written out by hand.
std::string Result(uint32_t index, uint32_t size, const std::string& name, const std::string& extra) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += char((index >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) s += char((size >> (8 * i)) & 0xFF);
  return s + name + '\0' + extra + '\0';
}

// The hit header: count, port 6346, 192.168.7.9, speed 350.
std::string HitHeader(int count) {
  return Bytes({count, 0xCA, 0x18, 192, 168, 7, 9, 0x5E, 0x01, 0, 0});
}

}  // namespace

TEST(GnutellaDescriptor, HeaderBytesAndReadBack) {
  TBasePacket p(Seq(1), kDescQuery, 7, 2, "\x00\x80" "abc\0\0"s);
  std::string wire = p.Encode();
  ASSERT_EQ(wire.size(), 23u + 7u);
  EXPECT_EQ(wire.substr(0, 16), GuidBytes(Seq(1)));
  EXPECT_EQ(wire.substr(16, 7), Bytes({0x80, 7, 2, 7, 0, 0, 0}));

  TBufferReader in(wire + TBasePacket(Seq(40), kDescPing, 1, 0, "").Encode());
  TBasePacket a = ReadDescriptor(in);
  EXPECT_EQ(a.Guid, Seq(1));
  EXPECT_EQ(a.Type, kDescQuery);
  EXPECT_EQ(a.TTL, 7);
  EXPECT_EQ(a.Hops, 2);
  EXPECT_EQ(a.Payload, p.Payload);
  TBasePacket b = ReadDescriptor(in);
  EXPECT_EQ(b.Guid, Seq(40));
  EXPECT_EQ(b.PayloadLength(), 0u);
  EXPECT_EQ(in.Remaining(), 0u);
  EXPECT_THROW(ReadDescriptor(in), EGnutella);  // end of input
}

TEST(GnutellaDescriptor, PayloadLimit) {
  // 64000 is allowed; 64001 is refused from the header alone.
  std::string header = GuidBytes(Seq(0)) + Bytes({0x81, 1, 0});
  std::string ok = header + Bytes({0x00, 0xFA, 0, 0}) + std::string(64000, 'x');
  TBufferReader in(ok);
  EXPECT_EQ(ReadDescriptor(in).PayloadLength(), 64000u);

  TBufferReader tooLong(header + Bytes({0x01, 0xFA, 0, 0}));
  try {
    ReadDescriptor(tooLong);
    FAIL() << "a 64001-byte payload was accepted";
  } catch (const EGnutella& e) {
    EXPECT_STREQ(e.what(), "Descriptor payload too long");
  }
  TBufferReader huge(header + Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_THROW(ReadDescriptor(huge), EGnutella);

  TBasePacket cut(Seq(0), kDescQueryHit, 1, 0, std::string(70000, 'y'));
  EXPECT_EQ(cut.PayloadLength(), 64000u);
}

TEST(GnutellaDescriptor, GuidRules) {
  for (int i = 0; i < 50; ++i) {
    TGuid g = NewDescriptorGuid();
    EXPECT_EQ(g[5] & 0x0F, 0x0F);
    EXPECT_EQ(g[15], 0);
    TGuid f = FirstPingGuid();
    for (int b = 4; b <= 7; ++b) EXPECT_EQ(f[size_t(b)], 0xFF);
  }
  EXPECT_NE(NewDescriptorGuid(), NewDescriptorGuid());
  EXPECT_EQ(GuidToText(Seq(0xF0)), "F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF");
}

TEST(GnutellaDescriptor, PongAndPushLayouts) {
  TPong pong{6346, 0x0A010203, 100, 1000};
  std::string s = PongPayload(pong);
  EXPECT_EQ(s, Bytes({0xCA, 0x18, 10, 1, 2, 3, 100, 0, 0, 0, 0xE8, 0x03, 0, 0}));
  TPong back;
  ASSERT_TRUE(ParsePong(s + "extra", back));  // longer pongs (GGEP) still parse
  EXPECT_EQ(back.Port, 6346);
  EXPECT_EQ(back.Address, 0x0A010203u);
  EXPECT_EQ(back.Files, 100u);
  EXPECT_EQ(back.KBytes, 1000u);
  EXPECT_FALSE(ParsePong(s.substr(0, 13), back));

  TPush push{Seq(9), 77, 0x7F000001, 6347};
  std::string ps = PushPayload(push);
  EXPECT_EQ(ps, GuidBytes(Seq(9)) + Bytes({77, 0, 0, 0, 127, 0, 0, 1, 0xCB, 0x18}));
  TPush pb;
  ASSERT_TRUE(ParsePush(ps, pb));
  EXPECT_EQ(pb.ServentGuid, Seq(9));
  EXPECT_EQ(pb.FileIndex, 77u);
  EXPECT_EQ(pb.Address, 0x7F000001u);
  EXPECT_EQ(pb.Port, 6347);
  EXPECT_FALSE(ParsePush(ps.substr(0, 25), pb));
}

TEST(GnutellaDescriptor, QueryPayloads) {
  // Flags go high byte first, as servents read them; an old minimum speed
  // stays little-endian.
  EXPECT_EQ(QueryPayload(kQueryFlagsForm | kQueryFlagFirewalled, "blue song", ""), "\xC0\x00" "blue song\0\0"s);
  EXPECT_EQ(QueryPayload(300, "s", ""), "\x2C\x01" "s\0\0"s);
  EXPECT_EQ(QueryPayload(0, "a\0b"s, "urn:"), "\x00\x00" "a\0urn:\0"s);

  // Kept to 256 bytes: the text is cut, the extension kept while it fits.
  std::string longText(400, 't');
  std::string q = QueryPayload(kQueryFlagsForm, longText, "ext");
  EXPECT_EQ(q.size(), kMaxQueryPayload);
  EXPECT_EQ(q.substr(q.size() - 5), "\0ext\0"s);
  std::string q2 = QueryPayload(kQueryFlagsForm, "x", std::string(300, 'e'));
  EXPECT_EQ(q2, "\x80\x00x\0\0"s);

  TSearchRequest r;
  ASSERT_TRUE(ParseQuery("\xC0\x00" "abc\0urn:sha1:\0"s, r));
  EXPECT_EQ(r.Flags, kQueryFlagsForm | kQueryFlagFirewalled);
  EXPECT_EQ(r.Text, "abc");
  EXPECT_EQ(r.Extension, "urn:sha1:");
  ASSERT_TRUE(ParseQuery("\x2C\x01" "old form"s, r));  // no NUL at all, speed 300
  EXPECT_EQ(r.MinSpeed, 300);
  EXPECT_EQ(r.Flags, 0);
  EXPECT_EQ(r.Text, "old form");
  EXPECT_EQ(r.Extension, "");
  ASSERT_TRUE(ParseQuery("\x00\x80" "x"s, r));  // the flags bit in the wrong byte
  EXPECT_EQ(r.Flags, 0);
  ASSERT_TRUE(ParseQuery("\x00\x00"s, r));
  EXPECT_EQ(r.Text, "");
  EXPECT_FALSE(ParseQuery("\x00"s, r));
}

TEST(GnutellaQueryHit, RealisticHitParses) {
  // Three results with urn:sha1: extensions (one followed by a GGEP block),
  // the 7-byte trailer with open-data size 2, GGEP in the private area,
  // then the servent GUID.
  const std::string ggep = Bytes({0xC3, 0x82, 'B', 'H', 0x40});
  std::string payload = HitHeader(3);
  payload += Result(1, 4000000, "Artist - Blue Song.mp3", "urn:sha1:PLSTHIPQGSSZTS5FJUPAKUZWUGYQYPFB");
  payload += Result(2, 123, "blue.txt", "urn:sha1:ABCDEFGHIJKLMNOPQRSTUVWXYZ234567\x1C" + ggep);
  payload += Result(0x01020304, 0xFFFFFFFF, "Blue \xE9t\xE9.ogg", "");
  payload += "SCRP" + Bytes({2, 0x3D, 0x19}) + ggep;
  payload += GuidBytes(Seq(0x30));

  TQueryHit hit;
  ASSERT_TRUE(ParseQueryHit(payload, hit));
  EXPECT_EQ(hit.Port, 6346);
  EXPECT_EQ(hit.Address, 0xC0A80709u);
  EXPECT_EQ(hit.Speed, 350u);
  ASSERT_EQ(hit.Results.size(), 3u);
  EXPECT_EQ(hit.Results[0].FileIndex, 1u);
  EXPECT_EQ(hit.Results[0].Size, 4000000u);
  EXPECT_EQ(hit.Results[0].Name, "Artist - Blue Song.mp3");
  EXPECT_EQ(hit.Results[0].Extra, "urn:sha1:PLSTHIPQGSSZTS5FJUPAKUZWUGYQYPFB");
  EXPECT_EQ(hit.Results[1].Extra, "urn:sha1:ABCDEFGHIJKLMNOPQRSTUVWXYZ234567\x1C" + ggep);
  EXPECT_EQ(hit.Results[2].FileIndex, 0x01020304u);
  EXPECT_EQ(hit.Results[2].Size, 0xFFFFFFFFu);
  EXPECT_EQ(hit.Results[2].Name, "Blue \xE9t\xE9.ogg");
  EXPECT_TRUE(hit.HasTrailer);
  EXPECT_EQ(hit.VendorCode, "SCRP");
  EXPECT_EQ(hit.OpenDataSize, 2);
  EXPECT_TRUE(hit.HasFlags);
  EXPECT_EQ(hit.Flags1, 0x3D);
  EXPECT_EQ(hit.Flags2, 0x19);
  EXPECT_EQ(hit.PrivateData, ggep);
  EXPECT_EQ(hit.ServentGuid, Seq(0x30));

  // The builder writes the same layout.
  EXPECT_EQ(QueryHitPayload(hit), payload);
}

TEST(GnutellaQueryHit, TrailerBounds) {
  const std::string guid = GuidBytes(Seq(0x50));
  const std::string one = Result(5, 6, "a.mp3", "");
  TQueryHit hit;

  // Exactly the common 7-byte trailer.
  ASSERT_TRUE(ParseQueryHit(HitHeader(1) + one + "ABCD" + Bytes({2, 0x1C, 0x04}) + guid, hit));
  EXPECT_TRUE(hit.HasTrailer);
  EXPECT_TRUE(hit.HasFlags);
  EXPECT_EQ(hit.Flags2, 0x04);
  EXPECT_TRUE(hit.PrivateData.empty());

  // Open-data size 1: the byte after it is private data, not a flag byte.
  ASSERT_TRUE(ParseQueryHit(HitHeader(1) + one + "ABCD" + Bytes({1, 0x1C, 0x04}) + guid, hit));
  EXPECT_TRUE(hit.HasTrailer);
  EXPECT_FALSE(hit.HasFlags);
  EXPECT_EQ(hit.OpenData, Bytes({0x1C}));
  EXPECT_EQ(hit.PrivateData, Bytes({0x04}));

  // Open data said to be longer than what is left before the GUID.
  ASSERT_TRUE(ParseQueryHit(HitHeader(1) + one + "ABCD" + Bytes({200, 0x1C, 0x04}) + guid, hit));
  EXPECT_TRUE(hit.HasFlags);
  EXPECT_EQ(hit.OpenData.size(), 2u);
  EXPECT_EQ(hit.ServentGuid, Seq(0x50));

  // Fewer than 7 bytes before the GUID: no trailer.
  ASSERT_TRUE(ParseQueryHit(HitHeader(1) + one + "ABCDEF" + guid, hit));
  EXPECT_FALSE(hit.HasTrailer);
  EXPECT_EQ(hit.PrivateData, "ABCDEF");

  // No results at all.
  ASSERT_TRUE(ParseQueryHit(HitHeader(0) + guid, hit));
  EXPECT_TRUE(hit.Results.empty());
}

TEST(GnutellaQueryHit, BrokenHitsAreDropped) {
  const std::string guid = GuidBytes(Seq(0x60));
  TQueryHit hit;
  // A name whose NUL lies inside the servent GUID runs past the results.
  std::string intoGuid = HitHeader(1) + Bytes({1, 0, 0, 0, 2, 0, 0, 0}) + "name";
  TGuid withNuls = Seq(0x60);
  withNuls[2] = 0;
  withNuls[5] = 0;
  EXPECT_FALSE(ParseQueryHit(intoGuid + GuidBytes(withNuls), hit));
  // More results announced than present.
  EXPECT_FALSE(ParseQueryHit(HitHeader(2) + Result(1, 1, "a", "") + guid, hit));
  // The last result cut short.
  std::string full = HitHeader(2) + Result(1, 1, "a", "") + Result(2, 2, "b", "x");
  EXPECT_FALSE(ParseQueryHit(full.substr(0, full.size() - 1) + guid, hit));
  // Too short for a header and a GUID.
  EXPECT_FALSE(ParseQueryHit(HitHeader(0) + guid.substr(1), hit));
  EXPECT_FALSE(ParseQueryHit("", hit));
}
