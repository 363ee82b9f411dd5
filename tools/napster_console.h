// The console of tarnctl: one Napster-protocol client component (set up as
// the main window sets up its own) driven by one command per line, every
// event printed as one line "EVENT <OnName> KEY=value ...", each command
// answered "OK <COMMAND> ..." or "ERROR <COMMAND> <reason>" (see the
// README). Values are printed with EventValueText, so no text a peer sends
// can start a line of its own.
//
// Lines arrive through a ConsoleInput from any thread; the console runs
// them on the main thread. WAIT holds the following lines until the event
// it names has been printed (an event printed earlier and not yet waited
// for counts; the console remembers the last kMaxUnwaited of those).
#pragma once
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/share_manager.h"
#include "peer/napster/napster_client.h"
#include "platform/dispatcher.h"
#include "tools/share_commands.h"

class NapsterConsole;

// A command word as a whole decimal number; fallback for anything else.
int WordToInt(const std::string& word, int fallback);

// Where the lines for a console come from. Shared with the thread that
// reads them, which may outlive the console.
class ConsoleInput {
 public:
  void Feed(std::string line);  // any thread
  void End();                   // any thread: no more lines come

 private:
  friend class NapsterConsole;
  std::mutex lock_;
  std::deque<std::string> lines_;
  bool ended_ = false;
  NapsterConsole* console_ = nullptr;  // nullptr once the console is gone
};

class NapsterConsole {
 public:
  using Output = std::function<void(const std::string& line)>;  // a line without its end
  static constexpr size_t kMaxUnwaited = 1000;  // events kept for a later WAIT

  NapsterConsole(std::string downloadDir, Output out);
  ~NapsterConsole();
  NapsterConsole(const NapsterConsole&) = delete;
  NapsterConsole& operator=(const NapsterConsole&) = delete;

  std::shared_ptr<ConsoleInput> Input() const { return input_; }
  // Called (on the main thread) when the console stops: QUIT, the end of
  // the input, or a WAIT that timed out (exit code 1).
  std::function<void(int exitCode)> OnQuit;
  bool Quitting() const { return quitting_; }
  int ExitCode() const { return exitCode_; }
  TNapsterClient& Client() { return client_; }
  size_t UnwaitedEvents() const { return seen_.size(); }

 private:
  friend class ConsoleInput;
  void Wake();  // any thread
  void Process();
  void Quit(int code);
  void Print(const std::string& line);
  bool TakeSeen(const std::string& name);
  void CheckWait();
  void Execute(const std::string& line);
  void Reply(const std::string& command, bool ok, const std::string& detail = "");
  std::string SessionID(const std::string& word) const;
  std::string LocalPath(const std::string& remote) const;
  bool SetProperty(const std::string& name, const std::string& value);
  void Download(const std::string& command, const std::vector<std::string>& words);
  // A request of the client's chat verbs (JOIN, KICK, ME, ...), sent to
  // every session; a verb that needs a channel takes the last one joined
  // when the line names none.
  void Chat(const std::string& line);
  // ERROR for a request a session's full queue left out.
  void Busy(const std::string& command);
  void Announce(const std::string& shareFile, const std::string& mask);

  TShareManager shares_;  // the tree folder scans walk
  ShareCommands shareCommands_{shares_};
  plat::MessageTarget target_;
  Output out_;
  std::string downloadDir_;
  std::shared_ptr<ConsoleInput> input_ = std::make_shared<ConsoleInput>();
  std::deque<std::string> seen_;  // events not yet taken by a WAIT, oldest first
  // Gnutella ports of the results seen, by nick and file name.
  std::map<std::string, int> gnutellaPorts_;
  std::deque<std::string> gnutellaOrder_;
  std::string waitName_;
  int64_t waitDeadline_ = 0;
  bool waiting_ = false;
  bool quitting_ = false;
  bool processing_ = false;
  int exitCode_ = 0;
  std::string lastSession_;
  std::vector<std::string> channels_;  // joined, in order
  // Last: its sessions' ends, which it reports as it goes, print into the
  // members above.
  TNapsterClient client_;
};
