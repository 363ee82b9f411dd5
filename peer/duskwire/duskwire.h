// Duskwire packets and the packet connection. A packet is a first line
// whose first four characters form its code, "Name: value" header lines
// with escaped values, an empty line, and a body whose length the
// "Content-Length" header gives. Every line ends with CR LF.
//
// The connection faces the open network: an over-long line, too many
// headers, too much header text or a bad "Content-Length" closes it
// (EDuskwireNetwork) instead of letting the stream fall out of step.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/network_wrapper.h"

class EDuskwire : public std::runtime_error {
 public:
  explicit EDuskwire(const std::string& msg, int code = -1)
      : std::runtime_error(msg), Code(code) {}
  int Code;
};

// The connection is not open, a receive failed, or the peer sent something
// that cannot be read in step; the connection is closed.
class EDuskwireNetwork : public EDuskwire {
 public:
  explicit EDuskwireNetwork(const std::string& msg, int code = -1) : EDuskwire(msg, code) {}
};

// Limits of what a peer may send.
constexpr int kDuskwireBufferSize = 8000;       // receive buffer, body pieces
constexpr int kDuskwireMaxFirstLine = 8002;     // characters
constexpr int kDuskwireMaxHeaderLine = 8000;    // characters of one header line
constexpr int kDuskwireMaxHeaders = 256;        // header lines per packet
constexpr int kDuskwireMaxHeaderText = 65536;   // bytes of one header block
constexpr int64_t kDuskwireMaxBody = 1 << 20;   // Content-Length

// "%XX" escaping of header values (upper-case hex; letters, digits, the
// blank and . ; " ' ( ) [ ] ! @ # $ ^ & - + = { } _ * stay as they are).
std::string DuskwireEscape(std::string_view value);
// Reverses it; a non-hex digit counts as 0, digits missing at the end too.
std::string DuskwireUnescape(std::string_view value);
// The body transform: every byte b becomes 255 - b (its own inverse).
void DuskwireTransform(std::string& body);

class TDuskwirePacket {
 public:
  TDuskwirePacket() = default;
  TDuskwirePacket(const TDuskwirePacket&) = default;
  TDuskwirePacket& operator=(const TDuskwirePacket&) = default;
  virtual ~TDuskwirePacket() = default;

  void SetFirstLine(std::string line);
  const std::string& FirstLine() const { return firstLine_; }
  // The first four characters read as decimal digits (code - 48 each).
  int Code() const { return code_; }

  // Replaces the value of the header named so (ignoring case) or appends it.
  void SetHeader(std::string_view name, std::string_view value);
  std::string GetHeader(std::string_view name) const;  // "" when absent
  // The trimmed value as a signed decimal number; "" is 0; anything else
  // that is not a number raises EDuskwire.
  int64_t GetHeaderInt64(std::string_view name) const;
  bool GetHeaderBool(std::string_view name) const;  // trimmed value is "TRUE"
  bool HasHeader(std::string_view name) const;
  int HeaderCount() const { return int(names_.size()); }
  const std::string& HeaderName(int i) const { return names_[size_t(i)]; }
  const std::string& HeaderValue(int i) const { return values_[size_t(i)]; }
  void ClearHeaders();
  void Assign(const TDuskwirePacket& source);
  std::unique_ptr<TDuskwirePacket> Clone() const;

  // The header block as it goes on the wire: first line, escaped headers,
  // empty line.
  std::string HeaderBlock() const;

 private:
  int IndexOf(std::string_view name) const;
  std::string firstLine_;
  int code_ = 0;
  std::vector<std::string> names_;
  std::vector<std::string> values_;
};

// A packet plus its connection. One thread uses it at a time; Cancel and
// Close may come from any thread.
class TDuskwire : public TDuskwirePacket {
 public:
  TDuskwire();
  ~TDuskwire() override;
  TDuskwire(const TDuskwire&) = delete;
  TDuskwire& operator=(const TDuskwire&) = delete;

  void Connect(const std::string& host, int port);
  void Accept(TSocket& listener);
  void Close();
  bool Connected() const;
  void SetTimeout(int seconds);
  void SetBindAddress(const std::string& address);
  std::string LocalIP() const;
  std::string RemoteIP() const;
  uint32_t LocalAddress() const;
  int SendRate() const;
  int ReceiveRate() const;
  void Cancel();
  // Returns at once when received bytes wait in the buffer.
  void WaitReadable(int ms);
  // Received bytes wait in the buffer or can be read from the socket.
  bool DataWaiting();

  void SendHeader(const std::string& firstLine);
  void SendPacket(const void* buffer, int offset, int count);
  void SendString(const std::string& s);

  void ReadHeaderBlock(std::string& firstLine);
  // Reads a packet; the body's Content-Length - offset bytes land in the
  // returned buffer from position offset (the buffer holds offset + length
  // + 255 bytes and stays valid until the next receive).
  const unsigned char* ReceivePacket(int& length, int offset);
  void ReceiveString(int offset, std::string& s);

  TSocket& Socket() { return socket_; }

 protected:
  // One receive of at most count bytes; raises when nothing can be read.
  virtual int RecvSome(void* buf, int count);
  virtual void SendAll(const void* buf, int count);

 private:
  void WriteHeaderBlock();
  unsigned char ReadChar();
  unsigned char PeekChar();
  void EndOfLine(unsigned char c);
  [[noreturn]] void Malformed(const char* what);

  TSocket socket_;
  unsigned char buf_[kDuskwireBufferSize];
  int fill_ = 0;
  int pos_ = 0;
  std::vector<unsigned char> body_;
};
