#include "dialogs/about.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "dialogs/fontes.h"
#include "framework/gui/imagensicones.h"

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

QLabel* NovoLabel(QWidget* parent, const char* nome, const QString& texto, QRect geometria,
                  double tamanho, bool negrito, Qt::Alignment alinhamento) {
  auto* label = new QLabel(texto, parent);
  label->setObjectName(QLatin1String(nome));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(geometria);
  label->setAlignment(alinhamento);
  label->setWordWrap(false);
  detail::AplicaFonteQueCabe(*label, detail::Fonte(QStringLiteral("Tahoma"), tamanho, negrito));
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
  imgIcone->setPixmap(TImagensIcones::ImagemGadget(55));
  imgIcone->setScaledContents(true);

  lblTitulo =
      NovoLabel(Rectangle1, "lblTitulo", QString(), {75, 15, 288, 32}, 20, false, Qt::AlignCenter);
  const Qt::Alignment direita = Qt::AlignRight | Qt::AlignVCenter;
  const Qt::Alignment esquerda = Qt::AlignLeft | Qt::AlignVCenter;
  NovoLabel(Rectangle1, "lblVer", QStringLiteral("Versão:"), {5, 61, 76, 15}, 10.5, true, direita);
  lblVersao =
      NovoLabel(Rectangle1, "lblVersao", QString(), {85, 61, 290, 15}, 10.5, false, esquerda);
  NovoLabel(Rectangle1, "lblRC", QStringLiteral("Equivalência:"), {5, 82, 76, 15}, 10.5, true,
            direita);
  lblRelCons =
      NovoLabel(Rectangle1, "lblRelCons", QString(), {85, 82, 290, 15}, 10.5, false, esquerda);
  NovoLabel(Rectangle1, "lblDesc", QStringLiteral("Descrição:"), {5, 103, 76, 15}, 10.5, true,
            direita);
  txtDescricao = NovoLabel(Rectangle1, "txtDescricao", QString(), {87, 103, 286, 62}, 10.5, false,
                           Qt::AlignLeft | Qt::AlignTop);
  txtDescricao->setWordWrap(true);
  txtDescricao->setFont(detail::Fonte(QStringLiteral("Tahoma"), 10.5));

  btnOk = new QPushButton(QStringLiteral("OK"), Rectangle1);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setGeometry(150, 173, 80, 22);
  btnOk->setFont(detail::Fonte(QStringLiteral("Tahoma"), 11, true));
  btnOk->setDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &TfrmAbout::btnOkClick);

  auto* imgLogo = new QLabel(Rectangle1);
  imgLogo->setObjectName(QStringLiteral("imgLogo"));
  imgLogo->setGeometry(320, 176, 53, 17);
  imgLogo->setPixmap(ImagensIcones().imgLogoCinzaMedio);
}

void TfrmAbout::CarregaInformacoes(const InformacoesGadget* gadget) {
  if (gadget == nullptr) return;
  lblTitulo->setText(gadget->Titulo);
  lblVersao->setText(gadget->Versao);
  lblRelCons->setText(gadget->RelCons);
  txtDescricao->setText(gadget->Descricao);
  const QString tahoma = QStringLiteral("Tahoma");
  detail::AplicaFonteQueCabe(*lblTitulo, detail::Fonte(tahoma, 20));
  detail::AplicaFonteQueCabe(*lblVersao, detail::Fonte(tahoma, 10.5));
  detail::AplicaFonteQueCabe(*lblRelCons, detail::Fonte(tahoma, 10.5));
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
