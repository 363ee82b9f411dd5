#include "platform/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace plat {
namespace {

// Where a seek of a stream held in memory (or read as such) lands: -1 for a
// place before the start or beyond what a position can hold.
int64_t SeekTarget(int64_t pos, int64_t size, int64_t offset, Stream::Origin origin) {
  const int64_t base = origin == Stream::kBegin ? 0 : origin == Stream::kCurrent ? pos : size;
  // A position before the start is refused (the file stream's answer too).
  if (offset < 0 ? base < -offset : false) return -1;
  if (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) return -1;
  return base + offset;
}

}  // namespace

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
  const int64_t to = SeekTarget(pos_, Size(), offset, origin);
  if (to >= 0) pos_ = to;
  return to;
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

// -------------------------------------------------------- HeaderFileStream

HeaderFileStream::HeaderFileStream(const std::string& path, int64_t head, int64_t tail)
    : file_(path, FileStream::kOpenRead), size_(std::max<int64_t>(file_.Size(), 0)), block_(std::max<int64_t>(head, 1)) {
  head = std::max<int64_t>(head, 0);
  tail = std::clamp<int64_t>(tail, 0, size_);
  if (size_ <= head + tail) {
    Fill(head_, 0, size_);
  } else {
    Fill(head_, 0, head);
    Fill(tail_, size_ - tail, tail);
  }
}

void HeaderFileStream::Fill(Window& w, int64_t at, int64_t count) {
  w.at = at;
  w.bytes.resize(size_t(count));
  if (count == 0) return;
  ++reads_;
  w.bytes.resize(size_t(std::max<int64_t>(file_.ReadAt(at, w.bytes.data(), count), 0)));
}

int64_t HeaderFileStream::Read(void* buf, int64_t count) {
  if (count <= 0 || pos_ >= size_) return 0;
  count = std::min(count, size_ - pos_);
  const Window* from = nullptr;
  for (const Window* w : {&head_, &tail_, &moving_})
    if (w->Holds(pos_, count)) from = w;
  if (!from && count <= block_) {
    Fill(moving_, pos_, std::min(block_, size_ - pos_));
    if (moving_.Holds(pos_, count)) from = &moving_;
  }
  int64_t n = 0;
  if (from) {
    std::memcpy(buf, from->bytes.data() + (pos_ - from->at), size_t(count));
    n = count;
  } else {
    ++reads_;
    n = std::max<int64_t>(file_.ReadAt(pos_, buf, count), 0);
  }
  pos_ += n;
  return n;
}

int64_t HeaderFileStream::Write(const void*, int64_t) { throw EStreamError("The file is open for reading only"); }

void HeaderFileStream::SetSize(int64_t) { throw EStreamError("The file is open for reading only"); }

int64_t HeaderFileStream::Seek(int64_t offset, Origin origin) {
  const int64_t to = SeekTarget(pos_, size_, offset, origin);
  if (to >= 0) pos_ = to;
  return to;
}

}  // namespace plat
