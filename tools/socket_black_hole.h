// A TCP port on 127.0.0.1 where connection attempts hang: a listener with a
// backlog of 0 that never accepts, its queue filled by a few connects. For
// tests that a blocked connect ends when closed. (Where the system lets
// further connects through regardless, they simply succeed.)
#pragma once
#include <cstdint>
#include <vector>

#include "platform/net.h"

class TSocketBlackHole {
 public:
  TSocketBlackHole();
  ~TSocketBlackHole();
  TSocketBlackHole(const TSocketBlackHole&) = delete;
  TSocketBlackHole& operator=(const TSocketBlackHole&) = delete;
  bool Valid() const { return port_ != 0; }
  int Port() const { return port_; }

 private:
  plat::SocketHandle listener_;
  std::vector<plat::SocketHandle> fillers_;
  int port_ = 0;
};
