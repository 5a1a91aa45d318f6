// The about box (TfrmAbout, unit UAbout): the gadget's title, version, the
// ERP routine that gives the same figures, and a short description.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>

#include "framework/gui/posicao.h"

class QLabel;
class QPushButton;

namespace margivo {

// What the about box shows of a gadget: the texts as the gadget's getTitulo,
// getVersao, getRelCons and getDescricao return them (the first two already
// with their fall-backs), and the gadget's picture (55 x 55; a null pixmap
// shows the built-in picture).
struct InformacoesGadget {
  QString Titulo;
  QString Versao;
  QString RelCons;
  QString Descricao;
  QPixmap Icone;
};

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAbout(QWidget* parent = nullptr);

  // Fills the title, version, equivalence and description; does nothing when
  // `gadget` is null.
  void CarregaInformacoes(const InformacoesGadget* gadget);
  // VerificaPosForm over the face, then VerificaMargens.
  void Posiciona(const GeometriaGadget& geometria);

 public Q_SLOTS:
  void btnOkClick();  // closes

 private:
  QLabel* imgIcone = nullptr;
  QLabel* lblTitulo = nullptr;
  QLabel* lblVersao = nullptr;
  QLabel* lblRelCons = nullptr;
  QLabel* txtDescricao = nullptr;
  QPushButton* btnOk = nullptr;
};

// The about button of the caption strip (the gadget's RAboutClick): creates
// the box at the first call as a window of `host` (kept until the host is
// destroyed), fills it, places it over the face, gives "OK" the focus and
// shows it modally; returns when it is closed.
void AbreAbout(QWidget* host, const InformacoesGadget& informacoes,
               const GeometriaGadget& geometria);

// The box AbreAbout keeps (frmAbout), nullptr before its first opening.
TfrmAbout* frmAbout();

}  // namespace margivo
