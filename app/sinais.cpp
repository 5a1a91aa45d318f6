#include "app/sinais.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#endif

namespace margivo {

#ifndef _WIN32
namespace {

sigset_t SinaisDeEncerramento() {
  sigset_t sinais;
  sigemptyset(&sinais);
  sigaddset(&sinais, SIGTERM);
  sigaddset(&sinais, SIGINT);
  sigaddset(&sinais, SIGHUP);
  return sinais;
}

}  // namespace

void BloqueiaSinaisDeEncerramento() {
  const sigset_t sinais = SinaisDeEncerramento();
  ::pthread_sigmask(SIG_BLOCK, &sinais, nullptr);
}

void EncerraPorSinal() {
  static int descritor = -1;
  if (descritor >= 0) return;
  const sigset_t sinais = SinaisDeEncerramento();
  descritor = ::signalfd(-1, &sinais, SFD_CLOEXEC | SFD_NONBLOCK);
  if (descritor < 0) return;
  auto* aviso = new QSocketNotifier(descritor, QSocketNotifier::Read, qApp);
  QObject::connect(aviso, &QSocketNotifier::activated, qApp, [] {
    signalfd_siginfo info;
    while (::read(descritor, &info, sizeof info) > 0) {
    }
    QCoreApplication::quit();
  });
}
#else
void BloqueiaSinaisDeEncerramento() {}
void EncerraPorSinal() {}
#endif

}  // namespace margivo
