// Feeds arbitrary bytes to the descriptor reader as one connection's
// stream, checks that every descriptor read writes back as the same bytes,
// and hands each to a node with two fake neighbours, as a connection
// thread would.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "peer/gnutella/gnutella.h"
#include "peer/gnutella/gnutella_packet.h"

namespace {

class FuzzLink : public TGnutellaLink {
 public:
  void QueueDescriptor(const TBasePacket& p) override {
    if (p.PayloadLength() > TBasePacket::kMaxPayload) std::abort();
    ++queued;
  }
  void CloseLink() override {}
  size_t queued = 0;
};

struct Net {
  Net() {
    TGnutellaSettings s;
    s.iMaxResults = 64;
    node.SetSettings(s);
    node.AttachLink(&from, "1.1.1.1:1", true, true);
    node.AttachLink(&other, "2.2.2.2:2", false, false);
  }
  FuzzLink from, other;
  TGnutella node;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Net* net = new Net;
  const std::string input(reinterpret_cast<const char*>(data), size);
  TBufferReader in(input);
  size_t consumed = 0;
  for (int i = 0; i < 256; ++i) {
    TBasePacket p;
    try {
      p = ReadDescriptor(in);
    } catch (const EGnutella&) {
      break;
    }
    std::string wire = p.Encode();
    if (input.compare(consumed, wire.size(), wire) != 0) std::abort();
    consumed += wire.size();
    // Our own search now and then, so that hits can be ours.
    if (p.Type == kDescQueryHit && (p.Guid[0] & 1)) net->node.Search(0, "x");
    net->node.ReceiveDescriptor(p, &net->from);
  }
  while (net->node.GetNextResult()) {
  }
  while (net->node.GetNextSearchRequest()) {
  }
  if (net->node.ResultQueueLength() != 0) std::abort();
  return 0;
}
