#include "app/frmrentabilidade.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "desktop/desktop.h"
#include "framework/gui/imagensicones.h"
#include "framework/gui/inicializacao.h"
#include "framework/gui/mensagens.h"
#include "gadget/identidade.h"
#include "gadget/rentabilidade.h"

namespace margivo {

TfrmRentabilidade::TfrmRentabilidade() { FormCreate(); }

TfrmRentabilidade::~TfrmRentabilidade() = default;

void TfrmRentabilidade::FormCreate() {
  setObjectName(QString::fromLatin1(kNomeInstancia));
  setWindowTitle(QStringLiteral("Form1"));
  setWindowIcon(ImagensIcones().MainIcon);
  setCorDoEstilo(QString::fromLatin1(kEstiloRotuloPadrao), QColor(0xFF, 0xFF, 0xFF));
  for (const char* estilo : kEstilosCianoEscuro)
    setCorDoEstilo(QString::fromLatin1(estilo), QColor(0x00, 0x8B, 0x8B));

  Inic_ = std::make_unique<TInicializacao>(*this, QString::fromLatin1(kSecaoGadget),
                                           QString::fromLatin1(kSiglaGadget));

  ocupaTelaPrincipal();
  // Nothing is drawn yet: one transparent pixel takes the input.
  aplicaAlteracoes();

  tmrTelas_ = new QTimer(this);
  tmrTelas_->setSingleShot(true);
  tmrTelas_->setInterval(0);
  connect(tmrTelas_, &QTimer::timeout, this, &TfrmRentabilidade::TelasMudaram);
  for (QScreen* tela : QGuiApplication::screens()) vigiaTela(tela);
  connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* tela) {
    vigiaTela(tela);
    tmrTelas_->start();
  });
  connect(qGuiApp, &QGuiApplication::screenRemoved, tmrTelas_, qOverload<>(&QTimer::start));
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, tmrTelas_, qOverload<>(&QTimer::start));
}

void TfrmRentabilidade::vigiaTela(QScreen* tela) {
  connect(tela, &QScreen::geometryChanged, tmrTelas_, qOverload<>(&QTimer::start));
  connect(tela, &QScreen::logicalDotsPerInchChanged, tmrTelas_, qOverload<>(&QTimer::start));
}

void TfrmRentabilidade::ocupaTelaPrincipal() {
  const QScreen* tela = QGuiApplication::primaryScreen();
  const QRect area = tela != nullptr ? tela->geometry() : QRect(0, 0, 600, 400);
  if (geometry() != area) setGeometry(area);
}

void TfrmRentabilidade::TelasMudaram() {
  ocupaTelaPrincipal();
  if (Gadget_) executaEvento([this] { Gadget_->mantemNaTela(); });
}

void TfrmRentabilidade::FormActivate() {
  if (!Inic_ || !Inic_->IniciandoGadget()) return;
  desktop().EscondeBarraTarefa(this);
  Inic_->setIniciandoGadget(false);
  Gadget_ = std::make_unique<TRentabilidade>(this);
  Gadget_->setInicializacao(Inic_.get());
  Gadget_->setConfig(Inic_->getConfiguracao());
  Gadget_->setConexao(Inic_->getConexao());
  try {
    Gadget_->PosicionaGadGet();
  } catch (...) {
    // A saved position that is not a number: the gadget still shows, in its
    // default place, and refreshes.
    MostraErro(std::current_exception());
    Gadget_->rtgGadget->setPosition(
        PosicaoInicialGadget(nullptr, width(), static_cast<int>(Gadget_->rtgGadget->width())));
  }
  const QString captura = qEnvironmentVariable("MARGIVO_CAPTURA");
  if (!captura.isEmpty()) {
    connect(Gadget_.get(), &TGadget::atualizacaoConcluida, this, [this, captura] {
      ++capturas_;
      if (capturas_ == 1) {
        capturaTela(captura);
        return;
      }
      const QFileInfo primeira(captura);
      capturaTela(primeira.dir().filePath(QStringLiteral("%1-%2.%3")
                                              .arg(primeira.completeBaseName())
                                              .arg(capturas_)
                                              .arg(primeira.suffix())));
    });
  }
  Gadget_->Atualiza(Gadget_.get());
}

bool TfrmRentabilidade::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return TFormTransparente::event(event);
}

void TfrmRentabilidade::showEvent(QShowEvent* event) {
  TFormTransparente::showEvent(event);
  QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TfrmRentabilidade::closeEvent(QCloseEvent* event) {
  event->accept();
  QCoreApplication::quit();
}

void TfrmRentabilidade::capturaTela(const QString& arquivo) {
  // What the window shows now, as the screen shows it.
  aplicaAlteracoes();
  repaint();
  const QRect area = regiaoVisivel().boundingRect().adjusted(-4, -4, 4, 4).intersected(rect());
  QPixmap imagem;
  if (QScreen* tela = screen())
    imagem = tela->grabWindow(0, area.x() + x(), area.y() + y(), area.width(), area.height());
  if (imagem.isNull()) imagem = grab(area);
  if (imagem.save(arquivo, "PNG")) {
    std::printf("Captura: %s\n", qPrintable(arquivo));
  } else {
    std::fprintf(stderr, "Não foi possível gravar a captura %s\n", qPrintable(arquivo));
  }
  std::fflush(stdout);
}

}  // namespace margivo
