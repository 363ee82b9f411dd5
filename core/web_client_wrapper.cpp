#include "core/web_client_wrapper.h"

#include <cstring>
#include <new>

namespace {

int Check(int code) {
  if (code < 0) throw EWebClient(code);
  return code;
}

}  // namespace

EWebClient::EWebClient(int code)
    : std::runtime_error("WebClient Exception " + std::to_string(code)), Code(code) {}

TWebClient::TWebClient() {
  try {
    handle_ = std::make_unique<TWebClientHandle>();
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("Out of memory");
  }
}

TWebClient::~TWebClient() = default;

void TWebClient::Open(const std::string& url) { Check(handle_->Open(url)); }

void TWebClient::Close() { handle_->Close(); }

void TWebClient::SetRequestHeader(const std::string& name, const std::string& value) {
  handle_->SetRequestHeader(name, value);
}

int TWebClient::Request(int64_t rangeStart, int64_t rangeEnd) {
  return Check(handle_->Request(rangeStart, rangeEnd));
}

void TWebClient::ReadBody(const void*& data, int64_t& rangeStart, int64_t& rangeEnd) {
  Check(handle_->ReadBody());
  data = handle_->Body().Data().data();
  rangeStart = handle_->RangeStart();
  rangeEnd = handle_->RangeEnd();
}

void TWebClient::ReadBodyAsString(std::string& text, int64_t& rangeStart, int64_t& rangeEnd) {
  const void* data = nullptr;
  ReadBody(data, rangeStart, rangeEnd);
  const auto& bytes = handle_->Body().Data();
  const char* p = reinterpret_cast<const char*>(bytes.data());
  text.assign(p, p ? strnlen(p, bytes.size()) : 0);
}

std::string TWebClient::GetResponseHeader(const std::string& name) const { return handle_->ResponseHeader(name); }
