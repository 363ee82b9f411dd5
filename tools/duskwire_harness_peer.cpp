#include "tools/duskwire_harness_peer.h"

#include "platform/clock.h"

TDWHarnessPeer::TDWHarnessPeer(const std::string& bindAddress) { conn_.SetBindAddress(bindAddress); }

void TDWHarnessPeer::Connect(const std::string& host, int port) {
  conn_.SetTimeout(10);
  conn_.Connect(host, port);
}

void TDWHarnessPeer::SendRequest(const std::string& messageId, const std::string& routingInfo,
                                 const std::string& to, const std::string& body, bool limited) {
  conn_.SetHeader("To", to);
  conn_.SetHeader("Message-ID", messageId);
  conn_.SetHeader("From", "harness");
  conn_.SetHeader("Request-Type", "NAPSTER-REQUEST");
  conn_.SetHeader("Routing-Info", routingInfo);
  if (limited) conn_.SetHeader("Limited", "True");
  conn_.SetFirstLine("1000");
  std::string b = body;
  DuskwireTransform(b);
  conn_.SendString(b);
}

void TDWHarnessPeer::SendResponse(const std::string& messageId, const std::string& routingInfo,
                                  const std::string& to, const std::string& body) {
  conn_.SetHeader("To", to);
  conn_.SetHeader("Message-ID", messageId);
  conn_.SetHeader("From", "harness");
  conn_.SetHeader("Routing-Info", routingInfo);
  conn_.SetFirstLine("2000");
  std::string b = body;
  DuskwireTransform(b);
  conn_.SendString(b);
}

void TDWHarnessPeer::SendRaw(const std::string& bytes) { conn_.Socket().WriteAll(bytes); }

bool TDWHarnessPeer::Read(TDuskwirePacket& packet, std::string& body, int timeoutMs) {
  try {
    conn_.WaitReadable(timeoutMs);
    if (!conn_.DataWaiting()) return false;
    conn_.ReceiveString(0, body);
  } catch (const std::exception&) {
    return false;
  }
  DuskwireTransform(body);
  packet.Assign(conn_);
  return true;
}

bool TDWHarnessPeer::WaitClosed(int timeoutMs) {
  int64_t deadline = plat::MonotonicMs() + timeoutMs;
  try {
    while (plat::MonotonicMs() < deadline) {
      try {
        conn_.WaitReadable(100);
      } catch (const ESocket& e) {
        if (e.Code != kNetTimeout) throw;
        continue;
      }
      if (conn_.DataWaiting()) {
        std::string body;
        conn_.ReceiveString(0, body);
      }
    }
  } catch (const std::exception&) {
    return true;
  }
  return false;
}
