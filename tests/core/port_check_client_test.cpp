// test-label: concurrency
#include "core/port_check_client.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/test_util.h"
#include "tools/fake_port_check_server.h"

namespace {

struct Outcome {
  int found = 0;
  int notFound = 0;
  int Total() const { return found + notFound; }
};

void Watch(TPortCheckClient& c, Outcome& o) {
  c.OnFound = [&o](TPortCheckClient*) { ++o.found; };
  c.OnNotFound = [&o](TPortCheckClient*) { ++o.notFound; };
}

TEST(PortCheckClient, SuccessThenFailureThenSuccess) {
  FakePortCheckServer good;
  FakePortCheckOptions refuse;
  refuse.portReply = "500 Port Closed";
  FakePortCheckServer bad(refuse);
  TPortCheckClient c;
  Outcome o;
  Watch(c, o);

  ASSERT_TRUE(c.Check("127.0.0.1", good.Port(), 0));
  EXPECT_TRUE(c.Busy());
  EXPECT_GT(c.ListeningPort(), 0);
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 1; }, 20000));
  EXPECT_EQ(o.found, 1);
  EXPECT_FALSE(c.Busy());
  auto lines = good.ClientLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "PORT " + std::to_string(c.ListeningPort()));
  auto heard = good.ListenerLines();
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0], "200 Port Check Ready");
  EXPECT_EQ(heard[1], "200 Port Check Ok");

  // A failure after a success is a failure.
  ASSERT_TRUE(c.Check("127.0.0.1", bad.Port(), 0));
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 2; }, 20000));
  EXPECT_EQ(o.found, 1);
  EXPECT_EQ(o.notFound, 1);
  EXPECT_FALSE(c.Found());

  ASSERT_TRUE(c.Check("127.0.0.1", good.Port(), 0));
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 3; }, 20000));
  EXPECT_EQ(o.found, 2);
  // Nothing more arrives afterwards.
  testutil::PumpUntil([] { return false; }, 200);
  EXPECT_EQ(o.Total(), 3);
}

TEST(PortCheckClient, ListenerAnswersCheckInAnyCaseAndRejectsOthers) {
  FakePortCheckOptions lower;
  lower.checkLine = "check";
  FakePortCheckServer server(lower);
  FakePortCheckOptions wrong;
  wrong.checkLine = "HELLO";
  FakePortCheckServer other(wrong);
  TPortCheckClient c;
  Outcome o;
  Watch(c, o);
  ASSERT_TRUE(c.Check("127.0.0.1", server.Port(), 0));
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 1; }, 20000));
  EXPECT_EQ(o.found, 1);
  ASSERT_EQ(server.ListenerLines().size(), 2u);
  EXPECT_EQ(server.ListenerLines()[1], "200 Port Check Ok");

  ASSERT_TRUE(c.Check("127.0.0.1", other.Port(), 0));
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 2; }, 20000));
  EXPECT_EQ(o.notFound, 1);
  ASSERT_EQ(other.ListenerLines().size(), 2u);
  EXPECT_EQ(other.ListenerLines()[1], "401 Invalid Command");
}

TEST(PortCheckClient, GreetingOtherThan200EndsTheCheck) {
  FakePortCheckOptions busy;
  busy.greeting = "400 Too Busy";
  FakePortCheckServer server(busy);
  TPortCheckClient c;
  Outcome o;
  Watch(c, o);
  ASSERT_TRUE(c.Check("127.0.0.1", server.Port(), 0));
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 1; }, 20000));
  EXPECT_EQ(o.notFound, 1);
  EXPECT_TRUE(server.ClientLines().empty() || server.ClientLines()[0].empty());
}

TEST(PortCheckClient, BusyCancelAndSilentServer) {
  FakePortCheckOptions silent;
  silent.silent = true;
  FakePortCheckServer server(silent);
  TPortCheckClient c;
  Outcome o;
  Watch(c, o);
  ASSERT_TRUE(c.Check("127.0.0.1", server.Port(), 0));
  int port = c.ListeningPort();
  // A second check while one runs changes nothing.
  EXPECT_FALSE(c.Check("127.0.0.1", server.Port(), 0));
  EXPECT_TRUE(c.Busy());
  EXPECT_EQ(c.ListeningPort(), port);
  testutil::PumpUntil([] { return false; }, 300);
  EXPECT_EQ(o.Total(), 0);
  c.Cancel();
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 1; }, 20000));
  EXPECT_EQ(o.notFound, 1);
  EXPECT_FALSE(c.Busy());

  // With a short time-out a silent server ends the check by itself.
  c.SetTimeOut(1);
  ASSERT_TRUE(c.Check("127.0.0.1", server.Port(), 0));
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 2; }, 20000));
  EXPECT_EQ(o.notFound, 2);
}

TEST(PortCheckClient, UnreachableServerAndListenFailure) {
  int deadPort;
  {
    FakePortCheckServer gone;
    deadPort = gone.Port();
  }
  TPortCheckClient c;
  Outcome o;
  Watch(c, o);
  ASSERT_TRUE(c.Check("127.0.0.1", deadPort, 0));
  ASSERT_TRUE(testutil::PumpUntil([&] { return o.Total() == 1; }, 20000));
  EXPECT_EQ(o.notFound, 1);

  // Listening on a port that is taken fails at once, without an event.
  FakePortCheckServer server;
  TPortCheckClient holder;
  ASSERT_TRUE(holder.Check("127.0.0.1", server.Port(), 0));
  int taken = holder.ListeningPort();
  holder.Cancel();
  FakePortCheckOptions silent;
  silent.silent = true;
  FakePortCheckServer quiet(silent);
  ASSERT_TRUE(holder.Check("127.0.0.1", quiet.Port(), taken));
  EXPECT_FALSE(c.Check("127.0.0.1", server.Port(), taken));
  EXPECT_FALSE(c.Busy());
  testutil::PumpUntil([] { return false; }, 200);
  EXPECT_EQ(o.Total(), 1);
}

TEST(PortCheckClient, NoEventsDuringDestruction) {
  FakePortCheckOptions silent;
  silent.silent = true;
  FakePortCheckServer server(silent);
  Outcome o;
  {
    TPortCheckClient c;
    Watch(c, o);
    ASSERT_TRUE(c.Check("127.0.0.1", server.Port(), 0));
    testutil::PumpUntil([] { return false; }, 200);
  }
  testutil::PumpUntil([] { return false; }, 200);
  EXPECT_EQ(o.Total(), 0);
}

}  // namespace
