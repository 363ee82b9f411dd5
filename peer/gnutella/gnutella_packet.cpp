#include "peer/gnutella/gnutella_packet.h"

#include <algorithm>
#include <cstring>

#include "platform/system.h"

size_t TGuidHash::operator()(const TGuid& g) const {
  // FNV-1a over the 16 bytes.
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : g) h = (h ^ b) * 1099511628211ull;
  return size_t(h);
}

TGuid NewServentGuid() {
  TGuid g;
  plat::NewGuidBytes(g.data());
  return g;
}

TGuid NewDescriptorGuid() {
  TGuid g = NewServentGuid();
  g[5] |= 0x0F;
  g[15] = 0;
  return g;
}

TGuid FirstPingGuid() {
  TGuid g = NewServentGuid();
  for (int i = 4; i <= 7; ++i) g[i] = 0xFF;
  return g;
}

std::string GuidToText(const TGuid& g) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(32);
  for (uint8_t b : g) {
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

TGuid GuidFromBytes(std::string_view s) {
  TGuid g{};
  std::memcpy(g.data(), s.data(), std::min<size_t>(16, s.size()));
  return g;
}

// ---------------------------------------------------------------- header

TBasePacket::TBasePacket(const TGuid& guid, uint8_t type, uint8_t ttl, uint8_t hops, std::string payload)
    : Guid(guid), Type(type), TTL(ttl), Hops(hops), Payload(std::move(payload)) {
  if (Payload.size() > kMaxPayload) Payload.resize(kMaxPayload);
}

std::string TBasePacket::Header() const {
  std::string h(reinterpret_cast<const char*>(Guid.data()), Guid.size());
  h += char(Type);
  h += char(TTL);
  h += char(Hops);
  PutLE32(h, PayloadLength());
  return h;
}

std::string TBasePacket::Encode() const { return Header() + Payload; }

uint32_t TBasePacket::DecodeHeader(const uint8_t* header) {
  std::memcpy(Guid.data(), header, 16);
  Type = header[16];
  TTL = header[17];
  Hops = header[18];
  uint32_t length = GetLE32(std::string_view(reinterpret_cast<const char*>(header), kHeaderSize), 19);
  if (length > kMaxPayload) throw EGnutella("Descriptor payload too long");
  return length;
}

// ---------------------------------------------------------------- readers

uint8_t TBufferReader::ReadByte() {
  if (pos_ >= data_.size()) throw EGnutella("End of input");
  return uint8_t(data_[pos_++]);
}

void TBufferReader::ReadExact(void* buf, int count) {
  if (count < 0 || size_t(count) > Remaining()) throw EGnutella("End of input");
  std::memcpy(buf, data_.data() + pos_, size_t(count));
  pos_ += size_t(count);
}

TBasePacket ReadDescriptor(TGnutellaReader& in) {
  uint8_t header[TBasePacket::kHeaderSize];
  in.ReadExact(header, TBasePacket::kHeaderSize);
  TBasePacket p;
  uint32_t length = p.DecodeHeader(header);
  p.Payload.resize(length);
  if (length > 0) in.ReadExact(p.Payload.data(), int(length));
  return p;
}

// ---------------------------------------------------------------- numbers

void PutLE16(std::string& out, uint16_t v) {
  out += char(v & 0xFF);
  out += char(v >> 8);
}

void PutLE32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
}

uint16_t GetLE16(std::string_view s, size_t at) {
  return uint16_t(uint8_t(s[at]) | (uint8_t(s[at + 1]) << 8));
}

uint32_t GetLE32(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(s[at + size_t(i)]);
  return v;
}

void PutAddress(std::string& out, uint32_t address) {
  for (int shift = 24; shift >= 0; shift -= 8) out += char((address >> shift) & 0xFF);
}

uint32_t GetAddress(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = (v << 8) | uint8_t(s[at + i]);
  return v;
}

// ---------------------------------------------------------------- ping, pong, push

std::string PongPayload(const TPong& p) {
  std::string s;
  PutLE16(s, p.Port);
  PutAddress(s, p.Address);
  PutLE32(s, p.Files);
  PutLE32(s, p.KBytes);
  return s;
}

bool ParsePong(std::string_view payload, TPong& p) {
  if (payload.size() < kPongSize) return false;
  p.Port = GetLE16(payload, 0);
  p.Address = GetAddress(payload, 2);
  p.Files = GetLE32(payload, 6);
  p.KBytes = GetLE32(payload, 10);
  return true;
}

std::string PushPayload(const TPush& p) {
  std::string s(reinterpret_cast<const char*>(p.ServentGuid.data()), 16);
  PutLE32(s, p.FileIndex);
  PutAddress(s, p.Address);
  PutLE16(s, p.Port);
  return s;
}

bool ParsePush(std::string_view payload, TPush& p) {
  if (payload.size() < kPushSize) return false;
  p.ServentGuid = GuidFromBytes(payload);
  p.FileIndex = GetLE32(payload, 16);
  p.Address = GetAddress(payload, 20);
  p.Port = GetLE16(payload, 24);
  return true;
}

