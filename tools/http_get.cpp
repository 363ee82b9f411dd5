#include "tools/http_get.h"

#include <memory>

#include "core/web_client.h"
#include "platform/stream.h"

namespace {

// Passes the body on as it arrives (to a file or an output stream) and
// counts it.
class Sink : public plat::Stream {
 public:
  explicit Sink(std::ostream* out, std::unique_ptr<plat::Stream> file) : out_(out), file_(std::move(file)) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buf, int64_t count) override {
    if (file_) {
      count = file_->Write(buf, count);
    } else {
      out_->write(static_cast<const char*>(buf), std::streamsize(count));
      if (!*out_) return 0;
    }
    written_ += count;
    return count;
  }
  int64_t Seek(int64_t, Origin) override { return written_; }
  int64_t Size() override { return written_; }
  void SetSize(int64_t) override {}

 private:
  std::ostream* out_;
  std::unique_ptr<plat::Stream> file_;
  int64_t written_ = 0;
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
  std::unique_ptr<plat::Stream> target;
  try {
    if (!file.empty()) target = std::make_unique<plat::FileStream>(file, plat::FileStream::kCreate);
  } catch (const plat::EStreamError&) {
    r.code = kWebCannotStore;
    return r;
  }
  Sink sink(&out, std::move(target));
  int rc = h.ReadBodyTo(sink, -1);  // streamed, so no cap
  r.bytes = sink.Size();
  if (rc < 0) r.code = rc;
  return r;
}
