// Turns every published event of a TNapsterClient into one text line
// "OnName KEY=value ..." (values with blanks, quotes or nothing in them are
// double-quoted, with \" and \\ inside). Used by tarnctl and by tests that
// check events by their printed form.
#pragma once
#include <functional>
#include <string>

class TNapsterClient;

// name: the event's name; line: the whole line, starting with the name.
using TNapsterEventSink = std::function<void(const std::string& name, const std::string& line)>;

// Assigns a handler to each of the 73 events. Events listed in skip (names
// separated by blanks) are left unassigned.
void AttachNapsterEventLog(TNapsterClient& client, TNapsterEventSink sink, const std::string& skip = "");

// A value as it appears after "KEY=".
std::string EventValueText(const std::string& value);
