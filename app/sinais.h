// Ending the program by a signal (SIGTERM from a session that closes or from
// `kill`, SIGINT, SIGHUP) as if its window had been closed: the event loop
// ends and the program leaves through main().
//
// The embedded database engine takes SIGINT and SIGTERM over when it is
// first loaded (it shuts itself down and leaves the process running, with a
// gadget that no longer reads anything). So this is installed after the
// start-up has connected, and the engine's handlers give way to it.
#pragma once

namespace margivo {

// POSIX only; does nothing elsewhere. REQUIRES: the application object exists.
void EncerraPorSinal();

}  // namespace margivo
