#include "peer/duskwire/duskwire.h"

#include <gtest/gtest.h>

#include "peer/duskwire/number_list.h"
#include "tools/duskwire_memory.h"

namespace {

std::string Packet(const std::string& firstLine, const std::string& headers, const std::string& body) {
  return firstLine + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

std::string ReadBody(TDuskwire& d, int offset = 0) {
  std::string s;
  d.ReceiveString(offset, s);
  return s;
}

}  // namespace

TEST(DuskwirePacket, GoldenBytesAndHeadersClearedAfterSend) {
  TMemoryDuskwire d;
  d.SetFirstLine("FL");
  d.SetHeader("Name", "v");
  d.SendPacket("abcde", 0, 5);
  EXPECT_EQ(d.Output(), "FL\r\nName: v\r\nContent-Length: 5\r\n\r\nabcde");
  EXPECT_EQ(d.HeaderCount(), 0);

  d.ClearOutput();
  d.SetHeader("X", "1");
  d.SendHeader("GET_NODE");
  EXPECT_EQ(d.Output(), "GET_NODE\r\nX: 1\r\n\r\n");
}

TEST(DuskwirePacket, EscapingRoundTrip) {
  const std::string value = std::string("a:b\nc%d ") + char(0xE9) + "\t/,?.;\"'()[]!@#$^&-+={}_*" + "\r\n";
  std::string escaped = DuskwireEscape(value);
  EXPECT_EQ(escaped, "a%3Ab%0Ac%25d %E9%09%2F%2C%3F.;\"'()[]!@#$^&-+={}_*%0D%0A");
  TMemoryDuskwire out;
  out.SetHeader("Value", value);
  out.SendHeader("1000");
  TMemoryDuskwire in(out.Output());
  std::string first;
  in.ReadHeaderBlock(first);
  EXPECT_EQ(first, "1000");
  EXPECT_EQ(in.GetHeader("value"), value);  // escaped line ends at the end survive
}

TEST(DuskwirePacket, UnescapeIsBoundsChecked) {
  EXPECT_EQ(DuskwireUnescape("abc%"), std::string("abc") + '\0');
  EXPECT_EQ(DuskwireUnescape("%4"), std::string(1, char(0x40)));
  EXPECT_EQ(DuskwireUnescape("%zz1"), std::string(1, '\0') + "1");
  EXPECT_EQ(DuskwireUnescape("%41%6a"), "Aj");
}

TEST(DuskwirePacket, HeadersAndCode) {
  TDuskwirePacket p;
  p.SetFirstLine("2010 OK");
  EXPECT_EQ(p.Code(), 2010);
  p.SetFirstLine("20");
  EXPECT_EQ(p.Code(), 20);
  p.SetFirstLine("");
  EXPECT_EQ(p.Code(), 0);

  p.SetHeader("Content-Length", "5");
  p.SetHeader("content-length", "7");
  EXPECT_EQ(p.HeaderCount(), 1);
  EXPECT_EQ(p.HeaderName(0), "Content-Length");
  EXPECT_EQ(p.GetHeaderInt64("CONTENT-LENGTH"), 7);
  EXPECT_EQ(p.GetHeaderInt64("Absent"), 0);
  p.SetHeader("N", " -42 ");
  EXPECT_EQ(p.GetHeaderInt64("n"), -42);
  p.SetHeader("N", "12x");
  EXPECT_THROW(p.GetHeaderInt64("N"), EDuskwire);
  p.SetHeader("N", "99999999999999999999");
  EXPECT_THROW(p.GetHeaderInt64("N"), EDuskwire);
  p.SetHeader("Limited", " true ");
  EXPECT_TRUE(p.GetHeaderBool("limited"));
  p.SetHeader("Limited", "yes");
  EXPECT_FALSE(p.GetHeaderBool("Limited"));

  auto c = p.Clone();
  EXPECT_EQ(c->GetHeader("Limited"), "yes");
  EXPECT_EQ(c->FirstLine(), "");
  p.ClearHeaders();
  EXPECT_EQ(c->HeaderCount(), 3);
}

TEST(DuskwireReader, BlockShapes) {
  std::string first;
  {
    // The first header line is empty: no headers.
    TMemoryDuskwire d("1000\r\n\r\nX: 1\r\n\r\n");
    d.ReadHeaderBlock(first);
    EXPECT_EQ(d.HeaderCount(), 0);
  }
  {
    // A line holding ":" alone ends the block too; blanks around values go.
    TMemoryDuskwire d("2000\r\nA:   x y  \r\n:\r\nB: 2\r\n\r\n");
    d.ReadHeaderBlock(first);
    EXPECT_EQ(d.Code(), 2000);
    EXPECT_EQ(d.HeaderCount(), 1);
    EXPECT_EQ(d.GetHeader("A"), "x y");
  }
  {
    // A line without a colon runs into the next line's name.
    TMemoryDuskwire d("1000\r\nbad\r\nC: 3\r\n\r\n");
    d.ReadHeaderBlock(first);
    EXPECT_EQ(d.HeaderCount(), 1);
    EXPECT_EQ(d.HeaderName(0), "bad\r\nC");
  }
}

TEST(DuskwireReader, TwoPacketsInOneSegmentAndByteByByte) {
  const std::string stream = Packet("1000", "To: \r\nMessage-ID: m1\r\n", "body-one") +
                             Packet("2000", "Routing-Info: a%3Ab\r\n", std::string(20000, 'z'));
  for (int piece : {1 << 20, 1, 7, 8000}) {
    SCOPED_TRACE(piece);
    TMemoryDuskwire d(stream, piece);
    EXPECT_EQ(ReadBody(d), "body-one");
    EXPECT_EQ(d.Code(), 1000);
    EXPECT_EQ(d.GetHeader("Message-ID"), "m1");
    EXPECT_EQ(ReadBody(d), std::string(20000, 'z'));
    EXPECT_EQ(d.Code(), 2000);
    EXPECT_EQ(d.GetHeader("Routing-Info"), "a:b");
    EXPECT_EQ(d.Unread(), 0u);
    EXPECT_THROW(ReadBody(d), EDuskwireNetwork);
  }
}

TEST(DuskwireReader, BodyWithOffsetKeepsTheStreamInStep) {
  std::string body;
  for (int i = 0; i < 100; ++i) body += char('A' + i % 26);
  TMemoryDuskwire d(Packet("1000", "", body) + Packet("1000", "", "next"), 3);
  int length = 0;
  const unsigned char* p = d.ReceivePacket(length, 10);
  ASSERT_EQ(length, 90);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p) + 10, 90), body.substr(0, 90));
  EXPECT_EQ(ReadBody(d), "next");
}

