#include "peer/napster/napster_message.h"

#include <cstring>

namespace {
void PutLe16(std::string& out, std::size_t v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
uint16_t GetLe16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
}  // namespace

bool EncodeNapsterMessage(uint16_t type, std::string_view text, std::size_t maxText,
                          std::string& frame) {
  if (text.size() > maxText || text.size() > 0xFFFF) return false;
  frame.clear();
  frame.reserve(kNapsterHeaderSize + text.size());
  PutLe16(frame, text.size());
  PutLe16(frame, type);
  frame.append(text);
  return true;
}

uint16_t NapsterTextLength(const unsigned char* header) { return GetLe16(header); }

NapsterMessage DecodeNapsterBody(const unsigned char* body, std::size_t size) {
  NapsterMessage m;
  if (size < 2) return m;
  m.Type = GetLe16(body);
  const char* text = reinterpret_cast<const char*>(body + 2);
  std::size_t n = size - 2;
  const void* nul = std::memchr(text, 0, n);
  if (nul) n = std::size_t(static_cast<const char*>(nul) - text);
  m.Text.assign(text, n);
  return m;
}

void NapsterFrameReader::Feed(const void* data, std::size_t size) {
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(static_cast<const char*>(data), size);
}

NapsterFrameReader::Result NapsterFrameReader::Next(NapsterMessage& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data()) + start_;
  std::size_t have = buffer_.size() - start_;
  if (have < 2) return Result::kNeedMore;
  std::size_t length = NapsterTextLength(p);
  if (length > maxText_) return Result::kTooLong;
  if (have < kNapsterHeaderSize + length) return Result::kNeedMore;
  out = DecodeNapsterBody(p + 2, length + 2);
  start_ += kNapsterHeaderSize + length;
  return Result::kMessage;
}
