// Ending the program by a signal (SIGTERM from a session that closes or from
// `kill`, SIGINT, SIGHUP) as if its window had been closed, and ending it
// promptly whatever it is doing.
//
// The handler asks for the end (shutdown.h) and wakes the event loop through
// a pipe; the event loop then ends every loop it runs - the main one and
// those of open message boxes, which close - and the program leaves through
// main(). A signal that comes during the start-up, before the main loop
// runs, is seen by the start-up itself: the pauses between connection
// attempts end, a box open closes, and main() ends right after it.
//
// A signal that comes before main() runs - while the system maps the
// libraries, the first tens of milliseconds - still has its default effect:
// nothing of the program has started then, nothing is held or written.
//
// The database client installs handlers of its own at its first use; the
// database layer puts these back (see Database), so ours stays the only one.
//
// A deadline backs all this up: once the end is asked for, the process has
// kShutdownDeadlineMs to leave. A thread waiting on a network that does not
// answer (an attach to a server that accepts and then says nothing) can be
// stopped no other way, so when the deadline passes the process ends at
// once, with status 0, saying so on stderr. Nothing is left half-written by
// that: the files the program writes are replaced whole or not at all, and
// nothing is written after the end was asked for.
#pragma once

namespace margivo {

inline constexpr int kShutdownDeadlineMs = 1200;

// Installs the handler (it only sets a flag, writes a byte into a pipe and
// starts the deadline) and the thread that keeps the deadline. POSIX: the
// three signals; elsewhere only the deadline. REQUIRES: called first thing in
// main(), before any database is attached.
void installShutdownSignals();

// Ends the event loops when the handler has run. POSIX only.
// REQUIRES: installShutdownSignals was called; the application exists.
void endEventLoopsOnSignal();

// Asks for the end and starts the deadline (once; later calls do nothing):
// main() calls it when the event loop has ended, before anything is torn
// down. REQUIRES: installShutdownSignals was called.
void startShutdownDeadline();

}  // namespace margivo