TEST(DuskwireReader, HostileLengthsCloseInsteadOfDesynchronising) {
  const std::string cases[] = {
      "1000\r\nContent-Length: -1\r\n\r\n",
      "1000\r\nContent-Length: 1099511627776\r\n\r\n",  // 2^40
      "1000\r\nContent-Length: 1048577\r\n\r\n",
      "1000\r\nContent-Length: 12abc\r\n\r\n",
      "1000\r\nX: " + std::string(9000, 'a') + "\r\n\r\n",
      std::string(9000, '1') + "\r\n\r\n",
  };
  for (const auto& c : cases) {
    TMemoryDuskwire d(c + Packet("1000", "", "later"), 512);
    std::string s;
    EXPECT_THROW(d.ReceiveString(0, s), EDuskwireNetwork) << c.substr(0, 40);
  }
  // The largest allowed body is taken.
  TMemoryDuskwire big(Packet("1000", "", std::string(size_t(kDuskwireMaxBody), 'q')));
  EXPECT_EQ(ReadBody(big).size(), size_t(kDuskwireMaxBody));
}

TEST(DuskwireReader, HeaderCountAndHeaderTextAreBounded) {
  std::string many;
  for (int i = 0; i < 300; ++i) many += "H" + std::to_string(i) + ": 1\r\n";
  TMemoryDuskwire d1("1000\r\n" + many + "\r\n");
  std::string first;
  EXPECT_THROW(d1.ReadHeaderBlock(first), EDuskwireNetwork);

  std::string wide;
  for (int i = 0; i < 200; ++i) wide += "H" + std::to_string(i) + ": " + std::string(400, 'w') + "\r\n";
  TMemoryDuskwire d2("1000\r\n" + wide + "\r\n");
  EXPECT_THROW(d2.ReadHeaderBlock(first), EDuskwireNetwork);

  std::string fine;
  for (int i = 0; i < 200; ++i) fine += "H" + std::to_string(i) + ": 1\r\n";
  TMemoryDuskwire d3("1000\r\n" + fine + "\r\n");
  d3.ReadHeaderBlock(first);
  EXPECT_EQ(d3.HeaderCount(), 200);
}

TEST(DuskwirePacket, BodyTransformIsItsOwnInverse) {
  std::string b = std::string("\0\x01\x7f\x80\xff", 5);
  DuskwireTransform(b);
  EXPECT_EQ(b, std::string("\xff\xfe\x80\x7f\0", 5));
  DuskwireTransform(b);
  EXPECT_EQ(b, std::string("\0\x01\x7f\x80\xff", 5));
}

TEST(NumberList, CaseFoldedNamesAndAbsentValues) {
  TNumberList l;
  EXPECT_EQ(l.GetValue("Hosts"), 0);
  l.SetValue("Hosts", 5);
  l.SetValue("HOSTS", 7);
  l.SetValue("mb", -3);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.GetValue("hosts"), 7);
  EXPECT_EQ(l.Names(0), "HOSTS");
  EXPECT_EQ(l.Names(1), "MB");
  EXPECT_EQ(l.Values(1), -3);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.GetValue("MB"), 0);
}
