// Byte streams: files and memory.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace plat {

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Stream {
 public:
  virtual ~Stream() = default;
  // Reads / writes at most count bytes; returns the bytes done.
  virtual int64_t Read(void* buf, int64_t count) = 0;
  virtual int64_t Write(const void* buf, int64_t count) = 0;
  enum Origin { kBegin, kCurrent, kEnd };
  virtual int64_t Seek(int64_t offset, Origin origin) = 0;
  virtual int64_t Size() = 0;
  virtual void SetSize(int64_t size) = 0;
  int64_t Position() { return Seek(0, kCurrent); }
  void SetPosition(int64_t p) { Seek(p, kBegin); }
  // Exactly count bytes or EStreamError.
  void ReadBuffer(void* buf, int64_t count);
  void WriteBuffer(const void* buf, int64_t count);
};

class FileStream : public Stream {
 public:
  enum Mode {
    kOpenRead,       // read only; others may read and write meanwhile
    kOpenWrite,      // write only, existing file, not truncated
    kOpenReadWrite,  // existing file
    kCreate,         // created or truncated, read and write
  };
  // Raises EStreamError with the path when the file cannot be opened.
  FileStream(const std::string& path, Mode mode);
  ~FileStream() override;
  int64_t Read(void* buf, int64_t count) override;
  int64_t Write(const void* buf, int64_t count) override;
  int64_t Seek(int64_t offset, Origin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  void Flush();
  // Reads at most count bytes at offset with a single read (the position
  // afterwards is unspecified); returns the bytes read, -1 on an error.
  int64_t ReadAt(int64_t offset, void* buf, int64_t count);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A file read for what its first and last bytes hold (tags, headers): its
// first `head` and last `tail` bytes are read when it is opened, each with
// one call (one call in all when the file is no longer than the two), and
// later reads there cost no call. A read elsewhere fetches `head` bytes from
// its position with one call, kept for the reads that follow. The size is the
// one the file had when opened. Read only: Write and SetSize raise
// EStreamError, as does opening a missing file.
class HeaderFileStream : public Stream {
 public:
  HeaderFileStream(const std::string& path, int64_t head, int64_t tail);
  int64_t Read(void* buf, int64_t count) override;
  int64_t Write(const void* buf, int64_t count) override;
  int64_t Seek(int64_t offset, Origin origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t size) override;
  // The reads the file has cost so far.
  int Reads() const { return reads_; }

 private:
  struct Window {
    int64_t at = 0;
    std::vector<char> bytes;
    bool Holds(int64_t pos, int64_t count) const {
      return pos >= at && pos + count <= at + int64_t(bytes.size());
    }
  };
  void Fill(Window& w, int64_t at, int64_t count);

  FileStream file_;
  int64_t size_;
  int64_t block_;
  int64_t pos_ = 0;
  int reads_ = 0;
  Window head_, tail_, moving_;
};

class MemoryStream : public Stream {
 public:
  int64_t Read(void* buf, int64_t count) override;
  int64_t Write(const void* buf, int64_t count) override;
  int64_t Seek(int64_t offset, Origin origin) override;
  int64_t Size() override { return int64_t(data_.size()); }
  void SetSize(int64_t size) override;
  const std::vector<unsigned char>& Data() const { return data_; }
  std::string AsString() const { return std::string(data_.begin(), data_.end()); }
  void Clear() { data_.clear(); pos_ = 0; }
  void LoadFromFile(const std::string& path);  // EStreamError on failure
  void SaveToFile(const std::string& path);

 private:
  std::vector<unsigned char> data_;
  int64_t pos_ = 0;
};

}  // namespace plat
