// Process-wide set-up of the program on Linux: the log's folder, and the stop
// signals, which reach the application as the tablet's exit.
#pragma once

namespace host {

// Makes sure the log's folder ("logs" under the working directory) exists,
// creating it when missing; says on standard error when it cannot, and that
// the log then goes to standard output only. Returns 1 when the log can be
// written.
int PrepareLogFolder();

// From now on SIGINT and SIGTERM are not fatal: the first one is delivered
// to the running application as the navigator's exit (through the event
// service), so that it leaves as it does on exit; a second one ends the
// process at once.
void WatchStopSignals();
// The stop signal received since WatchStopSignals, or 0.
int StopSignalReceived();

} // namespace host
