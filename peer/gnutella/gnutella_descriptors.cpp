// The Gnutella node's descriptors: the query-hit flags it announces, the
// GUIDs it has seen and the routes back, its own pongs, flooding and
// answering what arrives, the results it queues, and the searches the
// application sends with the results and requests they bring.
#include "peer/gnutella/gnutella.h"

#include <algorithm>

#include "platform/net.h"

namespace {

constexpr size_t kOwnSearches = 10;
constexpr size_t kRequestQueue = 10;
constexpr size_t kDefaultResultQueue = 2000;
constexpr size_t kRouteTableSize = 1024;

int ClampByte(int v) { return std::clamp(v, 0, 255); }

template <class T>
std::unique_ptr<T> TakeFront(std::deque<std::unique_ptr<T>>& q) {
  if (q.empty()) return nullptr;
  std::unique_ptr<T> item = std::move(q.front());
  q.pop_front();
  return item;
}

}  // namespace

// ================================================================ descriptors

void HitFlagBytes(const TGnutellaSettings& s, uint8_t& validBits, uint8_t& valueBits) {
  auto bits = [](bool speed, bool uploaded, bool busy, bool push) {
    return uint8_t((speed ? kHitFlagUploadSpeed : 0) | (uploaded ? kHitFlagHaveUploaded : 0) |
                   (busy ? kHitFlagBusy : 0) | (push ? kHitFlagPush : 0));
  };
  validBits = bits(s.bFlagUploadSpeedValid, s.bFlagHaveUploadedValid, s.bFlagBusyValid, s.bFlagPushValid);
  valueBits = bits(s.bFlagUploadSpeed, s.bFlagHaveUploaded, s.bFlagBusy, s.bFlagPush);
}

bool TGnutella::SeenGuidLocked(const TGuid& g) const {
  return std::find(tracked_.begin(), tracked_.end(), g) != tracked_.end();
}

void TGnutella::RememberGuidLocked(const TGuid& g) {
  tracked_.push_back(g);
  while (tracked_.size() > size_t(std::max(1, settings_.iMaxTrackingSize))) tracked_.pop_front();
}

void TGnutella::RecordRouteLocked(const TGuid& g, uint64_t linkId) {
  if (routes_.count(g)) return;  // the first arrival is the way back
  routes_[g] = linkId;
  routeOrder_.push_back(g);
  while (routeOrder_.size() > kRouteTableSize) {
    routes_.erase(routeOrder_.front());
    routeOrder_.pop_front();
  }
}

TBasePacket TGnutella::OwnPong(const TGuid& guid) {
  TPong pong;
  pong.Port = uint16_t(localPort_.load());
  {
    std::lock_guard<plat::CriticalSection> g(lock_);
    pong.Address = localIPNumber_;
  }
  pong.Files = 100;
  pong.KBytes = 1000;
  return TBasePacket(guid, kDescPong, 1, 0, PongPayload(pong));
}

bool TGnutella::SendOn(TGnutellaLink& link, const TBasePacket& p) {
  switch (p.Type) {
    case kDescPing:
      link.QueueDescriptor(p);
      return true;
    case kDescQuery: {
      // A peer that announced a lower TTL limit drops queries above it.
      const int maxTtl = link.MaxQueryTtl();
      if (maxTtl > 0 && p.TTL > maxTtl) {
        TBasePacket cut = p;
        cut.TTL = uint8_t(maxTtl);
        link.QueueDescriptor(cut);
      } else {
        link.QueueDescriptor(p);
      }
      return true;
    }
    case kDescPong:
    case kDescQueryHit: {
      std::lock_guard<plat::CriticalSection> g(lock_);
      auto it = routes_.find(p.Guid);
      if (it == routes_.end() || it->second != link.LinkId()) return false;
      link.QueueDescriptor(p);
      return true;
    }
    default:
      return false;  // pushes and other types are not sent on
  }
}

void TGnutella::Forward(TBasePacket& p, TGnutellaLink* from) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  bool request = p.Type == kDescPing || p.Type == kDescPush || p.Type == kDescQuery;
  if (request && SeenGuidLocked(p.Guid)) return;
  RememberGuidLocked(p.Guid);
  int maxHops = ClampByte(settings_.iMaxHops);
  if (p.TTL > maxHops) p.TTL = uint8_t(maxHops);
  if (p.Hops > maxHops) return;
  if (p.TTL > 0) --p.TTL;
  if (p.Hops < 255) ++p.Hops;
  if (p.TTL == 0) return;
  bool relay = isUltraPeer_ && !settings_.bIsCacheServer;
  if (from && !relay) return;
  for (auto& c : connected_)
    if (c.link != from) SendOn(*c.link, p);
}

