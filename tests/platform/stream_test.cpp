#include "platform/stream.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/test_util.h"

namespace {

using plat::EStreamError;
using plat::FileStream;
using plat::MemoryStream;
using plat::Stream;

TEST(MemoryStream, WriteSeekReadAndGrow) {
  MemoryStream m;
  m.WriteBuffer("hello world", 11);
  EXPECT_EQ(m.Size(), 11);
  EXPECT_EQ(m.Position(), 11);
  EXPECT_EQ(m.Seek(-5, Stream::kEnd), 6);
  char buf[16] = {};
  EXPECT_EQ(m.Read(buf, 100), 5);  // only what is there
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(m.Read(buf, 1), 0);
  // Writing past the end fills the gap with zeros.
  m.SetPosition(13);
  m.WriteBuffer("!", 1);
  EXPECT_EQ(m.AsString(), std::string("hello world\0\0!", 14));
  // Overwriting in the middle keeps the size.
  m.SetPosition(0);
  m.WriteBuffer("J", 1);
  EXPECT_EQ(m.Size(), 14);
  EXPECT_EQ(m.AsString().substr(0, 5), "Jello");
}

TEST(MemoryStream, SeekBeforeStartIsRefused) {
  MemoryStream m;
  m.WriteBuffer("abc", 3);
  EXPECT_EQ(m.Seek(-4, Stream::kEnd), -1);
  EXPECT_EQ(m.Position(), 3);
  EXPECT_EQ(m.Seek(-1, Stream::kBegin), -1);
  EXPECT_EQ(m.Seek(1, Stream::kBegin), 1);
  EXPECT_EQ(m.Seek(1, Stream::kCurrent), 2);
}

TEST(MemoryStream, SetSizeTruncatesAndMovesThePosition) {
  MemoryStream m;
  m.WriteBuffer("abcdef", 6);
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2);
  EXPECT_EQ(m.AsString(), "ab");
  m.SetSize(4);
  EXPECT_EQ(m.AsString(), std::string("ab\0\0", 4));
  EXPECT_THROW(m.SetSize(-1), EStreamError);
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
}

TEST(MemoryStream, ReadBufferWantsEveryByte) {
  MemoryStream m;
  m.WriteBuffer("abc", 3);
  m.SetPosition(0);
  char buf[4];
  EXPECT_THROW(m.ReadBuffer(buf, 4), EStreamError);
  m.SetPosition(0);
  m.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  m.ReadBuffer(buf, 0);  // nothing asked, nothing raised
}

TEST(FileStream, ModesAndErrors) {
  const std::string dir = testutil::TempFolder("stream");
  const std::string path = dir + "data.bin";
  EXPECT_THROW(FileStream(path, FileStream::kOpenRead), EStreamError);
  EXPECT_THROW(FileStream(path, FileStream::kOpenWrite), EStreamError);
  // A folder is no file to stream.
  EXPECT_THROW(FileStream(dir, FileStream::kOpenRead), EStreamError);
  try {
    FileStream f(path, FileStream::kOpenReadWrite);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EStreamError& e) {
    EXPECT_NE(std::string(e.what()).find("data.bin"), std::string::npos);
  }
  {
    FileStream f(path, FileStream::kCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.Size(), 10);
    f.SetPosition(2);
    char c[3];
    f.ReadBuffer(c, 3);
    EXPECT_EQ(std::string(c, 3), "234");
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
    EXPECT_EQ(f.Position(), 4);
    f.Flush();
  }
  {
    // Opening for writing keeps the content; reading meanwhile is allowed.
    FileStream w(path, FileStream::kOpenWrite);
    FileStream r(path, FileStream::kOpenRead);
    w.Seek(0, Stream::kEnd);
    w.WriteBuffer("xy", 2);
    char buf[8];
    EXPECT_EQ(r.Read(buf, 8), 6);
    EXPECT_EQ(std::string(buf, 6), "0123xy");
    EXPECT_EQ(r.Write("z", 1), 0);  // read-only
  }
  {
    FileStream f(path, FileStream::kCreate);  // truncates
    EXPECT_EQ(f.Size(), 0);
  }
  plat::DeleteFile(path);
}

