// napster_server: the tests' scripted Napster server as a program, for
// trying the program and tarnctl against it by hand: it listens on
// 127.0.0.1, serves any number of clients at once (logins, searches and
// browses of a few users of its own, whois, and the chat between the
// clients: channels, hot lists, ignore lists, the message of the day,
// operators' requests), and runs until its standard input ends.
//
//   napster_server [--port N] [--op NICK]... [--admin NICK]...
//     --port N      the port on 127.0.0.1 (8888; 0: any free port)
//     --op NICK     a client that logs in as NICK is a moderator (may kick,
//                   ban, muzzle...); --admin NICK an administrator (also
//                   global messages, levels, nukes)
//
// It prints "LISTENING <port>" once it listens. Exit status 2 for a usage
// error or a port it cannot listen on.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "tools/fake_napster_server.h"

int main(int argc, char** argv) {
  int port = 8888;
  FakeNapsterServer server;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "usage: napster_server [--port N] [--op NICK]... [--admin NICK]...\n");
      return 2;
    }
    const std::string value = argv[++i];
    if (a == "--port") {
      port = std::atoi(value.c_str());
    } else if (a == "--op" || a == "--admin") {
      FakeNapsterServer::User u;
      u.nick = value;
      u.level = a == "--op" ? "Moderator" : "Admin";
      server.AddUser(u);
    } else {
      std::fprintf(stderr, "napster_server: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  FakeNapsterServer::User nightowl;
  nightowl.nick = "nightowl";
  using Server = FakeNapsterServer;
  nightowl.files = {Server::Song("C:\\Music\\Blue Harbour - Evening Tide.mp3", 4812331, 192, 200),
                    Server::Song("C:\\Music\\Blue Harbour - Salt Road.mp3", 6120044, 192, 255)};
  server.AddUser(nightowl);
  FakeNapsterServer::Channel lounge;
  lounge.name = "#lounge";
  lounge.topic = "Music and talk";
  lounge.members = {"nightowl"};
  server.AddChannel(lounge);
  server.SetMotd({"Welcome to the harness Napster server.", "Try /channels, /join #lounge and /help."});
  if (!server.Start(port)) {
    std::fprintf(stderr, "napster_server: cannot listen on 127.0.0.1:%d\n", port);
    return 2;
  }
  std::printf("LISTENING %d\n", server.Port());
  std::fflush(stdout);
  for (std::string line; std::getline(std::cin, line);) {
  }
  server.Stop();
  return 0;
}
