// Internal to dialogs/: the modal message box with one OK button through
// which the dialogs report errors.
#pragma once

#include <QString>

class QWidget;

namespace margivo::detail {

// Shows `texto` in a modal message box with one OK button over `parent` and
// returns when the user closes it.
void MostraMensagem(QWidget* parent, const QString& texto);

}  // namespace margivo::detail