TEST(MemoryStream, LoadAndSaveFiles) {
  const std::string dir = testutil::TempFolder("stream");
  MemoryStream m;
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += char(i);
  m.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  m.SaveToFile(dir + "all.bin");
  EXPECT_EQ(plat::FileSize(dir + "all.bin"), 256);
  MemoryStream back;
  back.WriteBuffer("old", 3);
  back.LoadFromFile(dir + "all.bin");
  EXPECT_EQ(back.AsString(), bytes);
  EXPECT_EQ(back.Position(), 0);
  EXPECT_THROW(back.LoadFromFile(dir + "missing.bin"), EStreamError);
  MemoryStream empty;
  empty.SaveToFile(dir + "empty.bin");
  EXPECT_EQ(plat::FileSize(dir + "empty.bin"), 0);
}

// A header reader answers every read as the file would, and costs a call
// only where its windows miss: the head and tail at opening (one call for a
// small file), then one per block read elsewhere.
TEST(HeaderFileStream, ReadsWhatTheFileHoldsWithFewCalls) {
  const std::string dir = testutil::TempFolder("stream");
  std::string bytes;
  for (int i = 0; i < 10000; ++i) bytes += char(i * 7 + i / 256);
  MemoryStream m;
  m.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  m.SaveToFile(dir + "data.bin");

  plat::HeaderFileStream small(dir + "data.bin", 8000, 4000);
  EXPECT_EQ(small.Reads(), 1);
  plat::HeaderFileStream s(dir + "data.bin", 1000, 500);
  EXPECT_EQ(s.Reads(), 2);
  EXPECT_EQ(s.Size(), 10000);
  auto readAt = [](Stream& from, int64_t at, int64_t count) {
    std::string out(size_t(count), '\0');
    from.SetPosition(at);
    out.resize(size_t(from.Read(out.data(), count)));
    return out;
  };
  auto expected = [&](int64_t at, int64_t count) { return readAt(m, at, count); };
  EXPECT_EQ(readAt(s, 0, 10), expected(0, 10));
  EXPECT_EQ(readAt(s, 9872, 128), expected(9872, 128));
  EXPECT_EQ(readAt(small, 4321, 5000), expected(4321, 5000));
  EXPECT_EQ(s.Reads(), 2);
  // Elsewhere: one read of a block, which serves what follows in it.
  EXPECT_EQ(readAt(s, 5000, 10), expected(5000, 10));
  EXPECT_EQ(readAt(s, 5500, 300), expected(5500, 300));
  EXPECT_EQ(s.Reads(), 3);
  // A read across a window's edge, one beyond the end, one larger than a
  // block.
  EXPECT_EQ(readAt(s, 990, 20), expected(990, 20));
  EXPECT_EQ(readAt(s, 9990, 100), expected(9990, 10));
  EXPECT_EQ(readAt(s, 10000, 5), "");
  EXPECT_EQ(readAt(s, 100, 4000), expected(100, 4000));
  EXPECT_EQ(s.Seek(-1, Stream::kBegin), -1);
  EXPECT_THROW(s.WriteBuffer("x", 1), EStreamError);
  EXPECT_THROW(s.SetSize(3), EStreamError);

  MemoryStream().SaveToFile(dir + "empty.bin");
  plat::HeaderFileStream empty(dir + "empty.bin", 1000, 500);
  EXPECT_EQ(empty.Reads(), 0);
  EXPECT_EQ(readAt(empty, 0, 10), "");
  EXPECT_THROW(plat::HeaderFileStream(dir + "missing.bin", 1000, 500), EStreamError);
}

}  // namespace
