// ICMP echo on POSIX: an unprivileged ICMP datagram socket where the
// system allows one (net.ipv4.ping_group_range), else a raw socket (root or
// CAP_NET_RAW).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/net.h"
#include "platform/os.h"
#include "platform/posix/posix_util.h"

namespace plat {
namespace {

constexpr int kMaxPayload = 65500;
constexpr int kEchoRequest = 8;
constexpr int kEchoReply = 0;

struct IcmpSocket {
  int fd = -1;
  bool raw = false;
  IcmpSocket() {
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
      fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
      raw = fd >= 0;
    }
  }
  ~IcmpSocket() {
    if (fd >= 0) close(fd);
  }
};

uint16_t Checksum(const unsigned char* p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < n; i += 2) sum += uint32_t(p[i] << 8 | p[i + 1]);
  if (n & 1) sum += uint32_t(p[n - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return uint16_t(~sum);
}

std::atomic<uint16_t> nextSequence{1};

}  // namespace

IcmpStart IcmpStartup() {
  IcmpSocket s;
  return s.fd >= 0 ? IcmpStart::kReady : IcmpStart::kNoHandle;
}

bool IcmpAvailable() { return IcmpStartup() == IcmpStart::kReady; }

int IcmpEcho(uint32_t addr, int timeoutMs, const std::string& data, int ttl, int tos, std::string* echoed) {
  if (addr == 0) return -2;
  const int payloadSize = int(std::min<size_t>(data.size(), kMaxPayload));
  IcmpSocket s;
  if (s.fd < 0) return -2;
  if (ttl >= 1 && ttl <= 255) setsockopt(s.fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
  const int typeOfService = tos & 0xFF;
  setsockopt(s.fd, IPPROTO_IP, IP_TOS, &typeOfService, sizeof typeOfService);

  // Header: type, code, checksum, identifier, sequence; then the payload.
  // A datagram socket puts its own identifier in (and filters replies by it).
  const uint16_t id = uint16_t(getpid());
  const uint16_t seq = nextSequence.fetch_add(1);
  std::vector<unsigned char> packet(8 + size_t(payloadSize));
  packet[0] = kEchoRequest;
  packet[4] = uint8_t(id >> 8);
  packet[5] = uint8_t(id);
  packet[6] = uint8_t(seq >> 8);
  packet[7] = uint8_t(seq);
  std::memcpy(packet.data() + 8, data.data(), size_t(payloadSize));
  const uint16_t sum = Checksum(packet.data(), packet.size());
  packet[2] = uint8_t(sum >> 8);
  packet[3] = uint8_t(sum);

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(addr);
  const int64_t start = os::MonotonicRawMs();
  if (sendto(s.fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
    return -2;

  std::vector<unsigned char> buf(packet.size() + 128);
  for (;;) {
    const int64_t left = int64_t(timeoutMs) - (os::MonotonicRawMs() - start);
    if (left <= 0) return -1;
    pollfd p{s.fd, POLLIN, 0};
    const int r = posix::PollRetrying(&p, 1, int(left));
    if (r < 0) return -2;
    if (r == 0) return -1;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = recvfrom(s.fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -2;  // e.g. an unreachable host reported back
    }
    size_t off = 0;
    if (s.raw) {  // a raw socket hands over the IP header too
      if (n < 1) continue;
      off = size_t(buf[0] & 0x0F) * 4;
    }
    if (size_t(n) < off + 8) continue;
    const unsigned char* icmp = buf.data() + off;
    if (from.sin_addr.s_addr != to.sin_addr.s_addr || icmp[0] != kEchoReply) continue;
    if (uint16_t(icmp[6] << 8 | icmp[7]) != seq) continue;
    if (s.raw && uint16_t(icmp[4] << 8 | icmp[5]) != id) continue;
    const int64_t rtt = os::MonotonicRawMs() - start;
    if (echoed) echoed->assign(reinterpret_cast<const char*>(icmp + 8), size_t(n) - off - 8);
    return int(rtt < 0 ? 0 : rtt);
  }
}

}  // namespace plat
