#include "dialogs/fontes.h"

#include <QGuiApplication>
#include <cmath>

namespace margivo::detail {

QFont Fonte(const QStringList& familias, double tamanho, bool negrito) {
  QFont fonte = QGuiApplication::font();
  if (!familias.isEmpty()) {
    QStringList todas = familias;
    todas << QStringLiteral("Noto Sans") << QStringLiteral("DejaVu Sans")
          << QStringLiteral("Liberation Sans");
    fonte.setFamilies(todas);
  }
  // Sizes are pixels of the layout; half pixels (10.5) round up, as a
  // pixel size must be whole.
  fonte.setPixelSize(static_cast<int>(std::lround(tamanho)));
  fonte.setBold(negrito);
  return fonte;
}

}  // namespace margivo::detail