// ---------------------------------------------------------------- query

namespace {

std::string_view UpToNul(std::string_view s) {
  size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

}  // namespace

std::string QueryPayload(uint16_t firstField, std::string_view text, std::string_view extension) {
  text = UpToNul(text);
  extension = UpToNul(extension);
  const size_t fixed = 2 + 1 + 1;
  if (fixed + extension.size() > kMaxQueryPayload) extension = {};
  size_t room = kMaxQueryPayload - fixed - extension.size();
  if (text.size() > room) text = text.substr(0, room);
  std::string s;
  if (firstField & kQueryFlagsForm) {
    s += char(firstField >> 8);
    s += char(firstField & 0xFF);
  } else {
    PutLE16(s, firstField);
  }
  s.append(text);
  s += '\0';
  s.append(extension);
  s += '\0';
  return s;
}

bool ParseQuery(std::string_view payload, TSearchRequest& r) {
  if (payload.size() < 2) return false;
  r.MinSpeed = GetLE16(payload, 0);
  const uint16_t highFirst = uint16_t(uint8_t(payload[0]) << 8 | uint8_t(payload[1]));
  r.Flags = (highFirst & kQueryFlagsForm) ? highFirst : 0;
  std::string_view rest = payload.substr(2);
  std::string_view text = UpToNul(rest);
  r.Text.assign(text);
  rest = text.size() < rest.size() ? rest.substr(text.size() + 1) : std::string_view();
  r.Extension.assign(UpToNul(rest));
  return true;
}

// ---------------------------------------------------------------- query hit

std::string QueryHitPayload(const TQueryHit& hit) {
  std::string s;
  size_t count = std::min<size_t>(hit.Results.size(), 255);
  s += char(count);
  PutLE16(s, hit.Port);
  PutAddress(s, hit.Address);
  PutLE32(s, hit.Speed);
  for (size_t i = 0; i < count; ++i) {
    const THitResult& r = hit.Results[i];
    PutLE32(s, r.FileIndex);
    PutLE32(s, r.Size);
    s.append(UpToNul(r.Name));
    s += '\0';
    s.append(UpToNul(r.Extra));
    s += '\0';
  }
  if (!hit.VendorCode.empty()) {
    std::string vendor = hit.VendorCode.substr(0, 4);
    vendor.resize(4, ' ');
    s += vendor;
    std::string open = hit.OpenData;
    if (open.empty() && hit.HasFlags) {
      open += char(hit.Flags1);
      open += char(hit.Flags2);
    }
    if (open.size() > 255) open.resize(255);
    s += char(open.size());
    s += open;
  }
  s += hit.PrivateData;
  s.append(reinterpret_cast<const char*>(hit.ServentGuid.data()), 16);
  return s;
}

bool ParseQueryHit(std::string_view payload, TQueryHit& hit) {
  hit = TQueryHit();
  if (payload.size() < kHitHeaderSize + 16) return false;
  const size_t end = payload.size() - 16;  // the servent GUID follows
  size_t count = uint8_t(payload[0]);
  hit.Port = GetLE16(payload, 1);
  hit.Address = GetAddress(payload, 3);
  hit.Speed = GetLE32(payload, 7);
  size_t pos = kHitHeaderSize;
  hit.Results.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    if (end - pos < 8 + 2) return false;  // index, size and two NULs at least
    THitResult r;
    r.FileIndex = GetLE32(payload, pos);
    r.Size = GetLE32(payload, pos + 4);
    pos += 8;
    std::string_view area = payload.substr(pos, end - pos);
    size_t nul1 = area.find('\0');
    if (nul1 == std::string_view::npos) return false;
    size_t nul2 = area.find('\0', nul1 + 1);
    if (nul2 == std::string_view::npos) return false;
    r.Name.assign(area.substr(0, nul1));
    r.Extra.assign(area.substr(nul1 + 1, nul2 - nul1 - 1));
    pos += nul2 + 1;
    hit.Results.push_back(std::move(r));
  }
  if (end - pos >= kHitTrailerSize) {
    hit.HasTrailer = true;
    hit.VendorCode.assign(payload.substr(pos, 4));
    hit.OpenDataSize = uint8_t(payload[pos + 4]);
    pos += 5;
    size_t open = std::min<size_t>(hit.OpenDataSize, end - pos);
    hit.OpenData.assign(payload.substr(pos, open));
    if (hit.OpenDataSize >= 2 && open >= 2) {
      hit.HasFlags = true;
      hit.Flags1 = uint8_t(hit.OpenData[0]);
      hit.Flags2 = uint8_t(hit.OpenData[1]);
    }
    pos += open;
  }
  hit.PrivateData.assign(payload.substr(pos, end - pos));
  hit.ServentGuid = GuidFromBytes(payload.substr(end));
  return true;
}
