// The HTTP client's response reader (status lines, headers, interim
// responses, redirects, cookies, chunked and length-framed bodies) fed
// from memory in pieces of varying size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/network_wrapper.h"
#include "core/web_client.h"

namespace {

class MemoryHandle : public TWebClientHandle {
 public:
  MemoryHandle(const uint8_t* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}

 protected:
  void TransportConnect(const std::string&, int) override { connected_ = true; }
  bool TransportConnected() override { return connected_; }
  void TransportSend(const std::string& bytes) override {
    if (bytes.find("\r\n\r\n") != bytes.size() - 4) std::abort();  // one head, nothing injected
  }
  int TransportRecv(void* buf, int count) override {
    if (pos_ >= size_) throw ESocket(-13);
    size_t n = std::min({size_t(count), size_ - pos_, piece_});
    std::memcpy(buf, data_ + pos_, n);
    pos_ += n;
    return int(n);
  }
  void TransportClose() override { connected_ = false; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t piece_;
  size_t pos_ = 0;
  bool connected_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t piece = size_t(data[0] % 16) + 1;
  if (data[0] & 0x80) piece = 8192;
  WebCookies::Clear();
  MemoryHandle h(data + 1, size - 1, piece);
  h.MaxBodySize = 64 * 1024;
  if (h.Open("http://fuzz.test/start") < 0) std::abort();
  int status = h.Request(0, 0);
  if (status >= 0) {
    h.ReadBody();
    if (h.Body().Size() > h.MaxBodySize) std::abort();
    WebCookies::HeaderFor(h.Host(), h.Path());
  }
  return 0;
}
