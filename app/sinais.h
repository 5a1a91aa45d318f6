// Ending the program by a signal (SIGTERM from a session that closes or from
// `kill`, SIGINT, SIGHUP) as if its window had been closed: the event loop
// ends and the program leaves through main().
//
// The embedded database engine installs its own SIGINT/SIGTERM handlers when
// it is loaded, and puts back the ones it found when it unloads, at moments
// the program does not control. So the three signals are blocked in every
// thread from the very start (threads inherit the mask) and delivered to the
// event loop through a signalfd: no handler of anybody's ever runs for them.
#pragma once

namespace margivo {

// Blocks the three signals in the calling thread. POSIX only; does nothing
// elsewhere. REQUIRES: called first thing in main(), before any thread exists.
void BloqueiaSinaisDeEncerramento();

// Ends the event loop when one of the blocked signals arrives. POSIX only.
// REQUIRES: BloqueiaSinaisDeEncerramento was called; the application exists.
void EncerraPorSinal();

}  // namespace margivo
