#include "tools/socket_black_hole.h"

#include "platform/thread.h"

TSocketBlackHole::TSocketBlackHole() {
  plat::NetStartup();
  listener_ = plat::TcpSocket();
  uint32_t addr = 0;
  uint16_t port = 0;
  if (listener_ == plat::kInvalidSocket || !plat::BindSocket(listener_, 0x7f000001, 0) ||
      !plat::ListenSocket(listener_, 0) || !plat::LocalAddress(listener_, &addr, &port))
    return;
  for (int i = 0; i < 4; ++i) {
    plat::SocketHandle f = plat::TcpSocket();
    if (f == plat::kInvalidSocket) break;
    plat::SetNonBlocking(f, true);
    plat::ConnectSocket(f, 0x7f000001, port);
    fillers_.push_back(f);
  }
  plat::Thread::Sleep(100);  // let the queue fill
  port_ = port;
}

TSocketBlackHole::~TSocketBlackHole() {
  for (auto f : fillers_) plat::CloseSocket(f);
  if (listener_ != plat::kInvalidSocket) plat::CloseSocket(listener_);
}
