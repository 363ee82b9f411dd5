// The iterative wildcard matcher, and the gateway's piece-wise matcher of
// search patterns, against the plain recursive one. Input: one byte giving
// the pattern length (up to 63), the pattern, then the text (up to 256
// bytes).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/global_functions.h"
#include "peer/gateway/gateway.h"
#include "tools/wildcard_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t plen = data[0] % 64;
  if (plen > rest.size()) plen = rest.size();
  std::string_view pattern = rest.substr(0, plen);
  std::string_view text = rest.substr(plen);
  if (text.size() > 256) text = text.substr(0, 256);
  const bool expected = testref::Wildcard(pattern, text);
  if (MatchWildcard(pattern, text) != expected) std::abort();
  // A gateway term is a pattern only when it holds a star.
  if (pattern.find('*') != std::string_view::npos && TGatewayTerm(pattern).Matches(text) != expected) std::abort();
  return 0;
}
