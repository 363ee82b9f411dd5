// Parses arbitrary bytes as a query-hit payload. What parses must stay
// within its bounds and, written again, give the same bytes (when its open
// data was whole) and the same hit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "peer/gnutella/gnutella_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string payload(reinterpret_cast<const char*>(data), size);
  TQueryHit hit;
  if (!ParseQueryHit(payload, hit)) return 0;
  if (hit.Results.size() != uint8_t(payload[0])) std::abort();
  size_t used = 11 + 16;
  for (auto& r : hit.Results) used += 8 + r.Name.size() + 1 + r.Extra.size() + 1;
  if (hit.HasTrailer) used += 5 + hit.OpenData.size();
  used += hit.PrivateData.size();
  if (used != payload.size()) std::abort();
  if (hit.HasFlags && hit.OpenDataSize < 2) std::abort();

  std::string again = QueryHitPayload(hit);
  if (hit.OpenDataSize == hit.OpenData.size() && again != payload) std::abort();
  TQueryHit back;
  if (!ParseQueryHit(again, back)) std::abort();
  if (back.Results.size() != hit.Results.size() || back.ServentGuid != hit.ServentGuid ||
      back.Speed != hit.Speed || back.Port != hit.Port || back.Address != hit.Address ||
      back.HasFlags != hit.HasFlags || back.Flags1 != hit.Flags1 || back.Flags2 != hit.Flags2)
    std::abort();
  for (size_t i = 0; i < hit.Results.size(); ++i)
    if (back.Results[i].Name != hit.Results[i].Name || back.Results[i].Extra != hit.Results[i].Extra)
      std::abort();
  return 0;
}
