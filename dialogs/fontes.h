// Internal to dialogs/: fonts by the Windows names the dialogs were drawn
// with, falling back to close fonts installed here.
#pragma once

#include <QFont>
#include <QStringList>

namespace margivo::detail {

// `familias` in order of preference (empty: the application's font), each
// followed by close substitutes ("Segoe UI" and "Tahoma" are humanist sans
// faces); `tamanho` in logical pixels, as the layouts give sizes.
QFont Fonte(const QStringList& familias, double tamanho, bool negrito = false);

}  // namespace margivo::detail
