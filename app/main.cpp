// margivo: the profitability gadget on the desktop.
#include <QApplication>

#include "app/frmrentabilidade.h"
#include "app/sinais.h"
#include "framework/firebirdroot.h"
#include "framework/gui/fontes.h"
#include "framework/gui/inicializacao.h"
#include "framework/regional.h"
#include "framework/shutdown.h"
#include "gadget/identidade.h"

int main(int argc, char* argv[]) {
  // Before the database client loads: it takes the signals over at its first
  // use, and the database layer then puts back what it found.
  margivo::installShutdownSignals();
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

  margivo::endEventLoopsOnSignal();
  margivo::TfrmRentabilidade frmRentabilidade;
  int exitCode = 0;
  if (frmRentabilidade.Inic()->deveEncerrar()) {
    exitCode = frmRentabilidade.Inic()->codigoDeSaida();
  } else if (!margivo::shutdownRequested()) {
    frmRentabilidade.show();
    exitCode = QApplication::exec();
  }
  // From here on the program only ends: the refresh under way is stopped
  // (its statement cancelled) as the window goes, within the deadline.
  margivo::startShutdownDeadline();
  return exitCode;
}
