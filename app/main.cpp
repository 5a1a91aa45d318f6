// margivo: the profitability gadget on the desktop.
#include <QApplication>

#include "app/frmrentabilidade.h"
#include "app/sinais.h"
#include "framework/firebirdroot.h"
#include "framework/gui/fontes.h"
#include "framework/gui/inicializacao.h"
#include "framework/regional.h"
#include "gadget/identidade.h"

int main(int argc, char* argv[]) {
  // Before the database engine loads: it chains to the handlers it finds.
  margivo::InstalaSinaisDeEncerramento();
  // Before the database library starts: it reads its configuration once.
  const margivo::PrivateFirebirdRoot firebirdRoot;
  // The panel is placed in absolute screen positions, which a Wayland
  // session does not grant its clients: run through XWayland.
  if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(margivo::kNomePrograma));
  // Read once here, before a refresh's worker thread formats numbers.
  margivo::regionalSettings();
  margivo::ConfiguraFontes();

  margivo::EncerraPorSinal();
  margivo::TfrmRentabilidade frmRentabilidade;
  if (frmRentabilidade.Inic()->deveEncerrar()) return frmRentabilidade.Inic()->codigoDeSaida();
  frmRentabilidade.show();
  return QApplication::exec();
}
