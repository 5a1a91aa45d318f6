#include "framework/shutdown.h"

#include <algorithm>
#include <thread>

namespace margivo {
namespace {

// Lock-free, so a signal handler may set it.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// How often a pause looks at the flags: a signal handler cannot wake a
// sleeping thread, so the pause wakes itself.
constexpr std::chrono::milliseconds kStep{20};

}  // namespace

void requestShutdown() noexcept { requested.store(true); }

bool shutdownRequested() noexcept { return requested.load(); }

void clearShutdownRequest() noexcept { requested.store(false); }

bool sleepUnlessShutdown(std::chrono::milliseconds duration, const std::atomic<bool>* interrupt) {
  const auto end = std::chrono::steady_clock::now() + duration;
  for (;;) {
    if (shutdownRequested() || (interrupt != nullptr && interrupt->load())) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kStep, end - now));
  }
}

}  // namespace margivo
