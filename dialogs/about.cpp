#include "dialogs/about.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>

#include "dialogs/fontes.h"

namespace margivo {

namespace {

const char* const kEstilo = R"(
QFrame#Rectangle1 {
  border: none;
  border-radius: 10px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #a9a9a9, stop:1 #ebebeb);
}
QLabel { color: #1e1e1e; background: transparent; }
QLabel#lblTitulo { color: #008b8b; }
QPushButton#btnOk {
  color: #1e1e1e; background: #e1e1e1; border: 1px solid #adadad; border-radius: 4px;
}
QPushButton#btnOk:hover { background: #e5f1fb; border-color: #0078d7; }
QPushButton#btnOk:pressed { background: #cce4f7; }
)";

// The gadget's picture when the gadget gives none: a teal tile with rising
// bars, the profitability gadget's motif.
QPixmap IconePadrao() {
  QPixmap pixmap(55, 55);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x00, 0x8b, 0x8b));
  p.drawRoundedRect(QRectF(2, 2, 51, 51), 9, 9);
  p.setBrush(QColor(0xe5, 0xe5, 0xe5));
  const int alturas[] = {14, 22, 30};
  for (int i = 0; i < 3; ++i) p.drawRect(QRectF(12 + i * 11, 44 - alturas[i], 8, alturas[i]));
  p.setPen(QPen(QColor(0x41, 0xcb, 0xd3), 2.5));
  p.drawLine(QPointF(10, 26), QPointF(44, 10));
  return pixmap;
}

// The maker's small grey logo, 53 x 17.
QPixmap LogoPadrao() {
  QPixmap pixmap(53, 17);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(QColor(0x69, 0x69, 0x69));
  p.setFont(detail::Fonte({QStringLiteral("Tahoma")}, 11, true));
  p.drawText(QRect(0, 0, 53, 17), Qt::AlignCenter, QStringLiteral("velmoor"));
  return pixmap;
}

QLabel* NovoLabel(QWidget* parent, const char* nome, const QString& texto, QRect geometria,
                  double tamanho, bool negrito, Qt::Alignment alinhamento) {
  auto* label = new QLabel(texto, parent);
  label->setObjectName(QLatin1String(nome));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(geometria);
  label->setFont(detail::Fonte({QStringLiteral("Tahoma")}, tamanho, negrito));
  label->setAlignment(alinhamento);
  label->setWordWrap(false);
  return label;
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About"));
  setAttribute(Qt::WA_TranslucentBackground);
  setFixedSize(380, 204);
  setStyleSheet(QLatin1String(kEstilo));

  auto* Rectangle1 = new QFrame(this);
  Rectangle1->setObjectName(QStringLiteral("Rectangle1"));
  Rectangle1->setGeometry(0, 0, 380, 204);

  imgIcone = new QLabel(Rectangle1);
  imgIcone->setObjectName(QStringLiteral("imgIcone"));
  imgIcone->setGeometry(17, 4, 55, 55);
  imgIcone->setPixmap(IconePadrao());
  imgIcone->setScaledContents(true);

  lblTitulo = NovoLabel(Rectangle1, "lblTitulo", QString(), {75, 15, 288, 32}, 20, false,
                        Qt::AlignCenter);
  const Qt::Alignment direita = Qt::AlignRight | Qt::AlignVCenter;
  const Qt::Alignment esquerda = Qt::AlignLeft | Qt::AlignVCenter;
  NovoLabel(Rectangle1, "lblVer", QStringLiteral("Versão:"), {5, 61, 76, 15}, 10.5, true, direita);
  lblVersao = NovoLabel(Rectangle1, "lblVersao", QString(), {85, 61, 290, 15}, 10.5, false, esquerda);
  NovoLabel(Rectangle1, "lblRC", QStringLiteral("Equivalência:"), {5, 82, 76, 15}, 10.5, true,
            direita);
  lblRelCons =
      NovoLabel(Rectangle1, "lblRelCons", QString(), {85, 82, 290, 15}, 10.5, false, esquerda);
  NovoLabel(Rectangle1, "lblDesc", QStringLiteral("Descrição:"), {5, 103, 76, 15}, 10.5, true,
            direita);
  txtDescricao = NovoLabel(Rectangle1, "txtDescricao", QString(), {87, 103, 286, 62}, 10.5, false,
                           Qt::AlignLeft | Qt::AlignTop);
  txtDescricao->setWordWrap(true);

  btnOk = new QPushButton(QStringLiteral("OK"), Rectangle1);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setGeometry(150, 173, 80, 22);
  btnOk->setFont(detail::Fonte({QStringLiteral("Tahoma")}, 11, true));
  btnOk->setDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &TfrmAbout::btnOkClick);

  auto* imgLogo = new QLabel(Rectangle1);
  imgLogo->setObjectName(QStringLiteral("imgLogo"));
  imgLogo->setGeometry(320, 176, 53, 17);
  imgLogo->setPixmap(LogoPadrao());
}

void TfrmAbout::CarregaInformacoes(const InformacoesGadget* gadget) {
  if (gadget == nullptr) return;
  lblTitulo->setText(gadget->Titulo);
  lblVersao->setText(gadget->Versao);
  lblRelCons->setText(gadget->RelCons);
  txtDescricao->setText(gadget->Descricao);
  if (!gadget->Icone.isNull()) imgIcone->setPixmap(gadget->Icone);
}

void TfrmAbout::Posiciona(const GeometriaGadget& geometria) {
  PosicionaSobreGadget(*this, geometria);
}

void TfrmAbout::btnOkClick() { accept(); }

namespace {
QPointer<TfrmAbout> gFrmAbout;
}  // namespace

TfrmAbout* frmAbout() { return gFrmAbout.data(); }

void AbreAbout(QWidget* host, const InformacoesGadget& informacoes,
               const GeometriaGadget& geometria) {
  if (gFrmAbout.isNull()) gFrmAbout = new TfrmAbout(host);
  gFrmAbout->CarregaInformacoes(&informacoes);
  gFrmAbout->Posiciona(geometria);
  gFrmAbout->findChild<QPushButton*>(QStringLiteral("btnOk"))->setFocus();
  gFrmAbout->exec();
}

}  // namespace margivo
