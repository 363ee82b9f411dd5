#include "peer/duskwire/duskwire.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace {

constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;

bool IsLineEnd(unsigned char c) { return c == kCR || c == kLF; }

// Characters a header value carries unescaped.
struct SafeTable {
  bool safe[256] = {};
  SafeTable() {
    for (int c = 'A'; c <= 'Z'; ++c) safe[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) safe[c] = true;
    for (int c = '0'; c <= '9'; ++c) safe[c] = true;
    for (unsigned char c : std::string_view(".;\"'()[]!@#$^&-+={}_* ")) safe[c] = true;
  }
};
const SafeTable kSafe;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// Signed decimal text -> number; false for anything else (or overflow).
bool ParseInt64(std::string_view s, int64_t* out) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  if (i == s.size()) return false;
  uint64_t v = 0;
  const uint64_t limit = neg ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    unsigned d = unsigned(s[i] - '0');
    if (v > (limit - d) / 10) return false;
    v = v * 10 + d;
  }
  *out = neg ? int64_t(0 - v) : int64_t(v);
  return true;
}

}  // namespace

std::string DuskwireEscape(std::string_view value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (unsigned char c : value) {
    if (kSafe.safe[c]) {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string DuskwireUnescape(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      out += value[i];
      continue;
    }
    int hi = i + 1 < value.size() ? HexValue(value[i + 1]) : 0;
    int lo = i + 2 < value.size() ? HexValue(value[i + 2]) : 0;
    out += char(hi * 16 + lo);
    i += 2;
  }
  return out;
}

void DuskwireTransform(std::string& body) {
  for (char& c : body) c = char(255 - static_cast<unsigned char>(c));
}

// ---------------------------------------------------------------- packet

void TDuskwirePacket::SetFirstLine(std::string line) {
  firstLine_ = std::move(line);
  int code = 0;
  size_t n = std::min<size_t>(4, firstLine_.size());
  for (size_t i = 0; i < n; ++i) code = code * 10 + (static_cast<unsigned char>(firstLine_[i]) - 48);
  code_ = code;
}

int TDuskwirePacket::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < names_.size(); ++i)
    if (plat::SameText(names_[i], name)) return int(i);
  return -1;
}

void TDuskwirePacket::SetHeader(std::string_view name, std::string_view value) {
  int i = IndexOf(name);
  if (i >= 0) {
    values_[size_t(i)] = std::string(value);
  } else {
    names_.emplace_back(name);
    values_.emplace_back(value);
  }
}

std::string TDuskwirePacket::GetHeader(std::string_view name) const {
  int i = IndexOf(name);
  return i >= 0 ? values_[size_t(i)] : std::string();
}

bool TDuskwirePacket::HasHeader(std::string_view name) const { return IndexOf(name) >= 0; }

int64_t TDuskwirePacket::GetHeaderInt64(std::string_view name) const {
  std::string v = plat::Trim(GetHeader(name));
  if (v.empty()) return 0;
  int64_t n = 0;
  if (!ParseInt64(v, &n)) throw EDuskwire("'" + v + "' is not a valid integer value");
  return n;
}

bool TDuskwirePacket::GetHeaderBool(std::string_view name) const {
  return plat::UpperCase(plat::Trim(GetHeader(name))) == "TRUE";
}

void TDuskwirePacket::ClearHeaders() {
  names_.clear();
  values_.clear();
}

void TDuskwirePacket::Assign(const TDuskwirePacket& source) {
  if (&source == this) return;
  firstLine_ = source.firstLine_;
  code_ = source.code_;
  names_ = source.names_;
  values_ = source.values_;
}

std::unique_ptr<TDuskwirePacket> TDuskwirePacket::Clone() const {
  auto p = std::make_unique<TDuskwirePacket>();
  p->Assign(*this);
  return p;
}

std::string TDuskwirePacket::HeaderBlock() const {
  std::string text = firstLine_ + "\r\n";
  for (size_t i = 0; i < names_.size(); ++i) {
    text += names_[i];
    text += ": ";
    text += DuskwireEscape(values_[i]);
    text += "\r\n";
  }
  text += "\r\n";
  return text;
}

// ---------------------------------------------------------------- connection

TDuskwire::TDuskwire() = default;
TDuskwire::~TDuskwire() = default;

void TDuskwire::Connect(const std::string& host, int port) {
  fill_ = pos_ = 0;
  socket_.Connect(host, port);
}

void TDuskwire::Accept(TSocket& listener) {
  fill_ = pos_ = 0;
  socket_.Accept(listener);
}

void TDuskwire::Close() { socket_.Close(); }
bool TDuskwire::Connected() const { return socket_.Connected(); }
void TDuskwire::SetTimeout(int seconds) { socket_.SetTimeout(seconds); }
void TDuskwire::SetBindAddress(const std::string& address) { socket_.SetBindAddress(address); }
std::string TDuskwire::LocalIP() const { return socket_.LocalIP(); }
std::string TDuskwire::RemoteIP() const { return socket_.RemoteIP(); }
uint32_t TDuskwire::LocalAddress() const { return socket_.LocalAddress(); }
int TDuskwire::SendRate() const { return socket_.SendRate(); }
int TDuskwire::ReceiveRate() const { return socket_.ReceiveRate(); }
void TDuskwire::Cancel() { socket_.Cancel(); }

void TDuskwire::WaitReadable(int ms) {
  if (pos_ < fill_) return;
  socket_.WaitReadable(ms);
}

