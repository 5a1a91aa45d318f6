#include "framework/gui/gadget.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <cmath>
#include <typeinfo>
#include <utility>

#include "desktop/desktop.h"
#include "framework/config.h"
#include "framework/gui/imagensicones.h"
#include "framework/gui/inicializacao.h"
#include "framework/gui/mensagens.h"
#include "framework/gui/posicao.h"
#include "framework/regional.h"
#include "framework/shutdown.h"

namespace margivo {

// ---------------------------------------------------------------------------
// Placement

namespace {

int CoordenadaSalva(const TConfig& config, const char* chave, const QString& valor) {
  bool ok = false;
  const int n = valor.toInt(&ok, 10);
  if (!ok)
    throw ConversionError(
        QStringLiteral("Valor inválido da chave \"%1\" em %2: \"%3\" não é um número inteiro.")
            .arg(QLatin1String(chave), config.arquivo(), valor)
            .toStdString());
  return n;
}

int LarguraDaTela() {
  const QScreen* tela = QGuiApplication::primaryScreen();
  return tela != nullptr ? tela->geometry().width() : 0;
}

}  // namespace

QPoint PosicaoInicialGadget(const TConfig* config, int larguraTela, int larguraGadget) {
  if (config != nullptr && !config->PosX.isEmpty() && !config->PosY.isEmpty())
    return {CoordenadaSalva(*config, "PosX", config->PosX),
            CoordenadaSalva(*config, "PosY", config->PosY)};
  return {larguraTela - larguraGadget, 20};
}

// ---------------------------------------------------------------------------
// TIndicadorOcupado

TIndicadorOcupado::TIndicadorOcupado(TElemento* pai) : TElemento(pai) {
  setSize(16, 16);
  setHitTest(false);
}

void TIndicadorOcupado::avanca() {
  passo_ = (passo_ + 1) % 12;
  alterado();
}

void TIndicadorOcupado::desenha(QPainter& painter) const {
  painter.save();
  const QRectF area = QRectF(0, 0, width(), height()).adjusted(2, 2, -2, -2);
  painter.setPen(QPen(QColor(0, 0x8B, 0x8B, 60), 2.5));
  painter.drawEllipse(area);
  painter.setPen(QPen(QColor(0, 0x8B, 0x8B), 2.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawArc(area, -passo_ * 30 * 16, 100 * 16);
  painter.restore();
}

// ---------------------------------------------------------------------------
// TIndicadorFalha

TIndicadorFalha::TIndicadorFalha(TElemento* pai) : TElemento(pai) { setSize(13, 13); }

QPainterPath TIndicadorFalha::forma() const {
  QPainterPath caminho;
  caminho.addEllipse(QRectF(0, 0, width(), height()));
  return caminho;
}

void TIndicadorFalha::desenha(QPainter& painter) const {
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xC6, 0x28, 0x28));
  painter.drawEllipse(QRectF(0, 0, width(), height()));
  // The "!" as two strokes, so it needs no font.
  const double cx = width() / 2;
  painter.setPen(QPen(Qt::white, std::max(1.5, width() / 7), Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(cx, height() * 0.22), QPointF(cx, height() * 0.58));
  painter.drawPoint(QPointF(cx, height() * 0.78));
  painter.restore();
}

// ---------------------------------------------------------------------------
// TGadget

TGadget::TGadget(TFormTransparente* AOwner) : frmPrincipal(AOwner) {
  rtgGadget = new TRectangle(AOwner);
  rtgGadget->setObjectName(QStringLiteral("rtgGadget"));
  rtgGadget->setSize(600, 200);
  rtgGadget->setFillColor(Qt::transparent);
  rtgGadget->setStrokeColor(Qt::transparent);

  rtgMenu = new TRectangle(rtgGadget);
  rtgMenu->setObjectName(QStringLiteral("rtgMenu"));
  rtgMenu->setSize(23, 110);
  rtgMenu->setPosition({570, 0});
  rtgMenu->setFillColor(Qt::transparent);
  rtgMenu->setStrokeColor(Qt::transparent);
  rtgMenu->setVisible(false);

  const TImagensIcones& imagens = ImagensIcones();
  const auto botao = [this](const char* nome, double y, const QPixmap& icone) {
    auto* b = new TRectangle(rtgMenu);
    b->setObjectName(QString::fromLatin1(nome));
    b->setSize(23, 23);
    b->setPosition({0, y});
    b->setFillBitmap(icone, true);
    b->setStrokeNone();
    b->OnMouseEnter = [this](QObject* s) { RFecharMouseEnter(s); };
    b->OnMouseLeave = [this](QObject* s) { RFecharMouseLeave(s); };
    return b;
  };
  rtgFechar = botao("rtgFechar", 0, imagens.imgIcoFechar);
  rtgFechar->setHint(QStringLiteral("Fecha o gadget; ele deixa de iniciar com o sistema."));
  rtgFechar->OnClick = [this](QObject* s) { RFecharClick(s); };
  rtgMax = botao("rtgMax", 21, imagens.imgIcoMax);
  rtgMax->setHint(QStringLiteral("Maximiza o gadget."));
  rtgMax->OnClick = [this](QObject* s) { RMaximizarClick(s); };
  rtgMin = botao("rtgMin", 21, imagens.imgIcoMin);
  rtgMin->setHint(QStringLiteral("Minimiza o gadget."));
  rtgMin->setVisible(false);
  rtgMin->OnClick = [this](QObject* s) { RMinimizarClick(s); };
  rtgConfig = botao("rtgConfig", 42, imagens.imgIcoConfig);
  rtgConfig->setHint(
      QStringLiteral("Abre as configurações do gadget: filial, período, pedidos e aparência."));
  rtgConfig->OnClick = [this](QObject* s) { RConfClick(s); };
  rtgAbout = botao("rtgAbout", 63, imagens.imgIcoAbout);
  rtgAbout->setHint(QStringLiteral("Mostra a versão e o que o gadget calcula."));
  rtgAbout->OnClick = [this](QObject* s) { RAboutClick(s); };
  rtgMover = botao("rtgMover", 84, imagens.imgIcoMover);
  rtgMover->setHint(QStringLiteral("Arraste para mudar o gadget de lugar."));
  rtgMover->OnMouseDown = [this](QObject* s, const TEventoMouse& e) { RMoverMouseDown(s, e); };
  rtgMover->OnMouseMove = [this](QObject* s, const TEventoMouse& e) { RMoverMouseMove(s, e); };
  rtgMover->OnMouseUp = [this](QObject* s, const TEventoMouse& e) { RMoverMouseUp(s, e); };

  imgOcupado = new TIndicadorOcupado(rtgGadget);
  imgOcupado->setObjectName(QStringLiteral("imgOcupado"));
  imgOcupado->setVisible(false);

  tmrEscMenu = new QTimer(this);
  tmrEscMenu->setObjectName(QStringLiteral("tmrEscMenu"));
  tmrEscMenu->setInterval(TEstadoMenu::kEsperaMs);
  connect(tmrEscMenu, &QTimer::timeout, this, [this] { tmrEscMenuTimer(); });

  tmrPrincipal = new QTimer(this);
  tmrPrincipal->setObjectName(QStringLiteral("tmrPrincipal"));
  tmrPrincipal->setInterval(1000);
  connect(tmrPrincipal, &QTimer::timeout, this, [this] { ticPrincipal(); });

  tmrFade_ = new QTimer(this);
  tmrFade_->setInterval(TEstadoMenu::kIntervaloPassoMs);
  connect(tmrFade_, &QTimer::timeout, this, [this] {
    estadoMenu_.PassoFade();
    aplicaEstadoMenu();
  });

  tmrIndicador_ = new QTimer(this);
  tmrIndicador_->setSingleShot(true);
  tmrIndicador_->setInterval(kAtrasoIndicadorMs);
  connect(tmrIndicador_, &QTimer::timeout, this, [this] { mostraIndicador(); });
  tmrAnimacao_ = new QTimer(this);
  tmrAnimacao_->setInterval(80);
  connect(tmrAnimacao_, &QTimer::timeout, imgOcupado, &TIndicadorOcupado::avanca);
}

TGadget::~TGadget() {
  EncerraTrabalho();
  delete menu_;
}

void TGadget::RFecharClick(QObject*) {
  // The close goes on whatever fails on its way, each failure reported: a
  // close button that does not close would leave a gadget nobody can end.
  try {
    desktop().IniciarComWindows(getTitulo(), false);
  } catch (...) {
    MostraErro(std::current_exception());
  }
  desktop().DestroiIcone();
  if (FConfig != nullptr) {
    FConfig->IniWindows = QStringLiteral("0");
    try {
      FConfig->SalvarIni();
    } catch (...) {
      MostraErro(std::current_exception());
    }
  }
  frmPrincipal->close();
}

void TGadget::opacidadeDasFaces(double opacidade) {
  // The faces are the plain rectangles right on the panel; the strip keeps
  // its own opacity.
  for (TElemento* e : rtgGadget->elementos())
    if (typeid(*e) == typeid(TRectangle) && e->objectName() != QLatin1String("rtgMenu"))
      e->setOpacity(opacidade);
}

void TGadget::RFecharMouseEnter(QObject*) {
  estadoMenu_.Entrou();
  aplicaEstadoMenu();
  opacidadeDasFaces(1);
}

void TGadget::RFecharMouseLeave(QObject*) {
  estadoMenu_.Saiu(Capturar);
  aplicaEstadoMenu();
  opacidadeDasFaces(OpacidadeForaDoMouse(FConfig != nullptr ? FConfig->Transparencia : QString()));
}

void TGadget::tmrEscMenuTimer() {
  tmrEscMenu->stop();
  estadoMenu_.FimDaEspera();
  aplicaEstadoMenu();
}

void TGadget::aplicaEstadoMenu() {
  rtgMenu->setVisible(estadoMenu_.menuVisivel());
  rtgMenu->setOpacity(estadoMenu_.opacidadeMenu());
  if (estadoMenu_.esperaPendente()) {
    if (!tmrEscMenu->isActive()) tmrEscMenu->start();
  } else {
    tmrEscMenu->stop();
  }
  if (estadoMenu_.fase() == TEstadoMenu::Fase::Esmaecendo) {
    if (!tmrFade_->isActive()) tmrFade_->start();
  } else {
    tmrFade_->stop();
  }
}

void TGadget::RMaximizarClick(QObject*) {
  rtgMin->setVisible(true);
  rtgMax->setVisible(false);
}

void TGadget::RMinimizarClick(QObject*) {
  rtgMin->setVisible(false);
  rtgMax->setVisible(true);
}

void TGadget::RConfClick(QObject*) {}
void TGadget::RAboutClick(QObject*) {}
void TGadget::IniciarGadget(QObject*) {}

void TGadget::RMoverMouseDown(QObject*, const TEventoMouse& evento) {
  if (!evento.botoes.testFlag(Qt::LeftButton)) return;
  Capturar = true;
  tmrPrincipal->stop();
  PosIniObjeto = QPoint(static_cast<int>(std::trunc(rtgGadget->x())),
                        static_cast<int>(std::trunc(rtgGadget->y())));
  MouseDownInic = evento.posicaoTela.toPoint();
  MouseDownAtu = MouseDownInic;
}

void TGadget::RMoverMouseMove(QObject*, const TEventoMouse& evento) {
  MouseDownAtu = evento.posicaoTela.toPoint();
  if (Capturar) rtgGadget->setPosition(MouseDownAtu + PosIniObjeto - MouseDownInic);
}

void TGadget::RMoverMouseUp(QObject*, const TEventoMouse&) {
  Capturar = false;
  if (intervalo_ > 0) tmrPrincipal->start();
  if (FConfig == nullptr) return;
  if (!mantemNaTela()) salvaPosicao();
}

void TGadget::salvaPosicao() {
  FConfig->PosX = QString::number(static_cast<long long>(std::trunc(rtgGadget->x())));
  FConfig->PosY = QString::number(static_cast<long long>(std::trunc(rtgGadget->y())));
  FConfig->SalvarIni();
}

bool TGadget::mantemNaTela() {
  // Form and screens in screen pixels; the panel's position is the form's.
  const QPoint origem = frmPrincipal->mapToGlobal(QPoint(0, 0));
  const QRect painel(QPoint(static_cast<int>(std::trunc(rtgGadget->x())),
                            static_cast<int>(std::trunc(rtgGadget->y()))) +
                         origem,
                     rtgGadget->size().toSize());
  const QPoint destino = PosicaoDentroDasTelas(painel, TelasDaJanela(*frmPrincipal));
  if (destino == painel.topLeft()) return false;
  rtgGadget->setPosition(destino - origem);
  if (FConfig != nullptr) salvaPosicao();
  return true;
}

void TGadget::setInformacoes(const QString& Titulo, const QString& Versao, const QString& RelCons,
                             const QString& Desc) {
  FTitulo = Titulo;
  FVersao = Versao;
  FRelCons = RelCons;
  FDescricao = Desc;
}

QString TGadget::getTitulo() const {
  return FTitulo.isEmpty() ? QString::fromLatin1(kTituloPadrao) : FTitulo;
}

QString TGadget::getVersao() const {
  return FVersao.isEmpty() ? QString::fromLatin1(kVersaoPadrao) : FVersao;
}

void TGadget::PosicionaGadGet() {
  rtgGadget->setPosition(
      PosicaoInicialGadget(FConfig, LarguraDaTela(), static_cast<int>(rtgGadget->width())));
  // A position saved on a monitor that is gone, or at a larger resolution.
  mantemNaTela();
}

void TGadget::AjustaGadget(TElemento* RectBase, bool RetiraMaxMin_) {
  rtgGadget->setSize(rtgMenu->width() + RectBase->width() + 10, RectBase->height() + 10);
  RectBase->setPosition({0, 0});
  rtgMenu->setPosition({RectBase->width() + 5, 0});
  if (RetiraMaxMin_) RetiraMaxMin();
}

void TGadget::RetiraMaxMin() {
  rtgMax->setVisible(false);
  rtgMin->setVisible(false);
  const double subida = rtgMax->height() - 2;
  for (TRectangle* b : {rtgConfig, rtgAbout, rtgMover}) b->setY(b->y() - subida);
}

void TGadget::AssociaEventosComuns(TElemento* Rectang) {
  Rectang->OnMouseDown = [this](QObject* s, const TEventoMouse& e) { RMoverMouseDown(s, e); };
  Rectang->OnMouseMove = [this](QObject* s, const TEventoMouse& e) { RMoverMouseMove(s, e); };
  Rectang->OnMouseUp = [this](QObject* s, const TEventoMouse& e) { RMoverMouseUp(s, e); };
  Rectang->OnMouseEnter = [this](QObject* s) { RFecharMouseEnter(s); };
  Rectang->OnMouseLeave = [this](QObject* s) { RFecharMouseLeave(s); };
  Rectang->OnDblClick = [this](QObject* s) { atualizarAgora(s, QCursor::pos()); };
  Rectang->OnContextPopup = [this](QObject*, const QPoint& p) { abreMenuContexto(p); };
  for (TElemento* filho : Rectang->elementos()) AssociaEventosComuns(filho);
}

// ---------------------------------------------------------------------------
// Context menu

QMenu* TGadget::menuContexto() {
  if (menu_ != nullptr) return menu_;
  menu_ = new QMenu();
  menu_->setObjectName(QStringLiteral("menuContexto"));
  // Each entry runs as the strip's buttons do: an error ends in one box.
  const auto entrada = [this](const char* texto, std::function<void()> acao) {
    QAction* a = menu_->addAction(QString::fromUtf8(texto));
    connect(a, &QAction::triggered, this,
            [this, acao = std::move(acao)] { frmPrincipal->executaEvento(acao); });
    return a;
  };
  acaoAtualizar_ = entrada(kMenuAtualizar, [this] { atualizarAgora(this, QCursor::pos()); });
  menu_->addSeparator();
  entrada(kMenuConfiguracoes, [this] { RConfClick(rtgConfig); });
  entrada(kMenuSobre, [this] { RAboutClick(rtgAbout); });
  menu_->addSeparator();
  entrada(kMenuFechar, [this] { RFecharClick(rtgFechar); });
  return menu_;
}

void TGadget::abreMenuContexto(const QPoint& posicaoTela) {
  QMenu* menu = menuContexto();
  const bool ocupado = atualizando();
  acaoAtualizar_->setEnabled(!ocupado);
  acaoAtualizar_->setText(QString::fromUtf8(ocupado ? kMenuAtualizando : kMenuAtualizar));
  menu->popup(posicaoTela);
}

void TGadget::atualizarAgora(QObject* Sender, const QPoint& posicaoTela) {
  if (atualizando()) {
    QToolTip::showText(posicaoTela, QString::fromUtf8(kAtualizacaoEmAndamento));
    return;
  }
  Atualiza(Sender);
}

// ---------------------------------------------------------------------------
// Refresh

void TGadget::ticPrincipal() { Atualiza(tmrPrincipal); }

void TGadget::Atualiza(QObject* Sender) {
  if (shutdownRequested()) return;
  // A tick while a refresh works, its error is on the screen or a dialog
  // that uses the connection is open does nothing: the next tick comes.
  if (Sender == tmrPrincipal && (atualizando() || mostrandoErro_ || dialogosAbertos_ > 0)) return;
  if (atualizando()) {
    // Asked for explicitly while another runs: once more at its end.
    atualizacaoPendente_ = true;
    senderPendente_ = Sender;
    return;
  }
  inicioAtualizacao_ = QDateTime::currentDateTime();
  bool falhou = false;
  try {
    IniciarGadget(Sender);
  } catch (...) {
    falhou = true;
    ReportaErro(std::current_exception());
  }
  if (!atualizando()) {
    if (!falhou) registraSucesso();
    emit atualizacaoConcluida();
  }
}

MensagemErro TGadget::descreveErro(std::exception_ptr erro) const {
  return margivo::descreveErro(erro, FConfig);
}

void TGadget::registraSucesso() {
  estado_.ultimoSucesso = inicioAtualizacao_;
  estado_.falhou = false;
  estado_.ultimaFalha = QDateTime();
  estado_.erro = MensagemErro{};
  estadoAtualizacaoMudou();
}

void TGadget::ReportaErro(std::exception_ptr erro) {
  // The program is ending: nobody is there to read it.
  if (shutdownRequested()) return;
  MensagemErro mensagem = descreveErro(erro);
  // The same failure again (a bad order stays bad until someone mends it):
  // the face already says so, a box each minute would only nag.
  const bool repetida = estado_.falhou && estado_.erro.texto == mensagem.texto;
  estado_.falhou = true;
  estado_.ultimaFalha = inicioAtualizacao_;
  estado_.erro = std::move(mensagem);
  estadoAtualizacaoMudou();
  if (repetida) return;
  mostrandoErro_ = true;
  mostraErro(estado_.erro);
  mostrandoErro_ = false;
}

void TGadget::defineIntervalo(int ms) {
  intervalo_ = ms;
  if (ms <= 0) {
    tmrPrincipal->stop();
    return;
  }
  if (tmrPrincipal->interval() != ms) tmrPrincipal->setInterval(ms);
  // From the first refresh on; a drag restarts it at its end.
  if (!Capturar && !tmrPrincipal->isActive()) tmrPrincipal->start();
}

void TGadget::IniciaTrabalho(Trabalho trabalho, Conclusao conclusao,
                             std::function<void()> interrupt) {
  cancelar_ = false;
  trabalhoTerminado_.store(false, std::memory_order_relaxed);
  erroTrabalho_ = nullptr;
  conclusao_ = std::move(conclusao);
  interrupt_ = std::move(interrupt);
  thread_ = QThread::create([this, trabalho = std::move(trabalho)] {
    try {
      trabalho(cancelar_);
    } catch (...) {
      erroTrabalho_ = std::current_exception();
    }
    trabalhoTerminado_.store(true, std::memory_order_release);
  });
  thread_->setObjectName(QStringLiteral("Atualizacao"));
  connect(thread_, &QThread::finished, this, &TGadget::fimDoTrabalho, Qt::QueuedConnection);
  tmrIndicador_->start();
  thread_->start();
}

void TGadget::mostraIndicador() {
  if (!atualizando()) return;
  imgOcupado->setVisible(true);
  tmrAnimacao_->start();
}

void TGadget::esperaTrabalho() noexcept {
  thread_->wait();
  // The work's last store: everything the worker wrote (its results, its
  // error, its last look at the gadget) is ordered before what this thread
  // does next by our own release and acquire, not only by QThread's
  // internals.
  const bool terminou = trabalhoTerminado_.load(std::memory_order_acquire);
  Q_ASSERT(terminou);
  Q_UNUSED(terminou);
  delete thread_;
  thread_ = nullptr;
}

void TGadget::fimDoTrabalho() {
  if (thread_ == nullptr) return;
  esperaTrabalho();
  tmrIndicador_->stop();
  tmrAnimacao_->stop();
  imgOcupado->setVisible(false);

  interrupt_ = nullptr;
  const Conclusao conclusao = std::exchange(conclusao_, nullptr);
  const std::exception_ptr erro = std::exchange(erroTrabalho_, nullptr);
  bool falhou = false;
  try {
    if (conclusao) conclusao(erro);
  } catch (...) {
    falhou = true;
    ReportaErro(std::current_exception());
  }
  if (!falhou) registraSucesso();
  emit atualizacaoConcluida();

  if (shutdownRequested()) {
    aposTrabalho_.clear();
    atualizacaoPendente_ = false;
    return;
  }
  // Whatever waited for the work, in the order it was asked for, then a
  // refresh asked for meanwhile. Each may start new work: what is left then
  // waits for that.
  while (!aposTrabalho_.empty() && !atualizando()) {
    const auto acao = aposTrabalho_.front();
    aposTrabalho_.erase(aposTrabalho_.begin());
    frmPrincipal->executaEvento(acao);
  }
  if (atualizacaoPendente_ && !atualizando()) {
    atualizacaoPendente_ = false;
    Atualiza(std::exchange(senderPendente_, nullptr));
  }
}

void TGadget::AposTrabalho(std::function<void()> acao) {
  if (!atualizando()) {
    acao();
    return;
  }
  aposTrabalho_.push_back(std::move(acao));
}

void TGadget::EncerraTrabalho() noexcept {
  if (thread_ == nullptr) return;
  cancelar_ = true;
  // The work sees `cancelar` between its steps; a step inside the database
  // ends only when interrupted, and an interruption that falls between two
  // statements stops nothing: interrupt until the work is over.
  for (;;) {
    if (interrupt_) interrupt_();
    if (thread_->wait(QDeadlineTimer(kInterruptIntervalMs))) break;
  }
  esperaTrabalho();
  conclusao_ = nullptr;
  interrupt_ = nullptr;
  erroTrabalho_ = nullptr;
}

// ---------------------------------------------------------------------------
// TGadgetSimples

TGadgetSimples::TGadgetSimples(TFormTransparente* AOwner) : TGadget(AOwner) {
  rtgPrincipal = new TRectangle(rtgGadget);
  rtgPrincipal->setObjectName(QStringLiteral("rtgPrincipal"));
  // The busy sign shows on the face.
  imgOcupado->trazParaFrente();
}

GeometriaGadget TGadgetSimples::geometria() const {
  const QPoint painel(static_cast<int>(std::trunc(rtgGadget->x())),
                      static_cast<int>(std::trunc(rtgGadget->y())));
  const QRect face(static_cast<int>(rtgPrincipal->x()), static_cast<int>(rtgPrincipal->y()),
                   static_cast<int>(rtgPrincipal->width()),
                   static_cast<int>(rtgPrincipal->height()));
  return {frmPrincipal->mapToGlobal(painel), face};
}

void TGadgetSimples::IniciarGadget(QObject* Sender) {
  TGadget::IniciarGadget(Sender);
  if (FConfig == nullptr) return;
  defineIntervalo(IntervaloAtualizacaoMs(FConfig->AtualizaDados, FConfig->arquivo()));
  rtgPrincipal->setOpacity(OpacidadeConfigurada(FConfig->Transparencia, FConfig->arquivo()));
  desktop().setAlwaysOnTop(frmPrincipal, FConfig->SempreVisivel == QLatin1String("1"));
  desktop().CriaIcone(frmPrincipal, getTitulo());
  if (FIni != nullptr && !FIni->IniciandoGadget()) desktop().EscondeBarraTarefa(frmPrincipal);
}

}  // namespace margivo
