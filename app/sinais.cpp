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
sem_t inicioPrazo;
void SinalizaPrazo() { ::sem_post(&inicioPrazo); }
void EsperaInicioDoPrazo() {
  while (::sem_wait(&inicioPrazo) != 0 && errno == EINTR) {
  }
}
void Dorme(int ms) {
  timespec resta{ms / 1000, (ms % 1000) * 1000000L};
  while (::nanosleep(&resta, &resta) != 0 && errno == EINTR) {
  }
}
void TerminaJa() {
  static const char kAviso[] =
      "margivo: encerramento forçado: uma operação não terminou a tempo (rede sem resposta?)\n";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kAviso, sizeof kAviso - 1);
  ::_exit(0);
}
#else
// Never destroyed: its thread may still wait on it while the process ends.
std::binary_semaphore& inicioPrazo = *new std::binary_semaphore(0);
void SinalizaPrazo() { inicioPrazo.release(); }
void EsperaInicioDoPrazo() { inicioPrazo.acquire(); }
void Dorme(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
void TerminaJa() {
  std::fputs("margivo: encerramento forçado: uma operação não terminou a tempo\n", stderr);
  std::fflush(stderr);
  std::_Exit(0);
}
#endif

std::atomic<bool> prazoIniciado{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Async-signal-safe: atomics and a semaphore post.
void IniciaPrazo() {
  requestShutdown();
  if (!prazoIniciado.exchange(true)) SinalizaPrazo();
}

void VigiaPrazo() {
  EsperaInicioDoPrazo();
  Dorme(kPrazoEncerramentoMs);
  // Still here: something the program cannot stop holds it.
  TerminaJa();
}

#ifndef _WIN32
// The handler writes a byte into a pipe; the event loop reads it.
int pipeSinal[2] = {-1, -1};

void AoReceberSinal(int) {
  const int erro = errno;
  IniciaPrazo();
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(pipeSinal[1], &byte, 1);
  errno = erro;
}
#endif

}  // namespace

void InstalaSinaisDeEncerramento() {
  static bool instalado = false;
  if (instalado) return;
  instalado = true;
#ifndef _WIN32
  if (::sem_init(&inicioPrazo, 0, 0) != 0) return;
#endif
  // Detached: the process may end while it waits.
  std::thread(VigiaPrazo).detach();
#ifndef _WIN32
  if (::pipe2(pipeSinal, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction acao {};
  acao.sa_handler = AoReceberSinal;
  sigemptyset(&acao.sa_mask);
  acao.sa_flags = SA_RESTART;
  for (int sinal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sinal, &acao, nullptr);
#endif
}

void EncerraPorSinal() {
#ifndef _WIN32
  static bool ligado = false;
  if (ligado || pipeSinal[0] < 0) return;
  ligado = true;
  auto* aviso = new QSocketNotifier(pipeSinal[0], QSocketNotifier::Read, qApp);
  QObject::connect(aviso, &QSocketNotifier::activated, qApp, [] {
    char byte;
    while (::read(pipeSinal[0], &byte, 1) > 0) {
    }
    // Every loop running ends, the nested ones of open boxes too (quit()
    // would only end the main loop, and before it runs nothing at all).
    QCoreApplication::exit(0);
  });
#endif
}

void IniciaPrazoDeEncerramento() { IniciaPrazo(); }

}  // namespace margivo
