// test-label: concurrency
#include "core/message_pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(MessageItem, KeysAreTrimmedAndUpperCasedValuesKeptAsGiven) {
  TMessageItem m;
  m.SetValue(" a", "first");
  m.SetValue("A", "second");  // same entry
  m.SetValue("nick\t", " x ");
  m.SetValue("\x01mIxEd\r\n", "MiXeD");
  EXPECT_EQ(m.Count(), 3);
  EXPECT_EQ(m.Keys(0), "A");
  EXPECT_EQ(m.Keys(1), "NICK");
  EXPECT_EQ(m.Keys(2), "MIXED");
  EXPECT_EQ(m.GetValue("a"), "second");
  EXPECT_EQ(m.GetValue("NICK "), " x ");
  EXPECT_EQ(m.GetValue("mixed"), "MiXeD");
  EXPECT_EQ(m.GetValue("absent"), "");
  // Only ASCII letters fold; other bytes stay as they are.
  m.SetValue("caf\xe9", "1");
  EXPECT_EQ(m.Keys(3), "CAF\xe9");
  EXPECT_EQ(m.GetValue("CAF\xc9"), "");
}

TEST(MessageItem, ReplacingKeepsThePlaceAndNewKeysAppend) {
  TMessageItem m;
  m.SetValue("one", "1");
  m.SetValue("two", "2");
  m.SetValue("ONE", "uno");
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.Keys(0), "ONE");
  EXPECT_EQ(m.Values(0), "uno");
  EXPECT_EQ(m.Keys(1), "TWO");
}

TEST(MessageItem, GetIntegerTable) {
  struct Case {
    const char* value;
    int expected;
  } cases[] = {
      {"128 kbps", 128},        {"1,234,567", 1234567},   {"-5", -5},
      {"12-3", 0},              {"1234567890123", 123456789}, {"-123456789", -12345678},
      {"", 0},                  {"abc", 0},                {"-", 0},
      {"--5", 0},               {"5-", 0},                 {"  42  ", 42},
      {"999999999999", 999999999}, {"+7", 7},              {"0042", 42},
  };
  for (const auto& c : cases) {
    TMessageItem m;
    m.SetValue("N", c.value);
    EXPECT_EQ(m.GetInteger("n"), c.expected) << '"' << c.value << '"';
  }
  TMessageItem empty;
  EXPECT_EQ(empty.GetInteger("N"), 0);
  empty.SetInteger("n", -2147483647 - 1);
  EXPECT_EQ(empty.GetValue("N"), "-2147483648");
}

TEST(MessageItem, GetBoolTable) {
  struct Case {
    const char* value;
    bool expected;
  } cases[] = {
      {" true ", true}, {"t", true}, {"1", true},  {"TRUE", true}, {"True\r\n", true},
      {"yes", false},   {"0", false}, {"", false}, {"truee", false}, {"11", false},
  };
  for (const auto& c : cases) {
    TMessageItem m;
    m.SetValue("B", c.value);
    EXPECT_EQ(m.GetBool("b"), c.expected) << '"' << c.value << '"';
  }
  TMessageItem m;
  EXPECT_FALSE(m.GetBool("absent"));
  m.SetBool("x", true);
  m.SetBool("y", false);
  EXPECT_EQ(m.GetValue("X"), "TRUE");
  EXPECT_EQ(m.GetValue("Y"), "FALSE");
}

TEST(MessageItem, AssignCopiesExactlyAndClearEmpties) {
  TMessageItem a, b;
  a.SetValue("k1", "v1");
  a.SetValue("k2", "");
  b.SetValue("old", "gone");
  b.Assign(a);
  ASSERT_EQ(b.Count(), 2);
  EXPECT_EQ(b.Keys(0), "K1");
  EXPECT_EQ(b.Keys(1), "K2");
  EXPECT_EQ(b.GetValue("old"), "");
  b.Assign(b);
  EXPECT_EQ(b.Count(), 2);
  b.Clear();
  EXPECT_EQ(b.Count(), 0);
  EXPECT_EQ(a.Count(), 2);
}

TEST(MessagePump, PostReachesEveryConnectionInOrderAndQueuesStopAtFifty) {
  TMessagePump pump;
  TMessageItem m;
  pump.Post(m);  // no connection: nothing happens
  auto* a = pump.Connect();
  auto* b = pump.Connect();
  for (int i = 0; i < 51; ++i) {
    m.SetInteger("SEQ", i);
    EXPECT_EQ(pump.Post(m), i < 50) << i;  // the 51st finds full queues
  }
  EXPECT_EQ(a->QueueCount(), 50);
  TMessageItem got;
  got.SetValue("KEEP", "me");
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(a->Receive(got));
    EXPECT_EQ(got.GetInteger("seq"), i);
  }
  EXPECT_EQ(got.GetValue("KEEP"), "");  // Assign replaced the whole record
  got.SetValue("KEEP", "me");
  EXPECT_FALSE(a->Receive(got));
  EXPECT_EQ(got.GetValue("KEEP"), "me");  // empty queue leaves it alone

  // The other subscriber still holds its own first 50.
  EXPECT_EQ(b->QueueCount(), 50);
  ASSERT_TRUE(b->Receive(got));
  EXPECT_EQ(got.GetInteger("SEQ"), 0);
  // After a read there is room for exactly one more.
  m.SetInteger("SEQ", 100);
  pump.Post(m);
  pump.Post(m);
  EXPECT_EQ(b->QueueCount(), 50);
  EXPECT_EQ(a->QueueCount(), 2);
}

