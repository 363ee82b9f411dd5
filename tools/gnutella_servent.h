// A scripted Gnutella 0.6 servent for tests, written from the published
// protocol and behaving the way servents on the network today do:
// - it answers the handshake as an ultrapeer ("GNUTELLA/0.6 200 OK" with
//   its usual headers, or a refusal such as 503 with X-Try-Ultrapeers, or
//   403 for a servent that insists on a compressed link), and refuses a
//   handshake that carries no X-Ultrapeer header;
// - it answers pings with pongs, and queries in the flags form (bit 0x80 of
//   the first byte) with hits carrying urn:sha1: extensions, the 7-byte
//   trailer and GGEP data; it drops queries without that bit, as obsolete;
// - it announces X-Max-TTL and drops queries whose TTL is above it;
// - it sends TTL-1 keep-alive pings and closes a link that leaves several
//   of them unanswered (with a Bye), and it sends a vendor message after the
//   handshake;
// - it can connect out to a node itself, as an ultrapeer would.
//
// One thread accepts, one thread serves each link. Everything it saw is
// kept for the test to look at; Stop ends every thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/network_wrapper.h"
#include "peer/gnutella/gnutella.h"
#include "peer/gnutella/gnutella_packet.h"
#include "platform/sync.h"
#include "platform/thread.h"

struct TServentFile {
  std::string Name;
  uint32_t Size = 0;
  uint32_t Index = 0;
};

struct TServentScript {
  std::string BindAddress = "127.0.0.1";
  int Port = 0;  // 0: any free port
  std::string UserAgent = "Scripted Servent 1.0";
  bool Ultrapeer = true;          // X-Ultrapeer of its answers
  bool UltrapeerNeeded = false;   // X-Ultrapeer-Needed of its 200
  int RefuseStatus = 0;           // 0: accept; else refuse with this code (503, 403)
  std::string TryHosts;           // X-Try-Ultrapeers value
  bool Accept04 = false;          // answer "GNUTELLA CONNECT/0.4"
  int KeepAliveMs = 0;            // keep-alive ping interval (0: none)
  int MaxUnansweredPings = 3;     // more outstanding closes the link
  bool SendVendorMessage = true;  // after the handshake
  int ByeAfterMs = 0;             // says Bye and closes after this (0: never)
  bool AnswerPings = true;
  std::vector<THostItem> PongHosts;  // further pongs sent with its own
  std::vector<TServentFile> Files;   // what its hits offer
  std::string VendorCode = "SCRP";
  int HitSpeed = 350;
  int MaxTtl = 4;  // X-Max-TTL of its answers
};

// What one link saw.
struct TServentLinkRecord {
  std::string Request;      // the peer's handshake request, as received
  std::string Final;        // the peer's final handshake message
  THandshakeHeaders RequestHeaders;
  THandshakeHeaders FinalHeaders;
  bool Incoming = true;     // the peer connected to the servent
  bool Established = false;
  bool Open = false;
  bool ClosedForPings = false;  // too many keep-alive pings unanswered
};

// What it received, in order.
struct TServentDescriptor {
  TBasePacket Packet;
  int Link = 0;  // index into Links()
};

class TGnutellaServent {
 public:
  explicit TGnutellaServent(TServentScript script);
  ~TGnutellaServent();
  TGnutellaServent(const TGnutellaServent&) = delete;
  TGnutellaServent& operator=(const TGnutellaServent&) = delete;

  bool Start();  // listens; false when it cannot
  void Stop();
  int Port() const { return port_; }
  std::string Key() const;  // "127.0.0.1:port"
  const TGuid& ServentGuid() const { return guid_; }

  // Connects to host:port and runs the handshake as an ultrapeer would;
  // extra header lines (each "Name: value") go into the request. Returns
  // the status line answered ("" on failure); answer gets the headers. On
  // a 200 the link goes on like an accepted one.
  std::string ConnectTo(const std::string& host, int port, const std::vector<std::string>& extraHeaders,
                        THandshakeHeaders* answer = nullptr);

  // Sends p on every established link.
  void SendToAll(const TBasePacket& p);
  void CloseAll();

  std::vector<TServentLinkRecord> Links();
  int OpenLinks();
  std::vector<TServentDescriptor> Received();
  int CountReceived(uint8_t type);
  int CountReceived(uint8_t type, const TGuid& guid);
  int QueriesDropped() const { return queriesDropped_; }
  int HitsSent() const { return hitsSent_; }

  // Builds the hit it would answer a query with (empty result list: none).
  TQueryHit HitFor(const std::string& queryText) const;

 private:
  class LinkThread;
  class AcceptThread;
  friend class LinkThread;
  friend class AcceptThread;

  int AddLink(bool incoming);
  void UpdateLink(int index, const std::function<void(TServentLinkRecord&)>& fn);
  void Record(const TBasePacket& p, int link);
  void Launch(std::unique_ptr<TSocket> s, int link, bool accepted);

  TServentScript script_;
  TGuid guid_;
  TSocket listener_;
  std::atomic<int> port_{0};
  std::atomic<bool> stopping_{false};
  plat::Event stopEvent_{true, false};

  std::mutex lock_;
  std::vector<TServentLinkRecord> links_;
  std::vector<TServentDescriptor> received_;
  std::vector<LinkThread*> linkThreads_;  // under lock_; those not yet freed
  TGnutellaThreadList threads_;
  std::atomic<int> queriesDropped_{0};
  std::atomic<int> hitsSent_{0};
};
