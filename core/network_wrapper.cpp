#include "core/network_wrapper.h"

ESocket::ESocket(int code)
    : std::runtime_error("Network Exception " + std::to_string(code)), Code(code) {}

int CheckSocket(int code) {
  if (code < 0) throw ESocket(code);
  return code;
}

TSocket::TSocket() : r_(NetCreate()) {
  if (!r_) throw std::runtime_error("Out of network resources: WSACreateEvent");
}

TSocket::~TSocket() { NetDestroy(r_); }

void TSocket::SetTimeout(int seconds) { r_->timeOut = seconds < 0 ? 0 : seconds; }
int TSocket::Timeout() const { return r_->timeOut; }

void TSocket::SetBindAddress(const std::string& address) {
  uint32_t a = 0;
  if (!address.empty() && !plat::TextToAddress(address, &a)) throw ESocket(kNetAddressInUse);
  r_->bindAddress = a;
}

void TSocket::Listen(const std::string& address, int port, bool reuse) {
  CheckSocket(NetListen(r_, address, port, reuse));
}
void TSocket::Accept(TSocket& listener) { CheckSocket(NetAccept(r_, listener.r_)); }
void TSocket::Connect(const std::string& host, int port) { CheckSocket(NetConnect(r_, host, port)); }
int TSocket::Recv(void* buf, int count) { return CheckSocket(NetRecv(r_, buf, count)); }
int TSocket::Send(const void* buf, int count) { return CheckSocket(NetSend(r_, buf, count)); }
void TSocket::ReadExact(void* buf, int count) { CheckSocket(NetReadExact(r_, buf, count)); }
void TSocket::WriteAll(const void* buf, int count) { CheckSocket(NetWriteAll(r_, buf, count)); }
uint8_t TSocket::ReadByte() { return uint8_t(CheckSocket(NetReadByte(r_))); }
int TSocket::BytesAvailable() { return CheckSocket(NetBytesAvailable(r_)); }
void TSocket::WaitReadable(int ms) { CheckSocket(NetWaitReadable(r_, ms)); }
void TSocket::Cancel() { NetCancel(r_); }
void TSocket::Close() { NetClose(r_); }
bool TSocket::Connected() const { return NetConnected(r_); }

int TSocket::LocalPort() const { return r_->localPort; }
int TSocket::RemotePort() const { return r_->remotePort; }
std::string TSocket::LocalIP() const { return plat::AddressToText(r_->localIP); }
std::string TSocket::RemoteIP() const { return plat::AddressToText(r_->remoteIP); }
uint32_t TSocket::LocalAddress() const { return r_->localIP; }
uint32_t TSocket::RemoteAddress() const { return r_->remoteIP; }
int TSocket::SendRate() const { return r_->sendRate; }
int TSocket::ReceiveRate() const { return r_->receiveRate; }
