#include "core/message_pump.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

// ---------------------------------------------------------------- record

std::string TMessageItem::NormaliseKey(std::string_view key) {
  return plat::UpperAscii(plat::Trim(key));
}

int TMessageItem::IndexOfKey(std::string_view key) const {
  const std::string k = NormaliseKey(key);
  for (size_t i = 0; i < keys_.size(); ++i)
    if (keys_[i] == k) return int(i);
  return -1;
}

void TMessageItem::SetValue(std::string_view key, std::string_view value) {
  std::string k = NormaliseKey(key);
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == k) {
      values_[i].assign(value);
      return;
    }
  }
  keys_.push_back(std::move(k));
  values_.emplace_back(value);
}

void TMessageItem::SetBool(std::string_view key, bool b) { SetValue(key, b ? "TRUE" : "FALSE"); }

void TMessageItem::SetInteger(std::string_view key, int n) { SetValue(key, std::to_string(n)); }

std::string TMessageItem::GetValue(std::string_view key) const {
  const int i = IndexOfKey(key);
  return i < 0 ? std::string() : values_[size_t(i)];
}

bool TMessageItem::GetBool(std::string_view key) const {
  const std::string v = plat::UpperAscii(plat::Trim(GetValue(key)));
  return v == "1" || v == "T" || v == "TRUE";
}

int MessageTextToInteger(std::string_view text) {
  std::string kept;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || c == '-') kept += c;
  }
  if (kept.empty()) return 0;  // read as "0"
  if (kept.size() > 9) kept.resize(9);
  // A minus sign may only stand first, and must be followed by a digit.
  size_t i = 0;
  bool negative = false;
  if (kept[0] == '-') {
    negative = true;
    i = 1;
  }
  if (i >= kept.size()) return 0;
  int value = 0;  // at most 9 digits: cannot overflow
  for (; i < kept.size(); ++i) {
    if (kept[i] == '-') return 0;
    value = value * 10 + (kept[i] - '0');
  }
  return negative ? -value : value;
}

int TMessageItem::GetInteger(std::string_view key) const { return MessageTextToInteger(GetValue(key)); }

void TMessageItem::Clear() {
  keys_.clear();
  values_.clear();
}

void TMessageItem::Assign(const TMessageItem& source) {
  if (&source == this) return;
  keys_ = source.keys_;
  values_ = source.values_;
}

// ---------------------------------------------------------------- connection

bool TMessagePumpConnection::Receive(TMessageItem& item) {
  bool room = false;
  {
    plat::Locked<plat::CriticalSection> hold(lock_);
    if (queue_.empty()) return false;
    item.Assign(*queue_.front());
    queue_.pop_front();
    room = std::exchange(refused_, false);
  }
  if (room && room_) room_(name_);
  return true;
}

bool TMessagePumpConnection::Push(const TMessageItem& item) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  if (int(queue_.size()) >= kQueueLimit) {
    refused_ = true;
    return false;
  }
  queue_.push_back(std::make_unique<TMessageItem>(item));
  return true;
}

void TMessagePumpConnection::AddFilter(std::string_view key, std::string_view value) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  filterKeys_.emplace_back(key);
  filterValues_.emplace_back(value);
}

int TMessagePumpConnection::QueueCount() {
  plat::Locked<plat::CriticalSection> hold(lock_);
  return int(queue_.size());
}

int TMessagePumpConnection::FilterCount() {
  plat::Locked<plat::CriticalSection> hold(lock_);
  return int(filterKeys_.size());
}

// ---------------------------------------------------------------- pump

TMessagePump::~TMessagePump() {
  plat::Locked<plat::CriticalSection> hold(lock_);
  connections_.clear();
}

void TMessagePump::SetRoomHook(TMessagePumpConnection::RoomHook hook) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  room_ = std::move(hook);
}

TMessagePumpConnection* TMessagePump::Connect(std::string name) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  auto c = std::make_unique<TMessagePumpConnection>(std::move(name), room_);
  TMessagePumpConnection* result = c.get();
  connections_.push_back(std::move(c));
  return result;
}

void TMessagePump::Disconnect(TMessagePumpConnection* connection) {
  std::unique_ptr<TMessagePumpConnection> doomed;
  {
    plat::Locked<plat::CriticalSection> hold(lock_);
    auto it = std::find_if(connections_.begin(), connections_.end(),
                           [connection](const auto& c) { return c.get() == connection; });
    if (it == connections_.end()) return;
    doomed = std::move(*it);
    connections_.erase(it);
  }
  // Freed outside the pump lock: nobody else can reach it any more.
}

bool TMessagePump::Post(const TMessageItem& item, std::string_view to, Delivery* delivery) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  bool everyQueue = true;
  for (auto& c : connections_) {
    if (!to.empty() && !c->Name().empty() && !plat::SameText(c->Name(), to)) continue;
    const bool queued = c->Push(item);
    everyQueue = everyQueue && queued;
    if (!delivery) continue;
    if (queued)
      ++delivery->Queued;
    else
      delivery->Refused.push_back(c->Name());
  }
  return everyQueue;
}

int TMessagePump::ConnectionCount() {
  plat::Locked<plat::CriticalSection> hold(lock_);
  return int(connections_.size());
}
