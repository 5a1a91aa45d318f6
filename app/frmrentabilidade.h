// TfrmRentabilidade: the program's host window. It runs the start-up when it
// is created, and at its first activation creates the profitability gadget,
// places it and runs the first refresh. Closing it ends the program.
//
// The window is frameless, translucent and as large as the primary screen,
// at the screen's origin, so the gadget's positions are screen positions.
// When the screens change (a monitor added or removed, a resolution, a
// position or a scale changed) it takes the primary screen's place and size
// again, and the gadget is brought back within reach when more than half of
// it was left off the screens (the new position is saved).
// Its input region is what the gadget draws (see TFormTransparente): the
// desktop stays visible and clickable everywhere else. Before the gadget
// exists it draws nothing and keeps one transparent pixel; it has a taskbar
// button ("Form1") until the first activation takes it away.
//
// The first activation is the first time the window is shown and the event
// loop runs (or the window manager activates it, whichever comes first): a
// gadget on the desktop must not wait for focus it may never get.
//
// For the demo and the tests, the environment variable MARGIVO_CAPTURA may
// name a PNG file: once the first refresh has ended the window saves a
// screenshot of the gadget's area there and prints "Captura: <file>"; each
// later refresh saves one more beside it, numbered ("margivo-2.png", ...).
#pragma once

#include <QString>
#include <memory>

#include "framework/gui/elementos.h"

class QScreen;
class QTimer;

namespace margivo {

class TInicializacao;
class TRentabilidade;

// Label styles of the window's style book.
inline constexpr const char* kEstilosCianoEscuro[] = {"lblTituloStyle1", "lblPeriodoStyle1",
                                                      "lblNomeFilialStyle1"};

class TfrmRentabilidade : public TFormTransparente {
  Q_OBJECT

 public:
  // FormCreate: the style book, the start-up (TInicializacao) and the
  // screen's size. Check Inic()->deveEncerrar() before showing the window.
  TfrmRentabilidade();
  ~TfrmRentabilidade() override;

  TInicializacao* Inic() const noexcept { return Inic_.get(); }
  TRentabilidade* Gadget() const noexcept { return Gadget_.get(); }

  // The first activation after a successful start-up creates, places and
  // refreshes the gadget; every other call does nothing.
  void FormActivate();

  // The screens changed: the window on the primary screen again and the
  // gadget within reach. The screens' signals call it (once for a burst of
  // them, when the event loop next runs).
  void TelasMudaram();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void capturaTela(const QString& arquivo);
  void vigiaTela(QScreen* tela);
  void ocupaTelaPrincipal();

  std::unique_ptr<TInicializacao> Inic_;
  std::unique_ptr<TRentabilidade> Gadget_;  // destroyed first: its work uses Inic_'s connection
  int capturas_ = 0;
  QTimer* tmrTelas_ = nullptr;  // gathers a burst of screen signals into one TelasMudaram
};

}  // namespace margivo
