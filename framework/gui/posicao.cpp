#include "framework/gui/posicao.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace margivo {

namespace {

// Rounds to the nearest whole pixel, halves to the even neighbour: the
// centring of an odd difference of widths lands on a half.
int ArredondaPar(double valor) {
  return static_cast<int>(std::nearbyint(valor));  // default mode: to nearest, ties to even
}

}  // namespace

QPoint VerificaPosForm(int larguraForm, QPoint painel, const QRect& comp) {
  const double gx = painel.x(), gy = painel.y();
  const double cx = comp.x(), cy = comp.y(), cw = comp.width();
  const double fw = larguraForm;
  if (fw > cw) return {ArredondaPar(gx + cx - (fw - cw) / 2), ArredondaPar(gy)};
  if (fw < cw) return {ArredondaPar(gx + cx + (cw - fw) / 2), ArredondaPar(gy)};
  return {ArredondaPar(gx + cx), ArredondaPar(gy + cy)};
}

QPoint VerificaMargens(const QRect& form, const QRect& tela) {
  int left = form.x();
  int top = form.y();
  const int telaDireita = tela.x() + tela.width();
  const int telaBaixo = tela.y() + tela.height();
  if (left < tela.x()) left = tela.x();
  if (left + form.width() > telaDireita) left = telaDireita - form.width();
  if (top < tela.y()) top = tela.y();
  if (top + form.height() > telaBaixo) top = telaBaixo - form.height();
  return {left, top};
}

void PosicionaSobreGadget(QWidget& form, const GeometriaGadget& geometria) {
  const QPoint pos = VerificaPosForm(form.width(), geometria.painel, geometria.face);
  QScreen* screen = form.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  const QRect tela = screen != nullptr ? screen->geometry() : QRect(pos, form.size());
  form.move(VerificaMargens(QRect(pos, form.size()), tela));
}

}  // namespace margivo
