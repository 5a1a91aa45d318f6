// The end of the program, once it is asked for (a signal, the close button,
// the end of the event loop). From then on the waits the program makes on
// its own - the pauses between connection attempts - end at once, no new
// connection attempt starts, and no message box opens: whatever was under
// way ends as soon as it can, so that the process leaves promptly.
#pragma once

#include <atomic>
#include <chrono>

namespace margivo {

// Asks for the end. Async-signal-safe: a signal handler may call it.
void requestShutdown() noexcept;
bool shutdownRequested() noexcept;
// Forgets the request. Tests only: they ask for the end of a process that
// goes on.
void clearShutdownRequest() noexcept;

// Waits `duration`, or less when the end is asked for or `interrupt` (when
// given) turns true meanwhile. True when the whole time passed.
bool sleepUnlessShutdown(std::chrono::milliseconds duration,
                         const std::atomic<bool>* interrupt = nullptr);

}  // namespace margivo