void TGnutella::QueueResultsLocked(const TQueryHit& hit, const TGuid& query) {
  size_t limit = settings_.iMaxResults > 0 ? size_t(settings_.iMaxResults) : kDefaultResultQueue;
  std::string host = plat::AddressToText(hit.Address);
  std::string servent = GuidToText(hit.ServentGuid);
  auto valid = [&](uint8_t bit) { return hit.HasFlags && (hit.Flags1 & bit) != 0; };
  auto value = [&](uint8_t bit) { return hit.HasFlags && (hit.Flags2 & bit) != 0; };
  for (auto& r : hit.Results) {
    auto res = std::make_unique<TSearchResult>();
    res->Host = host;
    res->Port = hit.Port;
    res->Speed = hit.Speed;
    res->FileName = r.Name;
    res->Size = r.Size;
    res->FileIndex = r.FileIndex;
    res->bFlagUploadSpeedValid = valid(kHitFlagUploadSpeed);
    res->bFlagHaveUploadedValid = valid(kHitFlagHaveUploaded);
    res->bFlagBusyValid = valid(kHitFlagBusy);
    res->bFlagPushValid = valid(kHitFlagPush);
    res->bFlagUploadSpeed = value(kHitFlagUploadSpeed);
    res->bFlagHaveUploaded = value(kHitFlagHaveUploaded);
    res->bFlagBusy = value(kHitFlagBusy);
    res->bFlagPush = value(kHitFlagPush);
    res->ServentGUID = servent;
    res->QueryGUID = query;
    results_.push_back(std::move(res));
  }
  while (results_.size() > limit) results_.pop_front();  // the oldest go
}

void TGnutella::ReceiveDescriptor(TBasePacket& p, TGnutellaLink* from) {
  std::unique_lock<plat::CriticalSection> g(lock_);
  switch (p.Type) {
    case kDescPing: {
      if (from) RecordRouteLocked(p.Guid, from->LinkId());
      // An ultrapeer answers every ping; a leaf only the keep-alive pings of
      // its neighbour (TTL 1, no hops), which servents expect answered.
      bool keepAlive = p.TTL == 1 && p.Hops == 0;
      if (from && (isUltraPeer_ || keepAlive)) {
        g.unlock();
        SendOn(*from, OwnPong(p.Guid));
      }
      return;
    }
    case kDescPong: {
      TPong pong;
      if (!ParsePong(p.Payload, pong) || pong.Address == 0) return;
      g.unlock();
      AddHost(plat::AddressToText(pong.Address), pong.Port);
      return;
    }
    case kDescPush: {
      TPush push;
      if (ParsePush(p.Payload, push) && push.ServentGuid == serventGuid_) {
        g.unlock();
        if (OnPush) {
          TGnutellaOnPush h = OnPush;
          std::string guid = GuidToText(push.ServentGuid), host = plat::AddressToText(push.Address);
          int index = int(push.FileIndex), port = push.Port;
          RunSync([this, h, guid, index, host, port] { h(*this, guid, index, host, port); });
        }
        return;
      }
      break;
    }
    case kDescQueryHit: {
      if (p.Payload.size() < kHitHeaderSize ||
          std::find(ownSearches_.begin(), ownSearches_.end(), p.Guid) == ownSearches_.end())
        break;
      TQueryHit hit;
      if (ParseQueryHit(p.Payload, hit)) QueueResultsLocked(hit, p.Guid);
      return;  // ours: never sent on
    }
    case kDescQuery: {
      auto r = std::make_unique<TSearchRequest>();
      if (!ParseQuery(p.Payload, *r) || SeenGuidLocked(p.Guid)) return;
      if (from) RecordRouteLocked(p.Guid, from->LinkId());
      r->Guid = p.Guid;
      requests_.push_back(std::move(r));
      while (requests_.size() > kRequestQueue) requests_.pop_front();
      break;
    }
    default:
      break;
  }
  Forward(p, from);
}

// ---------------------------------------------------------------- searches

TGuid TGnutella::Search(uint16_t minSpeed, const std::string& text, const std::string& extension) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  TGuid guid = NewDescriptorGuid();
  uint16_t first = (minSpeed & kQueryFlagsForm) ? minSpeed : kQueryFlagsForm;
  if (settings_.bFirewalled) first |= kQueryFlagFirewalled;
  TBasePacket q(guid, kDescQuery, uint8_t(ClampByte(settings_.iMaxHops)), 0, QueryPayload(first, text, extension));
  ownSearches_.push_back(guid);
  while (ownSearches_.size() > kOwnSearches) ownSearches_.pop_front();
  currentSearch_ = guid;
  RememberGuidLocked(guid);  // an echo of our own query is not sent on
  for (auto& c : connected_) SendOn(*c.link, q);
  return guid;
}

TGuid TGnutella::CurrentSearchGuid() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return currentSearch_;
}

std::unique_ptr<TSearchResult> TGnutella::GetNextResult() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return TakeFront(results_);
}

std::unique_ptr<TSearchRequest> TGnutella::GetNextSearchRequest() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return TakeFront(requests_);
}

int TGnutella::ResultQueueLength() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return int(results_.size());
}
