// test-label: concurrency
#include "platform/net.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/sync.h"
#include "tests/platform/loopback.h"

namespace {

using looptest::kLoopback;
using looptest::Socket;

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plat::NetStartup()); }

  // A connected pair over loopback (blocking sockets).
  void Pair(Socket& listener, Socket& client, Socket& server) {
    const uint16_t port = looptest::Listen(listener);
    client.h = plat::TcpSocket();
    ASSERT_TRUE(plat::ConnectSocket(client.h, kLoopback, port)) << plat::LastNetError();
    uint32_t addr = 0;
    uint16_t peerPort = 0;
    server.h = plat::AcceptSocket(listener.h, &addr, &peerPort);
    ASSERT_NE(server.h, plat::kInvalidSocket);
    EXPECT_EQ(addr, kLoopback);
    uint16_t clientPort = 0;
    ASSERT_TRUE(plat::LocalAddress(client.h, nullptr, &clientPort));
    EXPECT_EQ(peerPort, clientPort);
  }
};

// Reads exactly n bytes (the socket is blocking).
std::string RecvAll(plat::SocketHandle s, size_t n) {
  std::string r;
  char buf[4096];
  while (r.size() < n) {
    const int got = plat::RecvSocket(s, buf, int(std::min(sizeof buf, n - r.size())));
    if (got <= 0) break;
    r.append(buf, size_t(got));
  }
  return r;
}

