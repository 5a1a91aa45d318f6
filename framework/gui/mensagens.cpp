#include "framework/gui/mensagens.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <stdexcept>
#include <utility>

#include "desktop/desktop.h"
#include "framework/shutdown.h"

namespace margivo {
namespace {

GanchoMensagem& gancho() {
  static GanchoMensagem instancia;
  return instancia;
}

}  // namespace

void MostraMensagem(TipoMensagem tipo, const QString& texto, const QString& detalhes) {
  // The program is ending: nobody is there to read it.
  if (shutdownRequested()) return;
  if (gancho()) {
    // A copy: the hook may replace itself.
    const GanchoMensagem atual = gancho();
    atual(tipo, texto, detalhes);
    return;
  }
  QMessageBox::Icon icone = QMessageBox::NoIcon;
  if (tipo == TipoMensagem::Aviso) icone = QMessageBox::Warning;
  if (tipo == TipoMensagem::Erro) icone = QMessageBox::Critical;
  QMessageBox caixa(icone, QGuiApplication::applicationDisplayName(), texto, QMessageBox::Ok);
  caixa.setObjectName(QStringLiteral("MensagemGadget"));
  if (!detalhes.isEmpty()) caixa.setDetailedText(detalhes);
  caixa.exec();
}

void MostraErro(std::exception_ptr erro) {
  // The desktop's errors are worded for the user already; the system's
  // reason goes to the details.
  try {
    if (erro) std::rethrow_exception(erro);
  } catch (const DesktopError& e) {
    mostraErro({QString::fromUtf8(e.what()), e.details()});
    return;
  } catch (...) {
  }
  mostraErro(descreveErro(erro, nullptr));
}

void mostraErro(const MensagemErro& mensagem) {
  MostraMensagem(TipoMensagem::Erro, mensagem.texto, mensagem.detalhes);
}

GanchoMensagem setGanchoMensagem(GanchoMensagem novo) {
  return std::exchange(gancho(), std::move(novo));
}

}  // namespace margivo
