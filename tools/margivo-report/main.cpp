#include <QCoreApplication>
#include <cstdio>

#include "gadget/identidade.h"
#include "tools/margivo-report/relatorio.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(margivo::kNomeRelatorio));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(margivo::VERSAO_GADGET));
  return margivo::relatorio::executar(QCoreApplication::arguments(), stdout, stderr);
}
