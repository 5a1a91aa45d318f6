#include <QCoreApplication>
#include <csignal>
#include <cstdio>

#include "framework/firebirdroot.h"
#include "gadget/identidade.h"
#include "tools/margivo-report/relatorio.h"

int main(int argc, char* argv[]) {
#ifdef SIGPIPE
  // A reader that closes the pipe early makes the write fail with EPIPE,
  // which is reported, instead of ending the tool without a word. (Windows
  // has no such signal: the write fails there by itself.)
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // Before the database library starts: it reads its configuration once.
  const margivo::PrivateFirebirdRoot firebirdRoot;
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(margivo::kNomeRelatorio));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(margivo::VERSAO_GADGET));
  const int status = margivo::relatorio::executar(QCoreApplication::arguments(), stdout, stderr);
  return margivo::relatorio::fechaSaida(stdout, stderr, status);
}
