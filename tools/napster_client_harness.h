// Helpers for driving a TNapsterClient from tools and tests: an event log
// that turns every published event into one text line "OnName KEY=value
// ..." (values with blanks, quotes, control characters or nothing in them
// are double-quoted, with a backslash before " and \ inside the quotes,
// and control characters written \n, \r, \t or \xHH). Used by tarnctl
// and by tests that check events by their printed form.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "peer/napster/napster_client.h"  // ApplyMainWindowProperties

// name: the event's name; line: the whole line, starting with the name.
using TNapsterEventSink = std::function<void(const std::string& name, const std::string& line)>;

// Assigns a handler to each of the 73 events. Events listed in skip (names
// separated by blanks) are left unassigned.
void AttachNapsterEventLog(TNapsterClient& client, TNapsterEventSink sink, const std::string& skip = "");

// A value as it appears after "KEY=".
std::string EventValueText(const std::string& value);

// The lines of one component's event log, for tests.
struct TNapsterEventLines {
  std::vector<std::string> lines;
  void Attach(TNapsterClient& client, const std::string& skip = "");
  // Lines that start with prefix.
  int Count(const std::string& prefix) const;
  std::string Find(const std::string& prefix) const;  // "" when none
  // Runs the main loop until Count(prefix) >= n or ms pass.
  bool Wait(const std::string& prefix, int n = 1, int ms = 8000) const;
  std::string Text() const;  // every line, for failure messages
};
