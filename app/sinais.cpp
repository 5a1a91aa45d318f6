#include "app/sinais.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#endif

namespace margivo {

#ifndef _WIN32
namespace {

// The handler only writes a byte into a pipe; the event loop reads it.
int pipeSinal[2] = {-1, -1};

void AoReceberSinal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(pipeSinal[1], &byte, 1);
}

}  // namespace

void InstalaSinaisDeEncerramento() {
  if (pipeSinal[0] >= 0) return;
  if (::pipe2(pipeSinal, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction acao {};
  acao.sa_handler = AoReceberSinal;
  sigemptyset(&acao.sa_mask);
  acao.sa_flags = SA_RESTART;
  for (int sinal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sinal, &acao, nullptr);
}

void EncerraPorSinal() {
  static bool ligado = false;
  if (ligado || pipeSinal[0] < 0) return;
  ligado = true;
  auto* aviso = new QSocketNotifier(pipeSinal[0], QSocketNotifier::Read, qApp);
  QObject::connect(aviso, &QSocketNotifier::activated, qApp, [] {
    char byte;
    while (::read(pipeSinal[0], &byte, 1) > 0) {
    }
    QCoreApplication::quit();
  });
}
#else
void InstalaSinaisDeEncerramento() {}
void EncerraPorSinal() {}
#endif

}  // namespace margivo
