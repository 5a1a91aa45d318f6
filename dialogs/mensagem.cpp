#include "dialogs/mensagem.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace margivo::detail {

void MostraMensagem(QWidget* parent, const QString& texto) {
  QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), texto,
                  QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("MensagemErro"));
  box.exec();
}

}  // namespace margivo::detail
