#include "dialogs/fontes.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <cmath>

namespace margivo::detail {

QFont Fonte(const QString& familia, double tamanho, bool negrito) {
  QFont fonte = QGuiApplication::font();
  if (!familia.isEmpty()) fonte.setFamily(familia);
  fonte.setPixelSize(static_cast<int>(std::lround(tamanho)));
  fonte.setBold(negrito);
  return fonte;
}

void AplicaFonteQueCabe(QLabel& rotulo, QFont fonte) {
  while (fonte.pixelSize() > 8 &&
         QFontMetrics(fonte).horizontalAdvance(rotulo.text()) > rotulo.width()) {
    fonte.setPixelSize(fonte.pixelSize() - 1);
  }
  rotulo.setFont(fonte);
}

}  // namespace margivo::detail
