// The end of a console program that cannot wait for its input thread (it
// may block in a read that never returns): the process ends at once, and
// in a build with the leak sanitizer its leak check runs first, as it
// would at a normal exit, so that a leak still fails the run.
#pragma once

// Whether this build checks for leaks (an AddressSanitizer build).
bool LeakCheckBuilt();
// Flushes the standard output and error, runs the leak check (a leak ends
// the process with the sanitizer's report and a failing status), then ends
// the process with code. No other stream is flushed: the input may be held
// by a thread that waits in a read of it.
[[noreturn]] void ExitAfterLeakCheck(int code);
