// Sockets on 127.0.0.1 for the platform tests.
#pragma once
#include <gtest/gtest.h>

#include "platform/net.h"

namespace looptest {

constexpr uint32_t kLoopback = 0x7F000001;

// Closes its socket when it goes.
struct Socket {
  plat::SocketHandle h = plat::kInvalidSocket;
  Socket() = default;
  explicit Socket(plat::SocketHandle s) : h(s) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { Close(); }
  void Close() {
    if (h != plat::kInvalidSocket) plat::CloseSocket(h);
    h = plat::kInvalidSocket;
  }
  // Hands the socket over; it is no longer closed here.
  plat::SocketHandle Release() {
    const plat::SocketHandle r = h;
    h = plat::kInvalidSocket;
    return r;
  }
};

// Makes s a listener on 127.0.0.1 at a free port and returns the port.
inline uint16_t Listen(Socket& s) {
  s.h = plat::TcpSocket();
  EXPECT_NE(s.h, plat::kInvalidSocket);
  EXPECT_TRUE(plat::BindSocket(s.h, kLoopback, 0));
  EXPECT_TRUE(plat::ListenSocket(s.h, 5));
  uint16_t port = 0;
  EXPECT_TRUE(plat::LocalAddress(s.h, nullptr, &port));
  EXPECT_NE(port, 0);
  return port;
}

// A port on 127.0.0.1 where nobody listens (any more).
inline uint16_t DeadPort() {
  Socket gone;
  return Listen(gone);
}

}  // namespace looptest
