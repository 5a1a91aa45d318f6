// Ending the program by a signal (SIGTERM from a session that closes or from
// `kill`, SIGINT, SIGHUP) as if its window had been closed: the event loop
// ends and the program leaves through main().
//
// The embedded database engine installs its own SIGINT/SIGTERM handlers when
// it is loaded, chaining to the handlers it finds, and puts those back when it
// unloads. Our handler must therefore be in place before the first attach:
// installed later, the engine's unloading would restore the default action
// and a SIGTERM would kill the program instead of closing it.
#pragma once

namespace margivo {

// Installs the handler (it only writes a byte into a pipe). POSIX only; does
// nothing elsewhere. REQUIRES: called first thing in main(), before any
// database is attached.
void InstalaSinaisDeEncerramento();

// Ends the event loop when the handler has run. POSIX only.
// REQUIRES: InstalaSinaisDeEncerramento was called; the application exists.
void EncerraPorSinal();

}  // namespace margivo
