#include "framework/gui/fontes.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace margivo {

void ConfiguraFontes() {
  const QStringList substitutos = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                   QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans")};
  for (const char* familia : {"Segoe UI", "Segoe UI Semibold", "Tahoma"}) {
    const QString nome = QString::fromLatin1(familia);
    if (!QFontDatabase::hasFamily(nome)) QFont::insertSubstitutions(nome, substitutos);
  }
}

}  // namespace margivo
