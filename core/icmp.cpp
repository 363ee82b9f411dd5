#include "core/icmp.h"

#include <algorithm>
#include <cstring>

#include "platform/net.h"

const char TICMP::kBanner[] =
    "Tarnwick echo request: checking how far away you are. Thank you for answering!";

namespace {
constexpr int kMaxEchoSize = 65500;
}

const char* TICMP::StartupFailure(plat::IcmpStart state) {
  switch (state) {
    case plat::IcmpStart::kNoLibrary: return "Unable to register icmp.dll";
    case plat::IcmpStart::kNoFunctions: return "Error loading dll functions";
    case plat::IcmpStart::kNoHandle: return "Unable to get ping handle";
    default: return nullptr;
  }
}

TICMP::TICMP() {
  if (!plat::NetStartup()) throw TICMPException("Error initialising Winsock");
  if (const char* failure = StartupFailure(plat::IcmpStartup())) throw TICMPException(failure);
  echo_ = plat::IcmpEcho;
  resolver_ = [](const std::string& host, uint32_t* addr, std::string* name, int* error) {
    return plat::ResolveHost(host, addr, error, name);
  };
}

TICMP::TICMP(EchoFunction echo, Resolver resolver) : echo_(std::move(echo)), resolver_(std::move(resolver)) {}

void TICMP::SetAddress(const std::string& host) {
  if (host == address_) return;
  address_ = host;
  resolved_ = false;
}

void TICMP::Display(const std::string& msg) {
  if (OnDisplay) OnDisplay(this, msg);
}

bool TICMP::Resolve() {
  uint32_t addr = 0;
  if (plat::TextToAddress(address_, &addr)) {
    HostName = address_;
  } else {
    int error = 0;
    std::string name;
    if (!resolver_(address_, &addr, &name, &error)) {
      lastError_ = error > 0 ? error : plat::kWsaHOST_NOT_FOUND;
      Display("Unable to resolve " + address_);
      return false;
    }
    HostName = name.empty() ? address_ : name;
  }
  addr_ = addr;
  HostIP = plat::AddressToText(addr);
  resolved_ = true;
  return true;
}

int TICMP::Ping() {
  lastError_ = 0;
  if (!resolved_ && !Resolve()) return 0;
  if (addr_ == 0 || addr_ == 0xFFFFFFFFu) {
    lastError_ = kInvalidHostError;
    Display("Invalid host address");
    return 0;
  }
  const int size = std::clamp(Size, 0, kMaxEchoSize);
  request_.assign(size_t(size), '\0');
  std::memcpy(request_.data(), kBanner, std::min(size_t(size), sizeof kBanner - 1));
  if (OnEchoRequest) OnEchoRequest(this);
  std::string echoed;
  const int rtt = echo_(addr_, Timeout, request_, TTL, TOS, &echoed);
  const int replies = rtt >= 0 ? 1 : 0;
  if (replies > 0) {
    // Only an answered echo replaces the last reply.
    reply_.Address = addr_;
    reply_.Status = 0;
    reply_.RoundTripTime = uint32_t(rtt);
    reply_.DataSize = uint16_t(echoed.size());
    reply_.Data = std::move(echoed);
  } else {
    lastError_ = rtt == -1 ? kTimedOutError : kGeneralFailure;
  }
  if (OnEchoReply) OnEchoReply(this, replies);
  return replies;
}
