// Helpers of the gadget's GUI tests: the application object (offscreen
// platform), mouse events sent to a form, waiting for a condition while the
// event loop runs, the message boxes recorded instead of shown, and a private
// runtime directory for the single-instance lock.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPointF>
#include <QTemporaryDir>
#include <QThread>
#include <QToolTip>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "framework/gui/elementos.h"
#include "framework/gui/fontes.h"
#include "framework/gui/mensagens.h"
#include "framework/regional.h"
#include "tests/support/testenv.h"

// Texts as text in failure messages.
inline void PrintTo(const QString& texto, std::ostream* os) {
  *os << '"' << texto.toStdString() << '"';
}

namespace margivo::test {

// The one application object of a test program; create it before any
// widget or picture.
inline QApplication& Aplicacao() {
  static int argc = 1;
  static char nome[] = "test_gadget";
  static char* argv[] = {nome, nullptr};
  static QApplication* app = [] {
    auto* a = new QApplication(argc, argv);
    ConfiguraFontes();
    return a;
  }();
  return *app;
}

// Mouse events as the window system would deliver them to `form` (form
// coordinates; the form sits at the screen's origin unless moved).
inline void EnviaMouse(TFormTransparente& form, QEvent::Type tipo, QPointF ponto,
                       Qt::MouseButton botao, Qt::MouseButtons botoes) {
  QMouseEvent evento(tipo, ponto, form.mapToGlobal(ponto), botao, botoes, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &evento);
}
inline void MoveMouse(TFormTransparente& form, QPointF ponto, Qt::MouseButtons botoes = {}) {
  EnviaMouse(form, QEvent::MouseMove, ponto, Qt::NoButton, botoes);
}
inline void PressionaMouse(TFormTransparente& form, QPointF ponto) {
  MoveMouse(form, ponto);
  EnviaMouse(form, QEvent::MouseButtonPress, ponto, Qt::LeftButton, Qt::LeftButton);
}
inline void SoltaMouse(TFormTransparente& form, QPointF ponto) {
  EnviaMouse(form, QEvent::MouseButtonRelease, ponto, Qt::LeftButton, Qt::NoButton);
}
inline void Clica(TFormTransparente& form, QPointF ponto) {
  PressionaMouse(form, ponto);
  SoltaMouse(form, ponto);
}
// The centre of `e` in form coordinates.
inline QPointF Centro(const TElemento& e) { return e.retanguloNoForm().center(); }

// Runs the event loop until `condicao` holds; false when it still does not
// after `limiteMs` (a bound for a hung test, not a timing the test relies on).
inline bool Aguarda(const std::function<bool()>& condicao, int limiteMs = 60000) {
  QElapsedTimer relogio;
  relogio.start();
  while (!condicao()) {
    if (relogio.elapsed() > limiteMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

// The tooltip the form shows when the mouse rests at `ponto` (form
// coordinates); empty when none.
inline QString Dica(TFormTransparente& form, QPointF ponto) {
  // Told to go, a tooltip goes a moment later: close it now.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->inherits("QTipLabel")) w->hide();
  QHelpEvent evento(QEvent::ToolTip, ponto.toPoint(), form.mapToGlobal(ponto.toPoint()));
  QCoreApplication::sendEvent(&form, &evento);
  return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// Records every message box instead of showing it, for the life of the
// object.
class MensagensRegistradas {
 public:
  struct Mensagem {
    TipoMensagem tipo;
    QString texto;
    QString detalhes;
  };

  MensagensRegistradas()
      : anterior_(setGanchoMensagem(
            [this](TipoMensagem tipo, const QString& texto, const QString& detalhes) {
              lista.push_back({tipo, texto, detalhes});
              if (aoMostrar) aoMostrar();
            })) {}
  ~MensagensRegistradas() { setGanchoMensagem(std::move(anterior_)); }
  MensagensRegistradas(const MensagensRegistradas&) = delete;
  MensagensRegistradas& operator=(const MensagensRegistradas&) = delete;

  std::string textos() const {
    std::string r;
    for (const Mensagem& m : lista) r += m.texto.toStdString() + "\n";
    return r;
  }

  std::vector<Mensagem> lista;
  // Runs while a box would be open (the program waits for it then).
  std::function<void()> aoMostrar;

 private:
  GanchoMensagem anterior_;
};

// A fresh runtime directory (mode 0700, as the lock's place must be) set as
// XDG_RUNTIME_DIR for the life of the object.
class RuntimeDirTeste {
 public:
  RuntimeDirTeste()
      : env_("XDG_RUNTIME_DIR",
             (QFile::setPermissions(dir_.path(),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner),
              QFile::encodeName(dir_.path()))) {}
  QString path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  ScopedEnv env_;
};

}  // namespace margivo::test
