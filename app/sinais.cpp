#include "app/sinais.h"

#include <QCoreApplication>
#include <atomic>
#include <cstdio>
#include <thread>

#include "framework/shutdown.h"

#ifndef _WIN32
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <ctime>
#else
#include <chrono>
#include <cstdlib>
#include <semaphore>
#endif

namespace margivo {
namespace {

// Posted once, when the deadline starts; the deadline's thread waits on it.
// A POSIX semaphore may be posted from a signal handler.
#ifndef _WIN32
sem_t deadlineStart;
void postDeadlineStart() { ::sem_post(&deadlineStart); }
void waitForDeadlineStart() {
  while (::sem_wait(&deadlineStart) != 0 && errno == EINTR) {
  }
}
void sleepMs(int ms) {
  timespec remaining{ms / 1000, (ms % 1000) * 1000000L};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}
void exitNow() {
  static const char kNotice[] =
      "margivo: encerramento forçado: uma operação não terminou a tempo (rede sem resposta?)\n";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
  ::_exit(0);
}
#else
// Never destroyed: its thread may still wait on it while the process ends.
std::binary_semaphore& deadlineStart = *new std::binary_semaphore(0);
void postDeadlineStart() { deadlineStart.release(); }
void waitForDeadlineStart() { deadlineStart.acquire(); }
void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
void exitNow() {
  std::fputs("margivo: encerramento forçado: uma operação não terminou a tempo\n", stderr);
  std::fflush(stderr);
  std::_Exit(0);
}
#endif

std::atomic<bool> deadlineStarted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Async-signal-safe: atomics and a semaphore post.
void startDeadline() {
  requestShutdown();
  if (!deadlineStarted.exchange(true)) postDeadlineStart();
}

void keepDeadline() {
  waitForDeadlineStart();
  sleepMs(kShutdownDeadlineMs);
  // Still here: something the program cannot stop holds it.
  exitNow();
}

#ifndef _WIN32
// The handler writes a byte into a pipe; the event loop reads it.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const int savedErrno = errno;
  startDeadline();
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
  errno = savedErrno;
}
#endif

}  // namespace

void installShutdownSignals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
#ifndef _WIN32
  if (::sem_init(&deadlineStart, 0, 0) != 0) return;
#endif
  // Detached: the process may end while it waits.
  std::thread(keepDeadline).detach();
#ifndef _WIN32
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
#endif
}

void endEventLoopsOnSignal() {
#ifndef _WIN32
  static bool connected = false;
  if (connected || signalPipe[0] < 0) return;
  connected = true;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    char byte;
    while (::read(signalPipe[0], &byte, 1) > 0) {
    }
    // Every loop running ends, the nested ones of open boxes too (quit()
    // would only end the main loop, and before it runs nothing at all).
    QCoreApplication::exit(0);
  });
#endif
}

void startShutdownDeadline() { startDeadline(); }

}  // namespace margivo
