// TSocket: the blocking socket object over the socket layer. Every
// operation raises ESocket with the layer's negative code when it fails.
// One thread uses an object at a time; Cancel and Close may come from any
// other thread and wake the owner's blocking call.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/network.h"

class ESocket : public std::runtime_error {
 public:
  explicit ESocket(int code);
  int Code;
};

class TSocket {
 public:
  TSocket();  // raises std::runtime_error("Out of network resources: ...")
  ~TSocket();
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  void SetTimeout(int seconds);
  int Timeout() const;
  // Local address outgoing connects bind to ("" or "0.0.0.0": any). Lets
  // several nodes share one machine on 127.0.0.N.
  void SetBindAddress(const std::string& address);

  void Listen(const std::string& address, int port, bool reuse);
  void Accept(TSocket& listener);
  void Connect(const std::string& host, int port);
  int Recv(void* buf, int count);
  int Send(const void* buf, int count);
  void ReadExact(void* buf, int count);
  void WriteAll(const void* buf, int count);
  void WriteAll(const std::string& s) { WriteAll(s.data(), int(s.size())); }
  uint8_t ReadByte();
  int BytesAvailable();
  // Returns when readable, woken by Cancel, or after ms (ESocket -3).
  void WaitReadable(int ms);
  void Cancel();
  void Close();
  bool Connected() const;

  int LocalPort() const;
  int RemotePort() const;
  std::string LocalIP() const;    // dotted text
  std::string RemoteIP() const;   // dotted text
  uint32_t LocalAddress() const;  // host byte order
  uint32_t RemoteAddress() const; // host byte order
  int SendRate() const;     // bytes per second
  int ReceiveRate() const;  // bytes per second

 private:
  TSocketRecord* r_;
};

// Raises ESocket when code is negative; returns it otherwise.
int CheckSocket(int code);