TEST(MessagePump, DisconnectFreesQueuedRecordsAndIgnoresStrangers) {
  TMessagePump pump;
  auto* a = pump.Connect();
  auto* b = pump.Connect();
  a->AddFilter("ID", "x");
  EXPECT_EQ(a->FilterCount(), 1);
  TMessageItem m;
  m.SetValue("ID", "other");
  pump.Post(m);  // filters do not select: every record reaches every queue
  EXPECT_EQ(a->QueueCount(), 1);
  pump.Disconnect(a);  // still holds a record: freed with it (leak check)
  EXPECT_EQ(pump.ConnectionCount(), 1);
  TMessagePumpConnection stranger;
  pump.Disconnect(&stranger);
  pump.Disconnect(nullptr);
  EXPECT_EQ(pump.ConnectionCount(), 1);
  pump.Post(m);
  EXPECT_EQ(b->QueueCount(), 2);
  // The pump frees the remaining connection and its records.
}

// A named subscriber takes only the records posted to its name or to
// everyone. A full queue's refusal names it, and its subscriber's next read
// tells of room once (until it refuses again); the bound never moves.
TEST(MessagePump, AFullQueueIsNamedAndItsNextReadTellsOfRoom) {
  TMessagePump pump;
  std::vector<std::string> rooms;
  pump.SetRoomHook([&rooms](const std::string& name) { rooms.push_back(name); });
  auto* x = pump.Connect("X");
  auto* y = pump.Connect("Y");
  auto* all = pump.Connect();  // unnamed: takes every record
  TMessageItem m;
  TMessagePump::Delivery d;
  for (int i = 0; i < 50; ++i) {
    m.SetInteger("SEQ", i);
    ASSERT_TRUE(pump.Post(m, "x", &d)) << i;  // names match in any case
  }
  EXPECT_EQ(d.Queued, 100);
  EXPECT_EQ(y->QueueCount(), 0) << "a record for X takes no room of Y's";
  ASSERT_TRUE(all->Receive(m));
  d = {};
  EXPECT_FALSE(pump.Post(m, "X", &d));
  EXPECT_EQ(d.Queued, 1);
  EXPECT_EQ(d.Refused, std::vector<std::string>{"X"});
  d = {};
  EXPECT_FALSE(pump.Post(m, "", &d));  // everyone's: Y takes it, X and the unnamed one are full
  EXPECT_EQ(d.Queued, 1);
  EXPECT_EQ(d.Refused, (std::vector<std::string>{"X", ""}));
  EXPECT_EQ(x->QueueCount(), 50);
  EXPECT_EQ(y->QueueCount(), 1);
  pump.Disconnect(all);

  TMessageItem got;
  ASSERT_TRUE(y->Receive(got));
  EXPECT_TRUE(rooms.empty()) << "Y never refused";
  ASSERT_TRUE(x->Receive(got));
  EXPECT_EQ(got.GetInteger("SEQ"), 0);
  EXPECT_EQ(rooms, std::vector<std::string>{"X"});
  ASSERT_TRUE(x->Receive(got));
  EXPECT_EQ(rooms.size(), 1u) << "once for each spell of refusals";
  // Room for two: the third is refused, and the next read tells again.
  EXPECT_TRUE(pump.Post(m, "X"));
  EXPECT_TRUE(pump.Post(m, "X"));
  EXPECT_FALSE(pump.Post(m, "X"));
  EXPECT_EQ(x->QueueCount(), 50);
  ASSERT_TRUE(x->Receive(got));
  EXPECT_EQ(rooms, (std::vector<std::string>{"X", "X"}));
}

// One main-thread poster, three subscribers that keep connecting, reading
// and disconnecting. Every record a subscriber receives is whole and in
// posting order; a subscriber's room is told with its name.
TEST(MessagePump, PosterAndChurningSubscribers) {
  TMessagePump pump;
  std::atomic<bool> stop{false};
  std::atomic<int> received{0};
  std::atomic<int> bad{0};
  // Called on the subscribers' threads, each with its own name.
  pump.SetRoomHook([&bad](const std::string& name) {
    if (name != "a" && name != "b" && name != "c") ++bad;
  });
  std::vector<std::thread> subscribers;
  for (int t = 0; t < 3; ++t) {
    subscribers.emplace_back([&, name = std::string(1, char('a' + t))] {
      TMessageItem got;
      while (!stop.load()) {
        TMessagePumpConnection* c = pump.Connect(name);
        int last = -1;
        for (int i = 0; i < 200 && !stop.load(); ++i) {
          if (c->Receive(got)) {
            const int seq = got.GetInteger("SEQ");
            if (seq <= last || got.GetValue("TEXT") != "payload " + std::to_string(seq)) ++bad;
            last = seq;
            ++received;
          } else {
            std::this_thread::yield();
          }
        }
        pump.Disconnect(c);
      }
    });
  }
  TMessageItem m;
  // Posts until the subscribers have seen a good share (bounded in count).
  for (int i = 0; i < 2000000 && received.load() < 5000; ++i) {
    m.SetInteger("SEQ", i);
    m.SetValue("TEXT", "payload " + std::to_string(i));
    pump.Post(m);
    if (i % 64 == 0) std::this_thread::yield();
  }
  stop = true;
  for (auto& t : subscribers) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(received.load(), 0);
  EXPECT_EQ(pump.ConnectionCount(), 0);
}

}  // namespace
