// Reads arbitrary bytes as a handshake: a first line, then header blocks,
// as the node reads them from a peer. Lines and blocks must stay within
// their limits, and what the node takes from the headers must be sane.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "peer/gnutella/gnutella.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBufferReader in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    std::string first = ReadHandshakeLine(in);
    if (first.size() > kMaxHandshakeLine) std::abort();
    IsStatusOk(first);
    for (int block = 0; block < 4; ++block) {
      THandshakeHeaders h;
      h.Read(in);
      if (h.Count() > kMaxHandshakeLines) std::abort();
      TPeerHeaders p = InterpretHeaders(h);
      for (auto& host : p.Hosts)
        if (host.Host.empty() || host.Port == 0) std::abort();
      if (p.MyAddressPort < 0 || p.MyAddressPort > 65535) std::abort();
      if (ParseUptime(p.Uptime) < 0) std::abort();
    }
  } catch (const EGnutella&) {
  }
  return 0;
}