TEST_F(NetTest, LoopbackConnectAcceptSendReceive) {
  Socket listener, client, server;
  Pair(listener, client, server);
  uint32_t peer = 0;
  ASSERT_TRUE(plat::PeerAddress(client.h, &peer, nullptr));
  EXPECT_EQ(peer, kLoopback);
  EXPECT_TRUE(plat::SetNoDelay(client.h, true));

  std::string big(100000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
  std::thread sender([&] {
    size_t done = 0;
    while (done < big.size()) {
      const int n = plat::SendSocket(client.h, big.data() + done, int(big.size() - done));
      if (n <= 0) break;
      done += size_t(n);
    }
  });
  EXPECT_EQ(RecvAll(server.h, big.size()), big);
  sender.join();

  ASSERT_EQ(plat::SendSocket(server.h, "pong", 4), 4);
  plat::SocketWaiter w;
  ASSERT_EQ(w.Wait(client.h, plat::kWaitRead, 5000), plat::WaitResult::kReady);
  EXPECT_EQ(plat::ReadableBytes(client.h), 4);
  EXPECT_EQ(RecvAll(client.h, 4), "pong");

  // An orderly shutdown reads as 0 bytes on the other side.
  plat::ShutdownSocket(server.h);
  char c;
  EXPECT_EQ(plat::RecvSocket(client.h, &c, 1), 0);
}

TEST_F(NetTest, RefusedConnectGives10061) {
  const uint16_t port = looptest::DeadPort();
  Socket s(plat::TcpSocket());
  EXPECT_FALSE(plat::ConnectSocket(s.h, kLoopback, port));
  EXPECT_EQ(plat::LastNetError(), plat::kWsaECONNREFUSED);
}

TEST_F(NetTest, AddressZeroIsRefused) {
  Socket listener;
  const uint16_t port = looptest::Listen(listener);
  Socket s(plat::TcpSocket());
  EXPECT_FALSE(plat::ConnectSocket(s.h, 0, port));
  EXPECT_EQ(plat::LastNetError(), plat::kWsaEADDRNOTAVAIL);
}

TEST_F(NetTest, ABusyPortCannotBeBoundAgain) {
  Socket listener;
  const uint16_t port = looptest::Listen(listener);
  Socket second(plat::TcpSocket());
  EXPECT_FALSE(plat::BindSocket(second.h, kLoopback, port));
  EXPECT_EQ(plat::LastNetError(), plat::kWsaEADDRINUSE);
}

TEST_F(NetTest, NonBlockingAcceptWithNothingWaiting) {
  Socket listener;
  looptest::Listen(listener);
  ASSERT_TRUE(plat::SetNonBlocking(listener.h, true));
  EXPECT_EQ(plat::AcceptSocket(listener.h, nullptr, nullptr), plat::kInvalidSocket);
  EXPECT_EQ(plat::LastNetError(), plat::kWsaEWOULDBLOCK);
}

// Writing into a connection the peer has closed fails with an error
// number; it never ends the process.
TEST_F(NetTest, SendingToAClosedPeerFailsQuietly) {
  Socket listener, client, server;
  Pair(listener, client, server);
  server.Close();
  int result = 0;
  for (int i = 0; i < 200 && result >= 0; ++i) {
    result = plat::SendSocket(client.h, "data", 4);
    if (result >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(result, -1);
  const int e = plat::LastNetError();
  EXPECT_TRUE(e == plat::kWsaECONNRESET || e == plat::kWsaECONNABORTED) << e;
}

// Closing a socket from another thread ends a receive blocked on it.
TEST_F(NetTest, CloseFromAnotherThreadEndsABlockedReceive) {
  Socket listener, client, server;
  Pair(listener, client, server);
  plat::Event receiving;
  std::atomic<int> got{1};
  const plat::SocketHandle h = client.Release();
  std::thread reader([&] {
    receiving.Set();
    char c;
    got = plat::RecvSocket(h, &c, 1);
  });
  ASSERT_TRUE(receiving.Wait(5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  plat::CloseSocket(h);
  reader.join();
  EXPECT_LE(got.load(), 0);
}

TEST_F(NetTest, CloseFromAnotherThreadEndsABlockedAccept) {
  Socket listener;
  looptest::Listen(listener);
  const plat::SocketHandle h = listener.Release();
  plat::Event accepting;
  std::atomic<bool> failed{false};
  std::thread acceptor([&] {
    accepting.Set();
    failed = plat::AcceptSocket(h, nullptr, nullptr) == plat::kInvalidSocket;
  });
  ASSERT_TRUE(accepting.Wait(5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  plat::CloseSocket(h);
  acceptor.join();
  EXPECT_TRUE(failed.load());
}

TEST_F(NetTest, WaiterIsWokenFromAnotherThread) {
  Socket listener, client, server;
  Pair(listener, client, server);
  plat::SocketWaiter w;
  ASSERT_TRUE(w.Valid());
  EXPECT_EQ(w.Wait(client.h, plat::kWaitRead, 20), plat::WaitResult::kTimeout);
  EXPECT_EQ(w.Wait(client.h, plat::kWaitWrite, 5000), plat::WaitResult::kReady);

  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    w.Wake();
  });
  // Woken long before the wait's own limit.
  EXPECT_EQ(w.Wait(client.h, plat::kWaitRead, 60000), plat::WaitResult::kWoken);
  waker.join();
  // The wake stays until cleared.
  EXPECT_EQ(w.Wait(client.h, plat::kWaitRead, 0), plat::WaitResult::kWoken);
  w.Clear();
  EXPECT_EQ(w.Wait(client.h, plat::kWaitRead, 0), plat::WaitResult::kTimeout);
  // Without a socket the waiter waits for a wake only.
  w.Wake();
  EXPECT_EQ(w.Wait(plat::kInvalidSocket, plat::kWaitRead, 60000), plat::WaitResult::kWoken);
  w.Clear();
}

TEST_F(NetTest, ResolvingNumbersAndDottedText) {
  uint32_t a = 0;
  int err = 0;
  ASSERT_TRUE(plat::ResolveHost("2130706433", &a, &err));
  EXPECT_EQ(a, kLoopback);
  ASSERT_TRUE(plat::ResolveHost("0", &a, &err));
  EXPECT_EQ(a, 0u);
  ASSERT_TRUE(plat::ResolveHost("4294967295", &a, &err));
  EXPECT_EQ(a, 0xFFFFFFFFu);
  EXPECT_FALSE(plat::ResolveHost("4294967296", &a, &err));
  EXPECT_NE(err, 0);
  EXPECT_FALSE(plat::ResolveHost("99999999999999999999999999", &a, &err));
  ASSERT_TRUE(plat::ResolveHost("10.1.2.3", &a, &err));
  EXPECT_EQ(a, 0x0A010203u);
  EXPECT_FALSE(plat::ResolveHost("", &a, &err));
  EXPECT_NE(err, 0);
  ASSERT_TRUE(plat::ResolveHost("localhost", &a, &err));
  EXPECT_EQ(a >> 24, 127u);
  // The name a lookup found; text that needs none stands for itself.
  std::string name = "unset";
  ASSERT_TRUE(plat::ResolveHost("localhost", &a, &err, &name));
  EXPECT_FALSE(name.empty());
  ASSERT_TRUE(plat::ResolveHost("10.1.2.3", &a, &err, &name));
  EXPECT_EQ(name, "10.1.2.3");
  EXPECT_FALSE(plat::ResolveHost("", &a, &err, &name));
}

TEST(Addresses, TextAndBack) {
  EXPECT_EQ(plat::AddressToText(kLoopback), "127.0.0.1");
  EXPECT_EQ(plat::AddressToText(0xFFFFFFFF), "255.255.255.255");
  EXPECT_EQ(plat::AddressToText(0), "0.0.0.0");
  uint32_t a = 1;
  ASSERT_TRUE(plat::TextToAddress("192.168.0.10", &a));
  EXPECT_EQ(a, 0xC0A8000Au);
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4", "a.b.c.d",
                          "1..2.3", "1.2.3.", "1234.1.1.1"})
    EXPECT_FALSE(plat::TextToAddress(bad, &a)) << bad;
  EXPECT_NE(plat::OwnFirstAddress(), 0u);
}

TEST(Icmp, EchoToLoopbackWhenAvailable) {
  ASSERT_TRUE(plat::NetStartup());
  EXPECT_LT(plat::IcmpEcho(0, 100, "12345678", 64, 0), 0);
  if (!plat::IcmpAvailable()) GTEST_SKIP() << "no ICMP socket on this machine";
  // The data sent is the data given: the reply carries it back.
  const std::string data = "banner of a ping\x01\xFE";
  std::string echoed;
  const int rtt = plat::IcmpEcho(kLoopback, 3000, data, 32, 0x10, &echoed);
  EXPECT_GE(rtt, 0);
  EXPECT_EQ(echoed, data);
  EXPECT_GE(plat::IcmpEcho(kLoopback, 3000, "", 64, 0), 0);
}

}  // namespace
