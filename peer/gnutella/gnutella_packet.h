// Gnutella descriptors: the 23-byte header with its payload, descriptor
// GUIDs, and the payload layouts of ping, pong, push, query and query hit.
// Integers on the wire are little-endian, IPv4 addresses in network order.
//
// Everything here is plain data and pure functions over bytes, so the
// readers can be fed from a socket, a buffer or a fuzzer alike.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A protocol violation by the peer (or the end of a buffer being read).
class EGnutella : public std::runtime_error {
 public:
  explicit EGnutella(const std::string& what) : std::runtime_error(what) {}
};

using TGuid = std::array<uint8_t, 16>;

struct TGuidHash {
  size_t operator()(const TGuid& g) const;
};

// A new descriptor GUID: 16 random bytes whose byte 5 gets its low four bits
// set and whose byte 15 is 0.
TGuid NewDescriptorGuid();
// The GUID of the first ping on a connection: random, bytes 4 to 7 = 0xFF.
TGuid FirstPingGuid();
// A servent GUID: 16 random bytes.
TGuid NewServentGuid();
// 32 upper-case hexadecimal digits.
std::string GuidToText(const TGuid& g);
// Reads the first 16 bytes of s (which must hold at least 16).
TGuid GuidFromBytes(std::string_view s);

enum TDescriptorType : uint8_t {
  kDescPing = 0x00,
  kDescPong = 0x01,
  kDescBye = 0x02,
  kDescRouteTable = 0x30,
  kDescVendor = 0x31,
  kDescVendorStd = 0x32,
  kDescPush = 0x40,
  kDescQuery = 0x80,
  kDescQueryHit = 0x81,
};

// One descriptor: header fields and payload.
class TBasePacket {
 public:
  static constexpr int kHeaderSize = 23;
  static constexpr uint32_t kMaxPayload = 64000;

  TBasePacket() = default;
  // A payload longer than kMaxPayload is cut to it.
  TBasePacket(const TGuid& guid, uint8_t type, uint8_t ttl, uint8_t hops, std::string payload);

  TGuid Guid{};
  uint8_t Type = 0;
  uint8_t TTL = 0;
  uint8_t Hops = 0;
  std::string Payload;

  uint32_t PayloadLength() const { return uint32_t(Payload.size()); }
  // The 23 header bytes.
  std::string Header() const;
  // Header and payload, as sent.
  std::string Encode() const;
  // Decodes a header into guid, type, TTL and hops; returns the payload
  // length it announces. Raises EGnutella when that exceeds kMaxPayload.
  uint32_t DecodeHeader(const uint8_t* header);
};

// A source of bytes for the readers. Both calls raise (EGnutella, or the
// socket's ESocket) when the bytes cannot be had.
class TGnutellaReader {
 public:
  virtual ~TGnutellaReader() = default;
  virtual uint8_t ReadByte() = 0;
  virtual void ReadExact(void* buf, int count) = 0;
};

// Reads bytes from (its copy of) a buffer; raises EGnutella at its end.
class TBufferReader : public TGnutellaReader {
 public:
  explicit TBufferReader(std::string data) : data_(std::move(data)) {}
  uint8_t ReadByte() override;
  void ReadExact(void* buf, int count) override;
  size_t Remaining() const { return data_.size() - pos_; }

 private:
  std::string data_;
  size_t pos_ = 0;
};

// Reads one descriptor: the header, then its payload. A payload length above
// 64000 raises EGnutella before any payload byte is read.
TBasePacket ReadDescriptor(TGnutellaReader& in);

// ---------------------------------------------------------------- payloads

// Little-endian and network-order helpers over strings.
void PutLE16(std::string& out, uint16_t v);
void PutLE32(std::string& out, uint32_t v);
uint16_t GetLE16(std::string_view s, size_t at);
uint32_t GetLE32(std::string_view s, size_t at);
// An IPv4 address (host byte order) as its 4 bytes in network order.
void PutAddress(std::string& out, uint32_t address);
uint32_t GetAddress(std::string_view s, size_t at);

