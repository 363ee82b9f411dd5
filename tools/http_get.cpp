#include "tools/http_get.h"

#include <memory>

#include "core/web_client.h"
#include "platform/stream.h"

namespace {

// Passes the body on to an output stream as it arrives.
class OstreamSink : public plat::Stream {
 public:
  explicit OstreamSink(std::ostream& out) : out_(out) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buf, int64_t count) override {
    out_.write(static_cast<const char*>(buf), std::streamsize(count));
    size_ += count;
    return out_ ? count : 0;
  }
  int64_t Seek(int64_t, Origin) override { return size_; }
  int64_t Size() override { return size_; }
  void SetSize(int64_t) override {}

 private:
  std::ostream& out_;
  int64_t size_ = 0;
};

}  // namespace

HttpGetResult HttpGet(const std::string& url, const std::string& file, std::ostream& out) {
  HttpGetResult r;
  TWebClientHandle h;
  r.code = h.Open(url);
  if (r.code < 0) return r;
  r.code = h.Request(0, 0);
  if (r.code < 0) return r;
  out << "HTTP " << r.code << "\n";
  for (int i = 0; i < h.ResponseHeaderCount(); ++i) out << h.ResponseHeaderName(i) << ": " << h.ResponseHeaderValue(i) << "\n";
  out << "\n";
  std::unique_ptr<plat::Stream> sink;
  try {
    if (file.empty())
      sink = std::make_unique<OstreamSink>(out);
    else
      sink = std::make_unique<plat::FileStream>(file, plat::FileStream::kCreate);
  } catch (const plat::EStreamError&) {
    r.code = kWebCannotStore;
    return r;
  }
  int rc = h.ReadBodyTo(*sink, -1);  // to a file: no cap
  r.bytes = sink->Size();
  if (rc < 0) r.code = rc;
  return r;
}
