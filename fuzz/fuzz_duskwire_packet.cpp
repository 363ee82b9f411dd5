// Feeds arbitrary bytes to the Duskwire packet reader, in pieces whose size
// the first byte chooses, and checks that every packet read comes out of
// the writer again with the same headers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "peer/duskwire/duskwire.h"
#include "platform/text.h"

namespace {

class FuzzDuskwire : public TDuskwire {
 public:
  FuzzDuskwire(const uint8_t* data, size_t size, int piece)
      : data_(data), size_(size), piece_(piece) {}
  std::string out;

 protected:
  int RecvSome(void* buf, int count) override {
    if (taken_ >= size_) throw EDuskwireNetwork("End of input");
    size_t n = size_ - taken_;
    if (n > size_t(count)) n = size_t(count);
    if (n > size_t(piece_)) n = size_t(piece_);
    std::memcpy(buf, data_ + taken_, n);
    taken_ += n;
    return int(n);
  }
  void SendAll(const void* buf, int count) override {
    out.append(static_cast<const char*>(buf), size_t(count));
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t taken_ = 0;
  int piece_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int piece = 1 + data[0] % 64;
  FuzzDuskwire d(data + 1, size - 1, piece == 64 ? 1 << 20 : piece);
  for (int packets = 0; packets < 64; ++packets) {
    std::string body;
    try {
      d.ReceiveString(packets % 3, body);
    } catch (const EDuskwire&) {
      break;
    } catch (const ESocket&) {
      break;
    }
    // What can be written in step must read back unchanged: names without
    // colons or line ends, values without blanks at their ends.
    bool writable = true;
    for (int i = 0; i < d.HeaderCount(); ++i)
      if (d.HeaderName(i).empty() || d.HeaderName(i).find_first_of(":\r\n") != std::string::npos)
        writable = false;
    if (!writable) continue;
    FuzzDuskwire echo(nullptr, 0, 1);
    echo.Assign(d);
    echo.SendString(body);
    if (echo.out.size() - body.size() > 7000) continue;  // escaping may pass the line limit
    FuzzDuskwire again(reinterpret_cast<const uint8_t*>(echo.out.data()), echo.out.size(), 1 << 20);
    std::string body2;
    again.ReceiveString(0, body2);
    if (body2 != body || again.FirstLine() != d.FirstLine()) std::abort();
    for (int i = 0; i < d.HeaderCount(); ++i) {
      const std::string& v = d.HeaderValue(i);
      if (plat::SameText(d.HeaderName(i), "Content-Length")) continue;
      if (!v.empty() && (v.front() == ' ' || v.back() == ' ')) continue;
      if (again.GetHeader(d.HeaderName(i)) != v) std::abort();
    }
  }
  return 0;
}
