// Drives the local gateway with what its client and remote peers could
// send: a stream of records, each a client frame, a Duskwire request or
// response body, or a Gnutella result. Whatever comes, everything the
// gateway writes to its client must be whole frames within its limit.
//
// Record: kind (1 byte), length (2 bytes, little-endian), payload.
//   kind % 5 == 0: client frame: type (2 bytes) and text
//   kind % 5 == 1: request to us;  2: flooded request (empty To)
//   kind % 5 == 3: response for the current search (or another, by bit 7)
//   kind % 5 == 4: Gnutella result: address (4 bytes), file name
#include <cstddef>
#include <cstdint>
#include <string>

#include "peer/gateway/gateway.h"
#include "peer/napster/napster_message.h"
#include "platform/net.h"
#include "tools/gateway_fake_networks.h"

namespace {

void CheckWire(const std::string& wire) {
  NapsterFrameReader reader(kGatewayMaxText);
  reader.Feed(wire.data(), wire.size());
  NapsterMessage m;
  NapsterFrameReader::Result r;
  while ((r = reader.Next(m)) == NapsterFrameReader::Result::kMessage) {
  }
  if (r == NapsterFrameReader::Result::kTooLong || reader.Buffered() != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  TGatewaySettings s = TGatewayHarness::QuickSettings();
  s.GnutellaSeedHost = "";
  TGatewayHarness gw(s);
  gw.Dusk().SetPeers(1);
  gw.Gnut().SetConnections(1);
  gw.Dusk().SetIPNumber(0x7F000001, "127.0.0.1");
  gw.LogIn("me", 6699, 7);
  gw.HandleClientMessage(100, "\"shared song.mp3\" 0 123456 128 44100 200");
  gw.HandleClientMessage(200, "FILENAME CONTAINS \"song\"");

  std::size_t pos = 0;
  while (pos + 3 <= size) {
    const uint8_t kind = data[pos];
    std::size_t length = std::size_t(data[pos + 1] | (data[pos + 2] << 8));
    pos += 3;
    if (length > size - pos) length = size - pos;
    const std::string payload(reinterpret_cast<const char*>(data + pos), length);
    pos += length;
    switch (kind % 5) {
      case 0:
        if (payload.size() >= 2 && payload.size() - 2 <= kGatewayMaxText) {
          uint16_t type = uint16_t(uint8_t(payload[0]) | (uint8_t(payload[1]) << 8));
          // A second login would only wait; the networks are faked anyway.
          gw.HandleClientMessage(type, payload.substr(2));
        }
        break;
      case 1:
      case 2:
        gw.Dusk().InjectRequest("SEED:1:p1", kind % 5 == 1 ? "me" : "", "peer", payload,
                                (kind & 0x80) ? "OTHER" : kNapsterRequestType);
        break;
      case 3:
        gw.Dusk().InjectResponse((kind & 0x80) ? "ELSEWHERE" : gw.SearchId(), "me", "peer", payload);
        break;
      case 4: {
        if (payload.size() < 4) break;
        TSearchResult r;
        r.Host = plat::AddressToText(uint32_t(uint8_t(payload[0])) << 24 | uint32_t(uint8_t(payload[1])) << 16 |
                                     uint32_t(uint8_t(payload[2])) << 8 | uint8_t(payload[3]));
        r.FileName = payload.substr(4);
        r.Speed = uint32_t(kind) * 97;
        r.Port = 6346;
        gw.Gnut().InjectResult(r, !(kind & 0x80));
        break;
      }
    }
    gw.Pump(8);
    gw.PeriodicWork();
    if (gw.Closed()) gw.Reconnect();
    if (gw.PendingCount() > kGatewayMaxPending) __builtin_trap();
  }
  CheckWire(gw.Wire());
  return 0;
}
