#include "platform/stream.h"

#include <cstring>
#include <limits>

namespace plat {

void Stream::ReadBuffer(void* buf, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const int64_t n = Read(static_cast<char*>(buf) + done, count - done);
    if (n <= 0) throw EStreamError("Stream read error");
    done += n;
  }
}

void Stream::WriteBuffer(const void* buf, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const int64_t n = Write(static_cast<const char*>(buf) + done, count - done);
    if (n <= 0) throw EStreamError("Stream write error");
    done += n;
  }
}

// ------------------------------------------------------------ MemoryStream

int64_t MemoryStream::Read(void* buf, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || pos_ >= size) return 0;
  const int64_t n = count < size - pos_ ? count : size - pos_;
  std::memcpy(buf, data_.data() + pos_, size_t(n));
  pos_ += n;
  return n;
}

int64_t MemoryStream::Write(const void* buf, int64_t count) {
  if (count <= 0) return 0;
  if (pos_ > std::numeric_limits<int64_t>::max() - count) return 0;
  const int64_t end = pos_ + count;
  if (end > Size()) SetSize(end);
  std::memcpy(data_.data() + pos_, buf, size_t(count));
  pos_ = end;
  return count;
}

int64_t MemoryStream::Seek(int64_t offset, Origin origin) {
  const int64_t base = origin == kBegin ? 0 : origin == kCurrent ? pos_ : Size();
  // A position before the start is refused (the file stream's answer too).
  if (offset < 0 ? base < -offset : false) return -1;
  if (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) return -1;
  pos_ = base + offset;
  return pos_;
}

void MemoryStream::SetSize(int64_t size) {
  if (size < 0 || uint64_t(size) > uint64_t(data_.max_size()))
    throw EStreamError("Out of memory while expanding memory stream");
  try {
    data_.resize(size_t(size));
  } catch (const std::exception&) {
    throw EStreamError("Out of memory while expanding memory stream");
  }
  if (pos_ > size) pos_ = size;
}

void MemoryStream::LoadFromFile(const std::string& path) {
  FileStream f(path, FileStream::kOpenRead);
  const int64_t size = f.Size();
  SetSize(size < 0 ? 0 : size);
  pos_ = 0;
  if (size > 0) f.ReadBuffer(data_.data(), size);
}

void MemoryStream::SaveToFile(const std::string& path) {
  FileStream f(path, FileStream::kCreate);
  if (!data_.empty()) f.WriteBuffer(data_.data(), Size());
}

}  // namespace plat