struct TPong {
  uint16_t Port = 0;
  uint32_t Address = 0;  // host byte order
  uint32_t Files = 0;
  uint32_t KBytes = 0;
};
constexpr size_t kPongSize = 14;
std::string PongPayload(const TPong& p);
// False when the payload is shorter than 14 bytes.
bool ParsePong(std::string_view payload, TPong& p);

struct TPush {
  TGuid ServentGuid{};
  uint32_t FileIndex = 0;
  uint32_t Address = 0;  // host byte order
  uint16_t Port = 0;
};
constexpr size_t kPushSize = 26;
std::string PushPayload(const TPush& p);
// False when the payload is shorter than 26 bytes.
bool ParsePush(std::string_view payload, TPush& p);

// A query that reached the node.
struct TSearchRequest {
  std::string Text;
  std::string Extension;
  TGuid Guid{};
  uint16_t MinSpeed = 0;  // the first field read little-endian (the old form)
  uint16_t Flags = 0;     // the first field read high byte first; 0 unless it has kQueryFlagsForm
};

// The first field of a query. Servents of today read it high byte first:
// with bit 0x8000 it is a set of flags (0x4000: the searcher cannot accept
// connections), and one without that bit is an old minimum speed, written
// little-endian, that they drop as obsolete.
constexpr uint16_t kQueryFlagsForm = 0x8000;
constexpr uint16_t kQueryFlagFirewalled = 0x4000;
// The longest query payload current servents pass on.
constexpr size_t kMaxQueryPayload = 256;
// First field (16 bits: flags high byte first when it has kQueryFlagsForm,
// else a minimum speed little-endian), text, NUL, extension, NUL. Text and
// extension end at a NUL of their own; the extension is left out, then the
// text cut, so that the payload keeps to kMaxQueryPayload.
std::string QueryPayload(uint16_t firstField, std::string_view text, std::string_view extension);
// False when the payload is shorter than 2 bytes. The text ends at the
// first NUL (or the payload's end), the extension at the next.
bool ParseQuery(std::string_view payload, TSearchRequest& r);

// Query hits.
struct THitResult {
  uint32_t FileIndex = 0;
  uint32_t Size = 0;
  std::string Name;
  std::string Extra;  // text between the two NULs (urns, extension blocks)
};

// Flag bits of the hit trailer: the first byte tells which flags are valid,
// the second holds their values.
enum THitFlag : uint8_t {
  kHitFlagPush = 0x01,
  kHitFlagBusy = 0x04,
  kHitFlagHaveUploaded = 0x08,
  kHitFlagUploadSpeed = 0x10,
};

struct TQueryHit {
  uint16_t Port = 0;
  uint32_t Address = 0;  // host byte order
  uint32_t Speed = 0;
  std::vector<THitResult> Results;
  bool HasTrailer = false;
  std::string VendorCode;  // 4 characters when HasTrailer
  uint8_t OpenDataSize = 0;
  bool HasFlags = false;   // the open data holds the two flag bytes
  uint8_t Flags1 = 0;      // "valid" bits
  uint8_t Flags2 = 0;      // values
  std::string OpenData;    // the open data as sent (flag bytes included)
  std::string PrivateData; // what follows the open data before the GUID
  TGuid ServentGuid{};
};
constexpr size_t kHitHeaderSize = 11;
constexpr size_t kHitTrailerSize = 7;  // vendor, size byte, two flag bytes

// Builds the payload: header, results, a trailer when VendorCode is not
// empty (its open data is OpenData, or the two flag bytes when OpenData is
// empty and HasFlags is set), the private data, the servent GUID. At most
// 255 results are written.
std::string QueryHitPayload(const TQueryHit& hit);
// Parses a hit payload. Results end before the servent GUID (the last 16
// bytes); a result that runs past that bound, or fewer results than
// announced, fail the whole hit. When at least 7 bytes remain before the
// GUID a trailer is read; its flag bytes only when the open-data size is at
// least 2 and they lie within the bound.
bool ParseQueryHit(std::string_view payload, TQueryHit& hit);
