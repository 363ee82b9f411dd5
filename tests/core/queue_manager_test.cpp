#include "core/queue_manager.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

// Drives the time of day the wait list reads.
class QueueManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    plat::SetNowForTesting([this] { return plat::EncodeDateTime(2024, 3, 9) + seconds_ / 86400.0; });
  }
  void TearDown() override { plat::SetNowForTesting(nullptr); }
  // Sets the clock to a time of day (may pass midnight: whole days drop).
  void At(int64_t secondsOfDay) { seconds_ = double(secondsOfDay) + 0.25; }

  double seconds_ = 0;
};

TEST_F(QueueManagerTest, ExpiresOnlyAfterMoreThanTimeout) {
  TQueueManager q;
  q.Timeout = 600;
  At(10 * 3600);
  int token = 0;
  q.Add(&token, "SEARCH");
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q.Keys(0), "SEARCH");
  EXPECT_EQ(q.Objects(0), &token);
  EXPECT_EQ(q.Times(0), 10 * 3600);
  At(10 * 3600 + 600);
  EXPECT_FALSE(q.Expired(0));
  At(10 * 3600 + 601);
  EXPECT_TRUE(q.Expired(0));
}

TEST_F(QueueManagerTest, WaitsAcrossMidnightStillExpire) {
  TQueueManager q;
  q.Timeout = 600;
  At(23 * 3600 + 59 * 60 + 50);  // 23:59:50
  q.Add(nullptr, "SEARCH");
  At(86400 + 20);  // 00:00:20: 30 s later
  EXPECT_FALSE(q.Expired(0));
  At(23 * 3600 + 59 * 60 + 50 + 700);  // 00:11:30: 700 s later
  EXPECT_TRUE(q.Expired(0));
  // An entry from the last ten minutes before midnight expires too.
  q.Clear();
  At(86400 - 100);
  q.Add(nullptr, "LATE");
  At(86400 + 501);
  EXPECT_TRUE(q.Expired(0));
  EXPECT_EQ(TQueueManager::ElapsedSeconds(86399, 0), 1);
  EXPECT_EQ(TQueueManager::ElapsedSeconds(5, 5), 0);
}

TEST_F(QueueManagerTest, RemoveTakesTheFirstMatchIgnoringCase) {
  TQueueManager q;
  At(100);
  int a = 1, b = 2;
  q.Add(&a, "SEARCH");
  q.Add(nullptr, "RESUME");
  q.Add(&b, "SEARCH");
  q.Remove("search");
  ASSERT_EQ(q.Count(), 2);
  EXPECT_EQ(q.Keys(0), "RESUME");
  EXPECT_EQ(q.Objects(1), &b);  // the second SEARCH stays; its object is untouched
  q.Remove("absent");
  EXPECT_EQ(q.Count(), 2);
  q.Delete(5);  // out of range: nothing
  q.Delete(0);
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q.Keys(0), "SEARCH");
  q.Clear();
  EXPECT_EQ(q.Count(), 0);
}


// The search fallback's list: a monotonic stamp expires from 601 s after
// adding even when the time of day passes midnight or jumps back meanwhile.
TEST_F(QueueManagerTest, MonotonicClockExpiresAcrossMidnightAndClockChanges) {
  int64_t ms = 5'000'000;
  plat::SetMonotonicForTesting([&ms] { return ms; });
  TQueueManager q(TQueueManager::Clock::Monotonic);
  q.Timeout = 600;
  At(86400 - 300);  // 23:55
  q.Add(nullptr, "SEARCH");
  q.Add(nullptr, "OTHER");
  EXPECT_EQ(q.Times(0), 5'000'000);
  ms += 600'999;
  At(86400 + 301);  // 00:05:01 the next day
  EXPECT_FALSE(q.Expired(0));
  ms += 1;
  EXPECT_TRUE(q.Expired(0));
  At(3600);  // the wall clock set back: changes nothing
  EXPECT_TRUE(q.Expired(1));
  q.Remove("search");
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q.Keys(0), "OTHER");
  plat::SetMonotonicForTesting(nullptr);
}

}  // namespace
