// test-label: concurrency
#include "core/port_check_client.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/test_util.h"
#include "tools/fake_port_check_server.h"

namespace {

FakePortCheckOptions Silent() {
  FakePortCheckOptions o;
  o.silent = true;
  return o;
}

FakePortCheckOptions CheckLine(const std::string& line) {
  FakePortCheckOptions o;
  o.checkLine = line;
  return o;
}

class PortCheck : public ::testing::Test {
 protected:
  void SetUp() override { Watch(c); }
  void Watch(TPortCheckClient& client) {
    client.OnFound = [this](TPortCheckClient*) { ++found; };
    client.OnNotFound = [this](TPortCheckClient*) { ++notFound; };
  }
  int Total() const { return found + notFound; }
  // Starts a check and waits for its one outcome.
  bool RunCheck(int port) {
    int before = Total();
    return c.Check("127.0.0.1", port, 0) && testutil::PumpUntil([&] { return Total() == before + 1; }, 20000);
  }
  // Lets events that should not come have their chance.
  void Settle() { testutil::PumpUntil([] { return false; }, 300); }

  TPortCheckClient c;
  int found = 0;
  int notFound = 0;
};

TEST_F(PortCheck, SuccessThenFailureThenSuccess) {
  FakePortCheckServer good;
  FakePortCheckOptions refuse;
  refuse.portReply = "500 Port Closed";
  FakePortCheckServer bad(refuse);

  ASSERT_TRUE(RunCheck(good.Port()));
  EXPECT_EQ(found, 1);
  EXPECT_FALSE(c.Busy());
  EXPECT_GT(c.ListeningPort(), 0);
  auto lines = good.ClientLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "PORT " + std::to_string(c.ListeningPort()));
  auto heard = good.ListenerLines();
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0], "200 Port Check Ready");
  EXPECT_EQ(heard[1], "200 Port Check Ok");

  // A failure after a success is a failure.
  ASSERT_TRUE(RunCheck(bad.Port()));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(notFound, 1);
  EXPECT_FALSE(c.Found());

  ASSERT_TRUE(RunCheck(good.Port()));
  EXPECT_EQ(found, 2);
  Settle();
  EXPECT_EQ(Total(), 3);
}

TEST_F(PortCheck, ListenerAnswersCheckInAnyCaseAndRejectsOthers) {
  FakePortCheckServer lower(CheckLine("check"));
  FakePortCheckServer wrong(CheckLine("HELLO"));
  ASSERT_TRUE(RunCheck(lower.Port()));
  EXPECT_EQ(found, 1);
  ASSERT_EQ(lower.ListenerLines().size(), 2u);
  EXPECT_EQ(lower.ListenerLines()[1], "200 Port Check Ok");

  ASSERT_TRUE(RunCheck(wrong.Port()));
  EXPECT_EQ(notFound, 1);
  ASSERT_EQ(wrong.ListenerLines().size(), 2u);
  EXPECT_EQ(wrong.ListenerLines()[1], "401 Invalid Command");
}

TEST_F(PortCheck, GreetingOtherThan200EndsTheCheck) {
  FakePortCheckOptions busy;
  busy.greeting = "400 Too Busy";
  FakePortCheckServer server(busy);
  ASSERT_TRUE(RunCheck(server.Port()));
  EXPECT_EQ(notFound, 1);
  EXPECT_TRUE(server.ClientLines().empty() || server.ClientLines()[0].empty());  // no PORT line
}

TEST_F(PortCheck, BusyCancelAndSilentServer) {
  FakePortCheckServer server(Silent());
  ASSERT_TRUE(c.Check("127.0.0.1", server.Port(), 0));
  int port = c.ListeningPort();
  // A second check while one runs changes nothing.
  EXPECT_FALSE(c.Check("127.0.0.1", server.Port(), 0));
  EXPECT_TRUE(c.Busy());
  EXPECT_EQ(c.ListeningPort(), port);
  Settle();
  EXPECT_EQ(Total(), 0);
  c.Cancel();
  ASSERT_TRUE(testutil::PumpUntil([&] { return Total() == 1; }, 20000));
  EXPECT_EQ(notFound, 1);
  EXPECT_FALSE(c.Busy());

  // With a short time-out a silent server ends the check by itself.
  c.SetTimeOut(1);
  ASSERT_TRUE(RunCheck(server.Port()));
  EXPECT_EQ(notFound, 2);
}

TEST_F(PortCheck, UnreachableServerAndTakenListenPort) {
  int deadPort;
  {
    FakePortCheckServer gone;
    deadPort = gone.Port();
  }
  ASSERT_TRUE(RunCheck(deadPort));
  EXPECT_EQ(notFound, 1);

  // Listening on a port another check holds fails at once, without an event.
  FakePortCheckServer quiet(Silent());
  TPortCheckClient holder;
  ASSERT_TRUE(holder.Check("127.0.0.1", quiet.Port(), 0));
  EXPECT_FALSE(c.Check("127.0.0.1", quiet.Port(), holder.ListeningPort()));
  EXPECT_FALSE(c.Busy());
  Settle();
  EXPECT_EQ(Total(), 1);

  // A server name the system has no thread to look up: the check fails.
  TEasyWinsock::SetLookupStartForTesting([] { return false; });
  const bool started = c.Check("portcheck.test", quiet.Port(), 0);
  TEasyWinsock::SetLookupStartForTesting(nullptr);
  ASSERT_TRUE(started);
  ASSERT_TRUE(testutil::PumpUntil([&] { return Total() == 2; }, 20000));
  EXPECT_EQ(notFound, 2);
  EXPECT_FALSE(c.Busy());
}

TEST_F(PortCheck, NoEventsDuringDestruction) {
  FakePortCheckServer server(Silent());
  {
    TPortCheckClient doomed;
    Watch(doomed);
    ASSERT_TRUE(doomed.Check("127.0.0.1", server.Port(), 0));
    Settle();
  }
  Settle();
  EXPECT_EQ(Total(), 0);
}

}  // namespace
