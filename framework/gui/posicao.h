// Placing a dialog over the gadget's panel and keeping windows on screen.
//
// The settings dialog and the about box open centred horizontally over the
// gadget's face with their top at the panel's top, so they cover the panel
// instead of wandering to the middle of the screen, and are then pulled back
// inside the screen when the panel sits near an edge.
#pragma once

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

// Moves the top-level `form` over the face of the gadget and then inside the
// screen `form` is on (the primary screen when it has none).
void PosicionaSobreGadget(QWidget& form, const GeometriaGadget& geometria);

}  // namespace margivo
