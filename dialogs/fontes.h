// Internal to dialogs/: the dialogs' fonts, named as the layouts name them
// ("Segoe UI", "Tahoma"; ConfiguraFontes maps them to installed faces).
#pragma once

#include <QFont>
#include <QString>

class QLabel;

namespace margivo::detail {

// `familia` (empty: the application's font) at `tamanho` logical pixels, as
// the layouts give sizes; a half pixel (10.5) rounds up.
QFont Fonte(const QString& familia, double tamanho, bool negrito = false);

// Sets `fonte` on the one-line `rotulo`, made smaller (down to 8 pixels) when
// its text does not fit the label's width in the face that stands in for the
// named one, so that no caption loses its first or last letters.
void AplicaFonteQueCabe(QLabel& rotulo, QFont fonte);

}  // namespace margivo::detail
