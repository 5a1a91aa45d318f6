// Placing a dialog over the gadget's panel, keeping windows on screen and
// keeping the panel within reach.
//
// The settings dialog and the about box open centred horizontally over the
// gadget's face with their top at the panel's top, so they cover the panel
// instead of wandering to the middle of the screen, and are then pulled back
// inside the screen when the panel sits near an edge.
//
// The panel itself may be dragged partly off the screens, but never so far,
// or left there by a monitor that went away or a smaller resolution, that it
// can no longer be reached: see PosicaoDentroDasTelas.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

class QWidget;

namespace margivo {

// Where the gadget is: what a dialog needs to open over it.
struct GeometriaGadget {
  QPoint painel;  // top-left of the whole panel (face plus caption strip), screen pixels
  QRect face;     // the face (rtgPrincipal) inside the panel: position and size
};

// Top-left of a form `larguraForm` wide placed over `comp` (a rectangle
// inside the panel whose top-left is `painel`):
//   form wider than comp:    x = painel.x + comp.x - (larguraForm - comp.width) / 2, y = painel.y
//   form narrower than comp: x = painel.x + comp.x + (comp.width - larguraForm) / 2, y = painel.y
//   same width:              x = painel.x + comp.x,                                  y = painel.y +
//   comp.y
// Halves are rounded to the even neighbour.
QPoint VerificaPosForm(int larguraForm, QPoint painel, const QRect& comp);

// `form` moved inside `tela` (the screen): left edge first, then right edge,
// then top, then bottom, so a form wider or taller than the screen ends with
// its right or bottom edge on the screen's edge.
QPoint VerificaMargens(const QRect& form, const QRect& tela);

// Where the panel `painel` (screen pixels) goes so that it stays within
// reach on the screens `telas`. When at least half of its area lies on the
// screens it stays where it is. Otherwise (more than half of it is off every
// screen) it moves onto the screen nearest to it, just far enough to lie
// wholly on it: the edges that were off then sit on that screen's edges (a
// panel larger than the screen keeps its top-left corner on it). The nearest
// screen is the one at the shortest distance from the panel, the one with
// more of the panel on it when two are as near, the first listed when still
// even. No screens: where it is.
QPoint PosicaoDentroDasTelas(const QRect& painel, const QList<QRect>& telas);

// The screens as `janela` covers them, in screen pixels: each screen's
// geometry within the window's own (a panel is only drawn where its window
// is). Empty for a window on no screen.
QList<QRect> TelasDaJanela(const QWidget& janela);

// Moves the top-level `form` over the face of the gadget and then inside the
// screen `form` is on (the primary screen when it has none).
void PosicionaSobreGadget(QWidget& form, const GeometriaGadget& geometria);

}  // namespace margivo
