#include <QCoreApplication>
#include <cstdio>

#include "tools/margivo-report/relatorio.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("margivo-report"));
  QCoreApplication::setApplicationVersion(QStringLiteral("21.08ba"));
  return margivo::relatorio::executar(QCoreApplication::arguments(), stdout, stderr);
}
