// Key-value records and the pump that carries them from the main thread
// to the session threads.
//
// TMessageItem is an ordered set of text values under normalised keys
// (trimmed of bytes 0-32, ASCII a-z upper-cased); values are kept exactly
// as given. TMessagePump copies every posted record into the bounded queue
// of each subscriber (TMessagePumpConnection) it is for; subscribers poll
// their queue from their own thread. A full queue refuses a record, and the
// poster is told which subscribers refused it and, through the room hook,
// when such a subscriber has taken records off its queue again. Lock order:
// pump, then connection.
#pragma once
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sync.h"

class TMessageItem {
 public:
  TMessageItem() = default;
  TMessageItem(const TMessageItem& other) = default;
  TMessageItem& operator=(const TMessageItem& other) = default;

  // The stored form of a key: bytes 0-32 trimmed from both ends, then
  // ASCII a-z upper-cased. Shared by every record with these key rules.
  static std::string NormaliseKey(std::string_view key);

  void SetValue(std::string_view key, std::string_view value);
  void SetBool(std::string_view key, bool b);        // "TRUE" / "FALSE"
  void SetInteger(std::string_view key, int n);      // plain decimal
  // The value of the key; "" when absent.
  std::string GetValue(std::string_view key) const;
  // True for "1", "T" or "TRUE" (trimmed, upper-cased); false otherwise.
  bool GetBool(std::string_view key) const;
  // The digits and minus signs of the value, at most the first 9 of them,
  // read as a signed number; anything unreadable gives 0. Never raises.
  int GetInteger(std::string_view key) const;

  void Clear();
  void Assign(const TMessageItem& source);

  int Count() const { return int(keys_.size()); }
  const std::string& Keys(int i) const { return keys_[size_t(i)]; }
  const std::string& Values(int i) const { return values_[size_t(i)]; }
  // Index of the (normalised) key, -1 when absent.
  int IndexOfKey(std::string_view key) const;

 private:
  std::vector<std::string> keys_;
  std::vector<std::string> values_;
};

// Reads an integer the way TMessageItem::GetInteger does (exposed for the
// fuzz target and for callers holding a bare text).
int MessageTextToInteger(std::string_view text);

class TMessagePumpConnection {
 public:
  static constexpr int kQueueLimit = 50;
  // Called, on the subscriber's thread and with no lock held, with the
  // connection's name when its subscriber takes a record off a queue that
  // refused one since the last call.
  using RoomHook = std::function<void(const std::string& name)>;

  TMessagePumpConnection() = default;
  TMessagePumpConnection(std::string name, RoomHook room) : name_(std::move(name)), room_(std::move(room)) {}
  TMessagePumpConnection(const TMessagePumpConnection&) = delete;
  TMessagePumpConnection& operator=(const TMessagePumpConnection&) = delete;

  // Moves the oldest queued record into item; false (item untouched) when
  // the queue is empty.
  bool Receive(TMessageItem& item);
  // Queues a copy of item; false when the queue is full (the record is
  // then not queued here, and the room hook follows the next Receive).
  bool Push(const TMessageItem& item);
  // Records a filter pair. Delivery does not consult these (a named
  // connection takes what is posted to its name or to everyone), and each
  // subscriber still picks for itself.
  void AddFilter(std::string_view key, std::string_view value);

  int QueueCount();
  int FilterCount();
  // The subscriber's name ("" for an unnamed one), fixed at Connect.
  const std::string& Name() const { return name_; }

 private:
  const std::string name_;
  const RoomHook room_;
  plat::CriticalSection lock_;
  std::deque<std::unique_ptr<TMessageItem>> queue_;
  bool refused_ = false;  // a record was refused since the last Receive
  std::vector<std::string> filterKeys_;
  std::vector<std::string> filterValues_;
};

class TMessagePump {
 public:
  TMessagePump() = default;
  ~TMessagePump();
  TMessagePump(const TMessagePump&) = delete;
  TMessagePump& operator=(const TMessagePump&) = delete;

  // Set before the first Connect: each connection keeps the hook it was
  // made with.
  void SetRoomHook(TMessagePumpConnection::RoomHook hook);
  // A new subscriber, owned by the pump until Disconnect. A named one
  // takes only the records posted to its name (any case) or to everyone.
  TMessagePumpConnection* Connect(std::string name = {});
  // Frees a listed connection with its queued records; ignores others.
  void Disconnect(TMessagePumpConnection* connection);

  // What became of a posted record.
  struct Delivery {
    int Queued = 0;                    // connections that took it
    std::vector<std::string> Refused;  // names of those whose full queue left it out
  };
  // Copies item into the queue of every connection it is for: with an
  // empty `to` every connection, otherwise the unnamed ones and those
  // named `to`. Never waits for a subscriber; the caller keeps item.
  // False when a full queue left it out.
  bool Post(const TMessageItem& item, std::string_view to = {}, Delivery* delivery = nullptr);

  int ConnectionCount();

 private:
  plat::CriticalSection lock_;
  TMessagePumpConnection::RoomHook room_;
  std::vector<std::unique_ptr<TMessagePumpConnection>> connections_;
};
