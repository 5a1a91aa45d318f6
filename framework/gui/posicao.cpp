#include "framework/gui/posicao.h"

#include <QGuiApplication>
#include <QRegion>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>

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

namespace {

long long Area(const QRect& r) {
  return r.isEmpty() ? 0 : static_cast<long long>(r.width()) * r.height();
}

// The distance between two rectangles: 0 when they touch or overlap.
double Distancia(const QRect& a, const QRect& b) {
  const int dx = std::max({0, b.left() - a.right() - 1, a.left() - b.right() - 1});
  const int dy = std::max({0, b.top() - a.bottom() - 1, a.top() - b.bottom() - 1});
  return std::hypot(dx, dy);
}

}  // namespace

QPoint PosicaoDentroDasTelas(const QRect& painel, const QList<QRect>& telas) {
  if (telas.isEmpty() || painel.isEmpty()) return painel.topLeft();
  QRegion visivel;
  for (const QRect& tela : telas) visivel += tela.intersected(painel);
  long long areaVisivel = 0;
  for (const QRect& parte : visivel) areaVisivel += Area(parte);
  if (2 * areaVisivel >= Area(painel)) return painel.topLeft();

  const QRect* destino = nullptr;
  double menorDistancia = std::numeric_limits<double>::infinity();
  long long maiorParte = -1;
  for (const QRect& tela : telas) {
    if (tela.isEmpty()) continue;
    const double distancia = Distancia(painel, tela);
    const long long parte = Area(tela.intersected(painel));
    if (distancia < menorDistancia || (distancia == menorDistancia && parte > maiorParte)) {
      destino = &tela;
      menorDistancia = distancia;
      maiorParte = parte;
    }
  }
  if (destino == nullptr) return painel.topLeft();
  // Right and bottom first, then left and top: a panel larger than the
  // screen keeps its top-left corner (title and figures) on it.
  int x = std::min(painel.x(), destino->x() + destino->width() - painel.width());
  int y = std::min(painel.y(), destino->y() + destino->height() - painel.height());
  x = std::max(x, destino->x());
  y = std::max(y, destino->y());
  return {x, y};
}

QList<QRect> TelasDaJanela(const QWidget& janela) {
  const QRect area(janela.mapToGlobal(QPoint(0, 0)), janela.size());
  QList<QRect> telas;
  for (const QScreen* tela : QGuiApplication::screens()) {
    const QRect parte = tela->geometry().intersected(area);
    if (!parte.isEmpty()) telas.append(parte);
  }
  return telas;
}

void PosicionaSobreGadget(QWidget& form, const GeometriaGadget& geometria) {
  const QPoint pos = VerificaPosForm(form.width(), geometria.painel, geometria.face);
  QScreen* screen = form.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  const QRect tela = screen != nullptr ? screen->geometry() : QRect(pos, form.size());
  form.move(VerificaMargens(QRect(pos, form.size()), tela));
}

}  // namespace margivo