bool TDuskwire::DataWaiting() { return pos_ < fill_ || socket_.BytesAvailable() > 0; }

int TDuskwire::RecvSome(void* buf, int count) {
  if (!socket_.Connected()) throw EDuskwireNetwork("Connection is not open");
  return socket_.Recv(buf, count);
}

void TDuskwire::SendAll(const void* buf, int count) { socket_.WriteAll(buf, count); }

void TDuskwire::WriteHeaderBlock() {
  std::string text = HeaderBlock();
  SendAll(text.data(), int(text.size()));
  ClearHeaders();
}

void TDuskwire::SendHeader(const std::string& firstLine) {
  SetFirstLine(firstLine);
  WriteHeaderBlock();
}

void TDuskwire::SendPacket(const void* buffer, int offset, int count) {
  if (count < 0) count = 0;
  SetHeader("Content-Length", plat::IntToStr(count));
  WriteHeaderBlock();
  const auto* p = static_cast<const unsigned char*>(buffer) + offset;
  for (int done = 0; done < count;) {
    int n = std::min(count - done, kDuskwireBufferSize);
    SendAll(p + done, n);
    done += n;
  }
}

void TDuskwire::SendString(const std::string& s) { SendPacket(s.data(), 0, int(s.size())); }

unsigned char TDuskwire::PeekChar() {
  if (pos_ >= fill_) {
    fill_ = pos_ = 0;
    int n;
    try {
      n = RecvSome(buf_, kDuskwireBufferSize);
    } catch (const ESocket& e) {
      throw EDuskwireNetwork(e.what(), e.Code);
    }
    if (n <= 0) throw EDuskwireNetwork("Receive failed");
    fill_ = n;
  }
  return buf_[pos_];
}

unsigned char TDuskwire::ReadChar() {
  unsigned char c = PeekChar();
  ++pos_;
  return c;
}

// A CR is followed by the LF of the same line end.
void TDuskwire::EndOfLine(unsigned char c) {
  if (c == kCR && PeekChar() == kLF) ++pos_;
}

void TDuskwire::Malformed(const char* what) {
  fill_ = pos_ = 0;
  socket_.Close();
  throw EDuskwireNetwork(std::string("Malformed packet: ") + what);
}

void TDuskwire::ReadHeaderBlock(std::string& firstLine) {
  ClearHeaders();
  std::string line;
  unsigned char c;
  while (!IsLineEnd(c = ReadChar())) {
    if (int(line.size()) >= kDuskwireMaxFirstLine) Malformed("first line too long");
    line += char(c);
  }
  EndOfLine(c);
  SetFirstLine(line);
  firstLine = line;
  int total = int(line.size());
  for (int lines = 0;; ++lines) {
    if (lines >= kDuskwireMaxHeaders) Malformed("too many headers");
    std::string name, value;
    bool inValue = false;
    for (int len = 0;; ++len) {
      if (len >= kDuskwireMaxHeaderLine) Malformed("header line too long");
      if (++total > kDuskwireMaxHeaderText) Malformed("header block too long");
      c = ReadChar();
      if (!inValue) {
        if (IsLineEnd(c) && name.empty()) {
          EndOfLine(c);
          return;  // empty line: end of the block
        }
        if (c == ':')
          inValue = true;
        else
          name += char(c);  // a line end inside a name stays part of it
        continue;
      }
      if (!IsLineEnd(c)) {
        value += char(c);
        continue;
      }
      EndOfLine(c);
      if (name.empty() && value.empty()) return;  // a line holding ":" alone
      SetHeader(name, DuskwireUnescape(plat::Trim(value)));
      break;
    }
  }
}

const unsigned char* TDuskwire::ReceivePacket(int& length, int offset) {
  std::string firstLine;
  ReadHeaderBlock(firstLine);
  int64_t total;
  try {
    total = GetHeaderInt64("Content-Length");
  } catch (const EDuskwire&) {
    Malformed("Content-Length is not a number");
  }
  if (total < 0 || total > kDuskwireMaxBody) Malformed("Content-Length out of range");
  if (offset < 0) offset = 0;
  if (offset > kDuskwireMaxBody) offset = int(kDuskwireMaxBody);
  int len = int(std::max<int64_t>(0, total - offset));
  body_.assign(size_t(offset) + size_t(len) + 255, 0);
  // The whole body leaves the stream, so the next packet starts in step;
  // what does not fit behind offset is read and dropped.
  int skip = int(total) - len;
  for (int done = 0; done < len;) {
    unsigned char* dest = body_.data() + offset + done;
    int n;
    if (pos_ < fill_) {
      n = std::min(fill_ - pos_, len - done);
      std::memcpy(dest, buf_ + pos_, size_t(n));
      pos_ += n;
    } else {
      n = RecvSome(dest, std::min(len - done, kDuskwireBufferSize));
      if (n <= 0) throw EDuskwireNetwork("Receive failed");
    }
    done += n;
  }
  while (skip > 0) {
    PeekChar();
    int n = std::min(fill_ - pos_, skip);
    pos_ += n;
    skip -= n;
  }
  length = len;
  return body_.data();
}

void TDuskwire::ReceiveString(int offset, std::string& s) {
  int length = 0;
  const unsigned char* p = ReceivePacket(length, offset);
  if (offset < 0) offset = 0;
  if (offset > kDuskwireMaxBody) offset = int(kDuskwireMaxBody);
  s.assign(reinterpret_cast<const char*>(p) + offset, size_t(length));
}
