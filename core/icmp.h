// ICMP echo ("ping") of one host at a time, with the reply's delay.
//
// The echo itself is the platform's (Win32: icmp.dll loaded at run time;
// POSIX: an ICMP datagram socket, else a raw one). When the system offers
// no way to send echo requests, construction raises TICMPException and the
// caller goes on without ping times.
#pragma once
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/net.h"

class TICMPException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The reply record of the last echo that was answered.
struct TIcmpEchoReply {
  uint32_t Address = 0;        // who answered (host order)
  uint32_t Status = 0;         // 0: success
  uint32_t RoundTripTime = 0;  // milliseconds
  uint16_t DataSize = 0;
  std::string Data;            // the data the reply carried
};

class TICMP {
 public:
  // Sends one echo request carrying data with the given time-to-live and
  // type of service: the round-trip time in ms, -1 on time-out, another
  // negative value on failure; the data the reply carried in *echoed.
  using EchoFunction = std::function<int(uint32_t addr, int timeoutMs, const std::string& data, int ttl,
                                         int tos, std::string* echoed)>;
  // Name lookup: true with the address (host order) and the name found for
  // the host, or false with an error.
  using Resolver = std::function<bool(const std::string& host, uint32_t* addr, std::string* name, int* error)>;

  static constexpr int kInvalidHostError = 11018;
  static constexpr int kTimedOutError = 11010;
  static constexpr int kGeneralFailure = 11050;

  // Uses the system's echo; raises TICMPException when it cannot be used,
  // with the message of the step that failed (StartupFailure).
  TICMP();
  // Uses the given echo and resolver instead of the system's (tests).
  TICMP(EchoFunction echo, Resolver resolver);

  const std::string& Address() const { return address_; }
  // A different host is looked up again on the next Ping.
  void SetAddress(const std::string& host);

  // Why echo requests cannot be sent ("Unable to register icmp.dll",
  // "Error loading dll functions", "Unable to get ping handle"); nullptr
  // when they can.
  static const char* StartupFailure(plat::IcmpStart state);

  std::string HostName;  // the name the lookup found, or the address text
  std::string HostIP;    // dotted form of the resolved address
  int Size = 56;         // echo data bytes
  int Timeout = 4000;    // milliseconds
  int TTL = 64;     // time-to-live of the request
  uint8_t TOS = 0;  // its type of service

  const TIcmpEchoReply& Reply() const { return reply_; }
  int LastError() const { return lastError_; }
  // The data of the last request: Size bytes of zeros holding as much of
  // the banner as fits.
  const std::string& RequestData() const { return request_; }
  static const char kBanner[];

  std::function<void(TICMP* sender, const std::string& msg)> OnDisplay;
  std::function<void(TICMP* sender)> OnEchoRequest;
  std::function<void(TICMP* sender, int error)> OnEchoReply;

  // Pings Address once; the number of replies (0 when none came). Never
  // raises: failures show in the result, LastError and OnDisplay.
  int Ping();

 private:
  bool Resolve();
  void Display(const std::string& msg);

  EchoFunction echo_;
  Resolver resolver_;
  std::string address_;
  uint32_t addr_ = 0;
  bool resolved_ = false;
  TIcmpEchoReply reply_;
  int lastError_ = 0;
  std::string request_;
};
