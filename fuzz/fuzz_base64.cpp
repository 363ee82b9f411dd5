// Base64: decoding any bytes must be safe, encoding then decoding must give
// the input back, and decoding the re-encoded result of a decode must be
// stable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/global_functions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);

  std::string decoded = Base64Decode(in);
  if (decoded.size() > size / 4 * 3 + 2) std::abort();

  std::string encoded = Base64Encode(in);
  for (char c : encoded) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '/' || c == '=' || c == '\r' || c == '\n';
    if (!ok) std::abort();
  }
  if (Base64Decode(encoded) != in) std::abort();
  if (Base64Decode(Base64Encode(decoded)) != decoded) std::abort();
  return 0;
}
