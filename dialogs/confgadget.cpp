#include "dialogs/confgadget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QSpinBox>
#include <QStyleOption>
#include <QStyleOptionSpinBox>
#include <algorithm>
#include <exception>
#include <iterator>
#include <memory>
#include <utility>

#include "dialogs/fontes.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/query.h"
#include "framework/gui/mensagens.h"
#include "framework/regional.h"

namespace margivo {

namespace {

// The opacity list, in the order of its items, as the percent the setting
// stores.
const QStringList kOpacidades = {QStringLiteral("100"), QStringLiteral("80"), QStringLiteral("60"),
                                 QStringLiteral("40"), QStringLiteral("20")};

// A whole number of the settings file; nullopt for an empty value. The file
// reader already strips blanks, but a value set in memory may still have them.
std::optional<int> Inteiro(const char* chave, const QString& valor) {
  const QString texto = valor.trimmed();
  if (texto.isEmpty()) return std::nullopt;
  bool ok = false;
  const int numero = texto.toInt(&ok, 10);
  if (!ok) {
    throw ConversionError(
        QStringLiteral("Configuração \"%1\": \"%2\" não é um número inteiro válido.")
            .arg(QLatin1String(chave), valor)
            .toStdString());
  }
  return numero;
}

}  // namespace

std::optional<int> PosicaoPeriodo(const QString& Periodo) {
  const auto numero = Inteiro("Periodo", Periodo);
  if (!numero) return std::nullopt;
  // A period outside the list keeps the dates of the file at every refresh;
  // showing it as one of the four would turn it into that one at the next save.
  return (*numero >= 0 && *numero <= 3) ? *numero : -1;
}

std::optional<int> PosicaoMostraPedidos(const QString& MostraPedidos) {
  const auto numero = Inteiro("MostraPedidos", MostraPedidos);
  if (!numero) return std::nullopt;
  // The order query counts every order for any value but "0" and "1".
  return (*numero == 0 || *numero == 1) ? *numero : 2;
}

std::optional<int> PosicaoOpacidade(const QString& Transparencia) {
  const auto numero = Inteiro("Transparencia", Transparencia);
  if (!numero) return std::nullopt;
  const int posicao = kOpacidades.indexOf(QString::number(*numero));
  if (posicao < 0) return std::nullopt;
  return posicao;
}

bool SempreVisivelMarcado(const QString& SempreVisivel) {
  return Inteiro("SempreVisivel", SempreVisivel) == 1;
}

std::optional<int> MinutosAtualizacao(const QString& AtualizaDados) {
  const auto numero = Inteiro("AtualizaDados", AtualizaDados);
  if (!numero) return std::nullopt;
  // Below 0 the program makes no periodic refresh, as at 0.
  return std::clamp(*numero, 0, kMaximoMinutosAtualizacao);
}

std::optional<int> PosicaoEmpresa(const QList<TFilial>& filiais, const QString& Empresa) {
  if (Empresa.isEmpty()) return std::nullopt;
  for (int i = 0; i < filiais.size(); ++i) {
    if (filiais[i].Codigo == Empresa) return i;
  }
  return std::nullopt;
}

std::optional<QString> PeriodoDaPosicao(int posicao) {
  if (posicao < 0) return std::nullopt;
  return QString::number(posicao);
}

QString MostraPedidosDaPosicao(int posicao) {
  return posicao < 0 ? QStringLiteral("0") : QString::number(posicao);
}

std::optional<QString> TransparenciaDaPosicao(int posicao) {
  if (posicao < 0 || posicao >= kOpacidades.size()) return std::nullopt;
  return kOpacidades[posicao];
}

QString SempreVisivelDoEstado(bool marcado) {
  return marcado ? QStringLiteral("1") : QStringLiteral("0");
}

QString AtualizaDadosDosMinutos(int minutos) {
  return QString::number(std::clamp(minutos, 0, kMaximoMinutosAtualizacao));
}

QString EmpresaDaPosicao(const QList<TFilial>& filiais, int posicao) {
  if (posicao < 0 || posicao >= filiais.size()) return QString();
  return filiais[posicao].Codigo;
}

QStringList CarregaEstado(const TConfig& config, bool arquivoExiste, const QList<TFilial>& filiais,
                          EstadoConfiguracao& estado) {
  QStringList erros;
  // Each setting on its own: one bad value must not leave the controls after
  // it unread, or the next save would overwrite their settings with the
  // controls' initial state.
  auto le = [&erros](auto&& passo, auto&& seErro) {
    try {
      passo();
    } catch (const ConversionError& e) {
      erros << QString::fromStdString(e.what());
      seErro();
    }
  };
  if (arquivoExiste) {
    if (const auto pos = PosicaoEmpresa(filiais, config.Empresa)) estado.Empresa = *pos;
    le(
        [&] {
          if (const auto pos = PosicaoPeriodo(config.Periodo)) estado.Periodo = *pos;
        },
        [] {});
    le(
        [&] {
          if (const auto pos = PosicaoOpacidade(config.Transparencia)) estado.Opacidade = *pos;
        },
        [] {});
    le([&] { estado.SempreVisivel = SempreVisivelMarcado(config.SempreVisivel); },
       [&] { estado.SempreVisivel = false; });
  }
  // The order query counts every order for a MostraPedidos that is not a
  // number, so "Todos os Pedidos" keeps its meaning.
  le(
      [&] {
        if (const auto pos = PosicaoMostraPedidos(config.MostraPedidos))
          estado.MostraPedidos = *pos;
      },
      [&] { estado.MostraPedidos = 2; });
  le(
      [&] {
        if (const auto minutos = MinutosAtualizacao(config.AtualizaDados))
          estado.AtualizaDados = *minutos;
      },
      [&] { estado.AtualizaDados = 1; });
  return erros;
}

void GravaEstado(const EstadoConfiguracao& estado, const QList<TFilial>& filiais, TConfig& config) {
  config.Empresa = EmpresaDaPosicao(filiais, estado.Empresa);
  if (const auto periodo = PeriodoDaPosicao(estado.Periodo)) config.Periodo = *periodo;
  if (const auto transparencia = TransparenciaDaPosicao(estado.Opacidade)) {
    config.Transparencia = *transparencia;
  }
  config.SempreVisivel = SempreVisivelDoEstado(estado.SempreVisivel);
  config.MostraPedidos = MostraPedidosDaPosicao(estado.MostraPedidos);
  config.AtualizaDados = AtualizaDadosDosMinutos(estado.AtualizaDados);
}

// ---------------------------------------------------------------------------

namespace {

// The dialog's dark look: the background picture is drawn by RConfig, the
// controls are light on dark.
const char* const kEstilo = R"(
QFrame#RConfig {
  border: none;
  border-radius: 6px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
                              stop:0 #4a4f55, stop:0.18 #2f3337, stop:1 #1c1e21);
}
QLabel { color: #e6e6e6; background: transparent; }
QLabel#Label1 { color: #ffffff; }
QFrame#Line1 { border: none; border-top: 1px solid #696969; background: transparent; }
QComboBox {
  color: #f0f0f0; background: #3b3f44; border: 1px solid #5a5f66; border-radius: 3px;
  padding: 0 4px;
}
QComboBox:hover { border-color: #41cbd3; }
QComboBox QAbstractItemView {
  color: #f0f0f0; background: #2b2e32; selection-background-color: #008b8b;
}
QSpinBox {
  color: #f0f0f0; background: #3b3f44; border: 1px solid #5a5f66; border-radius: 3px;
  padding: 0 0 0 2px;
}
QSpinBox:hover, QSpinBox:focus { border-color: #41cbd3; }
QSpinBox::up-button, QSpinBox::down-button {
  width: 16px; border: none; border-left: 1px solid #5a5f66; background: #45494f;
}
QSpinBox::up-button { subcontrol-origin: padding; subcontrol-position: top right; }
QSpinBox::down-button { subcontrol-origin: padding; subcontrol-position: bottom right; }
QSpinBox::up-button:hover, QSpinBox::down-button:hover { background: #008b8b; }
QCheckBox { color: #e6e6e6; background: transparent; }
QPushButton {
  color: #f0f0f0; background: #45494f; border: 1px solid #5a5f66; border-radius: 3px;
}
QPushButton:hover { background: #008b8b; border-color: #41cbd3; }
QPushButton:pressed { background: #006d6d; }
)";

// The check box's box, drawn here instead of by the platform's style: that
// one fills it with the window's colours, which on this dark background make
// an unchecked box vanish. A light outline on a dark fill; checked, dark cyan
// with a white tick. Drawn as shapes, so it stays sharp at any scale.
class EstiloCaixaMarcacao : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawPrimitive(PrimitiveElement elemento, const QStyleOption* opcao, QPainter* painter,
                     const QWidget* widget) const override {
    if (elemento != PE_IndicatorCheckBox) {
      QProxyStyle::drawPrimitive(elemento, opcao, painter, widget);
      return;
    }
    const bool marcado = opcao->state.testFlag(State_On);
    const bool sobMouse = opcao->state.testFlag(State_MouseOver);
    const bool ativo = opcao->state.testFlag(State_Enabled);
    const QRectF area = QRectF(opcao->rect).adjusted(1, 1, -1, -1);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QColor borda = sobMouse ? QColor(0x41, 0xCB, 0xD3) : QColor(0xC8, 0xCE, 0xD4);
    QColor fundo = marcado ? QColor(0x00, 0x8B, 0x8B) : QColor(0x2B, 0x2E, 0x32);
    if (!ativo) {
      borda = QColor(0x7A, 0x80, 0x86);
      if (marcado) fundo = QColor(0x3E, 0x6E, 0x6E);
    }
    painter->setPen(QPen(borda, 1.5));
    painter->setBrush(fundo);
    painter->drawRoundedRect(area.adjusted(0.25, 0.25, -0.25, -0.25), 2.5, 2.5);
    if (marcado) {
      QPainterPath tique;
      tique.moveTo(area.left() + area.width() * 0.22, area.top() + area.height() * 0.52);
      tique.lineTo(area.left() + area.width() * 0.42, area.top() + area.height() * 0.72);
      tique.lineTo(area.left() + area.width() * 0.78, area.top() + area.height() * 0.30);
      painter->setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter->setBrush(Qt::NoBrush);
      painter->drawPath(tique);
    }
    painter->restore();
  }
};

// The interval's box: the style sheet gives its buttons their dark look,
// but a style sheet draws arrows only from picture files; light arrows are
// drawn over the buttons here, as shapes.
class CaixaMinutos : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  void paintEvent(QPaintEvent* evento) override {
    QSpinBox::paintEvent(evento);
    QStyleOptionSpinBox opcao;
    initStyleOption(&opcao);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const auto seta = [&](QStyle::SubControl botao, bool ativa, bool paraCima) {
      const QRectF area(style()->subControlRect(QStyle::CC_SpinBox, &opcao, botao, this));
      if (area.isEmpty()) return;
      const QPointF c = area.center();
      const double meia = std::min(area.width() * 0.28, 4.5);
      const double altura = meia * 1.15;
      const double ponta = paraCima ? -altura / 2 : altura / 2;
      const QPointF pontos[] = {QPointF(c.x() - meia, c.y() - ponta),
                                QPointF(c.x() + meia, c.y() - ponta),
                                QPointF(c.x(), c.y() + ponta)};
      painter.setBrush(ativa && isEnabled() ? QColor(0xE6, 0xE6, 0xE6) : QColor(0x7A, 0x80, 0x86));
      painter.drawPolygon(pontos, 3);
    };
    seta(QStyle::SC_SpinBoxUp, opcao.stepEnabled.testFlag(StepUpEnabled), true);
    seta(QStyle::SC_SpinBoxDown, opcao.stepEnabled.testFlag(StepDownEnabled), false);
  }
};

QLabel* NovoLabel(QWidget* parent, const char* nome, const QString& texto, QRect geometria) {
  auto* label = new QLabel(texto, parent);
  label->setObjectName(QLatin1String(nome));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(geometria);
  detail::AplicaFonteQueCabe(*label, detail::Fonte(QStringLiteral("Segoe UI"), 12, true));
  return label;
}

QComboBox* NovaLista(QWidget* parent, const char* nome, const QStringList& itens, QRect geometria) {
  auto* lista = new QComboBox(parent);
  lista->setObjectName(QLatin1String(nome));
  lista->setGeometry(geometria);
  lista->addItems(itens);
  if (lista->count() > 0) lista->setCurrentIndex(0);
  return lista;
}

QPushButton* NovoBotao(QWidget* parent, const char* nome, const QString& texto, QRect geometria) {
  auto* botao = new QPushButton(texto, parent);
  botao->setObjectName(QLatin1String(nome));
  botao->setGeometry(geometria);
  // Enter presses the focused button, or "Salvar" (the default) when the
  // focus is on another control.
  botao->setAutoDefault(true);
  return botao;
}

}  // namespace

TFrmConfiguracao::TFrmConfiguracao(TConfig& config, TConexao& conexao, QWidget* parent,
                                   bool listarFiliais)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), config_(config), conexao_(conexao) {
  setObjectName(QStringLiteral("FrmConfiguracao"));
  setWindowTitle(QStringLiteral("Configurações"));
  setAttribute(Qt::WA_TranslucentBackground);
  setFixedSize(223, 279);
  setStyleSheet(QLatin1String(kEstilo));

  auto* RConfig = new QFrame(this);
  RConfig->setObjectName(QStringLiteral("RConfig"));
  RConfig->setGeometry(-3, -4, 229, 277);

  auto* Label1 = NovoLabel(RConfig, "Label1", QStringLiteral("Rentabilidade"), {8, 3, 217, 31});
  detail::AplicaFonteQueCabe(*Label1, detail::Fonte(QStringLiteral("Segoe UI Semibold"), 18, true));
  NovoLabel(RConfig, "Label2", QStringLiteral("Filial"), {15, 38, 120, 15});
  ppbEmpresas = NovaLista(RConfig, "ppbEmpresas", {}, {14, 53, 199, 21});
  auto* lblPerido = NovoLabel(RConfig, "lblPerido", QStringLiteral("Período"), {15, 76, 48, 19});
  lblPerido->adjustSize();
  ppbPeriodo = NovaLista(RConfig, "ppbPeriodo",
                         {QStringLiteral("Diário"), QStringLiteral("Semanal"),
                          QStringLiteral("Mensal"), QStringLiteral("Anual")},
                         {14, 92, 199, 21});
  auto* Line1 = new QFrame(RConfig);
  Line1->setObjectName(QStringLiteral("Line1"));
  Line1->setGeometry(14, 158, 199, 6);
  // Opacity and the refresh interval share a row.
  NovoLabel(RConfig, "lblOpacidade", QStringLiteral("Opacidade"), {15, 160, 95, 15});
  ppbOpacidade =
      NovaLista(RConfig, "ppbOpacidade",
                {QStringLiteral("100%"), QStringLiteral("  80%"), QStringLiteral("  60%"),
                 QStringLiteral("  40%"), QStringLiteral("  20%")},
                {14, 176, 95, 21});
  NovoLabel(RConfig, "lblAtualizaDados", QStringLiteral("Atualização"), {119, 160, 94, 15});
  spbAtualizaDados = new CaixaMinutos(RConfig);
  spbAtualizaDados->setObjectName(QStringLiteral("spbAtualizaDados"));
  spbAtualizaDados->setGeometry(118, 176, 95, 21);
  spbAtualizaDados->setRange(0, kMaximoMinutosAtualizacao);
  spbAtualizaDados->setSuffix(QStringLiteral(" min"));
  spbAtualizaDados->setSpecialValueText(QStringLiteral("Desligada"));
  spbAtualizaDados->setValue(1);  // the program's default when the file has none
  spbAtualizaDados->setToolTip(
      QStringLiteral("De quantos em quantos minutos os números são lidos de novo do banco "
                     "(0: só ao salvar)."));
  ckbSempreVisivel = new QCheckBox(QStringLiteral("Sempre Visível"), RConfig);
  ckbSempreVisivel->setObjectName(QStringLiteral("ckbSempreVisivel"));
  ckbSempreVisivel->setGeometry(13, 198, 120, 19);
  auto* estiloCaixa = new EstiloCaixaMarcacao;
  estiloCaixa->setParent(ckbSempreVisivel);
  ckbSempreVisivel->setStyle(estiloCaixa);
  btnSalvarConf = NovoBotao(RConfig, "btnSalvarConf", QStringLiteral("Salvar"), {31, 224, 80, 22});
  btnSalvarConf->setDefault(true);
  BtnCancelarConf =
      NovoBotao(RConfig, "BtnCancelarConf", QStringLiteral("Cancelar"), {118, 224, 80, 22});

  // These two sit on the dialog itself, above the background.
  auto* lblPedidos =
      NovoLabel(this, "lblPedidos", QStringLiteral("Considerar Pedidos"), {11, 112, 120, 15});
  ppbMostraPedidos =
      NovaLista(this, "ppbMostraPedidos",
                {QStringLiteral("Apenas Faturados"), QStringLiteral("Apenas Gravados"),
                 QStringLiteral("Todos os Pedidos")},
                {11, 126, 198, 21});
  lblPedidos->raise();
  ppbMostraPedidos->raise();

  connect(btnSalvarConf, &QPushButton::clicked, this, &TFrmConfiguracao::btnSalvarConfClick);
  connect(BtnCancelarConf, &QPushButton::clicked, this, &TFrmConfiguracao::BtnCancelarConfClick);

  // Tab goes through the controls top to bottom, left to right.
  QWidget* ordem[] = {ppbEmpresas,      ppbPeriodo,       ppbMostraPedidos, ppbOpacidade,
                      spbAtualizaDados, ckbSempreVisivel, btnSalvarConf,    BtnCancelarConf};
  for (std::size_t i = 1; i < std::size(ordem); ++i) setTabOrder(ordem[i - 1], ordem[i]);

  FormCreate(listarFiliais);
}

TFrmConfiguracao::~TFrmConfiguracao() {
  if (salvamentoPendente_) QApplication::restoreOverrideCursor();
}

void TFrmConfiguracao::CriaQueryBusca() {
  qryBusca = std::make_unique<Query>(conexao_.getBancoDados());
  qryBusca->setTransaction(conexao_.getTransaction());
}

void TFrmConfiguracao::CarregaEmpresas() {
  // The branch list is one look-up: in local mode the file is held only
  // while it runs. The rows stay in the dialog.
  const ScopedAttachment emUso(conexao_);
  qryBusca->close();
  qryBusca->setDatabase(conexao_.getBancoDados());
  qryBusca->setTransaction(conexao_.getTransaction());
  qryBusca->sql().clear();
  qryBusca->sql() << QStringLiteral("SELECT CODEMPRESA, NOMEEMPRESA FROM FILIAIS")
                  << QStringLiteral("WHERE FILIALATIVA <> 'N'                 ");
  qryBusca->open();
  filiais_.clear();
  ppbEmpresas->clear();
  for (qryBusca->first(); !qryBusca->eof(); qryBusca->next()) {
    TFilial filial{qryBusca->fieldByName(QStringLiteral("CODEMPRESA")).asString(),
                   qryBusca->fieldByName(QStringLiteral("NOMEEMPRESA")).asString()};
    ppbEmpresas->addItem(filial.Nome, filial.Codigo);
    filiais_.append(std::move(filial));
  }
  qryBusca->close();
  if (ppbEmpresas->count() > 0) ppbEmpresas->setCurrentIndex(0);
}

void TFrmConfiguracao::FormCreate(bool listarFiliais) {
  CriaQueryBusca();
  if (listarFiliais) {
    CarregaEmpresas();
    filiaisListadas_ = true;
  } else {
    ppbEmpresas->addItem(QStringLiteral("Carregando filiais…"));
    ppbEmpresas->setEnabled(false);
  }
  EstadoConfiguracao inicial = estado();
  const QStringList erros =
      CarregaEstado(config_, QFile::exists(config_.arquivo()), filiais_, inicial);
  setEstado(inicial);
  if (!erros.isEmpty()) MostraMensagem(TipoMensagem::Erro, erros.join(QLatin1Char('\n')));
}

void TFrmConfiguracao::ListaFiliais() {
  CarregaEmpresas();
  filiaisListadas_ = true;
  ppbEmpresas->setEnabled(true);
  if (!QFile::exists(config_.arquivo())) return;
  if (const auto pos = PosicaoEmpresa(filiais_, config_.Empresa))
    ppbEmpresas->setCurrentIndex(*pos);
}

void TFrmConfiguracao::AdicionaGadget(std::function<void()> IniciarGadget,
                                      AposAtualizacao aposAtualizacao) {
  IniciarGadget_ = std::move(IniciarGadget);
  aposAtualizacao_ = std::move(aposAtualizacao);
}

void TFrmConfiguracao::Posiciona(const GeometriaGadget& geometria) {
  PosicionaSobreGadget(*this, geometria);
}

EstadoConfiguracao TFrmConfiguracao::estado() const {
  EstadoConfiguracao e;
  e.Empresa = ppbEmpresas->currentIndex();
  e.Periodo = ppbPeriodo->currentIndex();
  e.MostraPedidos = ppbMostraPedidos->currentIndex();
  e.Opacidade = ppbOpacidade->currentIndex();
  e.AtualizaDados = spbAtualizaDados->value();
  e.SempreVisivel = ckbSempreVisivel->isChecked();
  return e;
}

void TFrmConfiguracao::setEstado(const EstadoConfiguracao& e) {
  // Until the branches are listed the list holds only its loading text.
  if (filiaisListadas_) ppbEmpresas->setCurrentIndex(e.Empresa);
  ppbPeriodo->setCurrentIndex(e.Periodo);
  ppbMostraPedidos->setCurrentIndex(e.MostraPedidos);
  ppbOpacidade->setCurrentIndex(e.Opacidade);
  spbAtualizaDados->setValue(e.AtualizaDados);
  ckbSempreVisivel->setChecked(e.SempreVisivel);
}

void TFrmConfiguracao::btnSalvarConfClick() {
  if (salvamentoPendente_) return;
  if (!aposAtualizacao_) {
    salva(estado());
    return;
  }
  // The reconnection and the refresh of a save must not meet a refresh at
  // work on the same connection, and the branches may still be unlisted:
  // the save waits for the refresh's end. Meanwhile the dialog takes no
  // input, so what is saved is what the user saw when pressing "Salvar".
  salvamentoPendente_ = true;
  QPointer<TFrmConfiguracao> dialogo(this);
  aposAtualizacao_([dialogo] {
    if (dialogo.isNull()) return;
    dialogo->fimDaEspera();
    // A branch list that failed closed the dialog: nothing to save.
    if (dialogo->filiaisListadas_) dialogo->salva(dialogo->estado());
  });
  if (salvamentoPendente_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setEnabled(false);
  }
}

void TFrmConfiguracao::fimDaEspera() {
  if (!salvamentoPendente_) return;
  salvamentoPendente_ = false;
  if (!isEnabled()) {
    setEnabled(true);
    QApplication::restoreOverrideCursor();
  }
}

void TFrmConfiguracao::salva(const EstadoConfiguracao& escolhido) {
  // The settings in memory change only together with the file: when the file
  // cannot be written the gadget keeps running on what the file holds, and the
  // dialog stays open with the user's choices so they can try again.
  const TConfig anterior = config_;
  GravaEstado(escolhido, filiais_, config_);
  try {
    config_.SalvarIni();
  } catch (...) {
    config_.Empresa = anterior.Empresa;
    config_.Periodo = anterior.Periodo;
    config_.Transparencia = anterior.Transparencia;
    config_.SempreVisivel = anterior.SempreVisivel;
    config_.MostraPedidos = anterior.MostraPedidos;
    config_.AtualizaDados = anterior.AtualizaDados;
    MostraErro(std::current_exception());
    return;
  }

  // A new attachment, so that the refresh sees the database as it is now. The
  // branch list was read on the old one; its rows stay in the dialog.
  qryBusca->close();
  try {
    conexao_.conectarBanco();
  } catch (const DatabaseError&) {
    // Not reported here: the refresh that follows finds the connection down,
    // connects again and reports why it cannot.
  }

  if (IniciarGadget_) {
    try {
      IniciarGadget_();
    } catch (...) {
      MostraErro(std::current_exception());
      return;
    }
  }
  accept();
}

void TFrmConfiguracao::BtnCancelarConfClick() { reject(); }

// ---------------------------------------------------------------------------

namespace {
QPointer<TFrmConfiguracao> gFrmConfiguracao;
}  // namespace

TFrmConfiguracao* FrmConfiguracao() { return gFrmConfiguracao.data(); }

void AbreConfiguracao(TConfig& config, TConexao& conexao, QWidget* host,
                      const GeometriaGadget& geometria, std::function<void()> IniciarGadget,
                      TFrmConfiguracao::AposAtualizacao aposAtualizacao) {
  if (gFrmConfiguracao.isNull()) {
    try {
      gFrmConfiguracao = new TFrmConfiguracao(config, conexao, host, !aposAtualizacao);
    } catch (...) {
      MostraErro(std::current_exception());
      return;
    }
    if (aposAtualizacao) {
      // The branches are read through the connection: now, or when the
      // refresh at work ends, with the dialog already open.
      QPointer<TFrmConfiguracao> dialogo = gFrmConfiguracao;
      auto executada = std::make_shared<bool>(false);
      aposAtualizacao([dialogo, executada] {
        *executada = true;
        if (dialogo.isNull()) return;
        try {
          dialogo->ListaFiliais();
        } catch (...) {
          dialogo->reject();
          MostraErro(std::current_exception());
        }
      });
      if (*executada && !gFrmConfiguracao->filiaisListadas()) {
        delete gFrmConfiguracao.data();
        return;
      }
    }
  }
  gFrmConfiguracao->AdicionaGadget(std::move(IniciarGadget), std::move(aposAtualizacao));
  gFrmConfiguracao->Posiciona(geometria);
  gFrmConfiguracao->exec();
  // A dialog whose branches were never listed (closed before the refresh
  // ended, or the list could not be read) is not kept: the next opening
  // starts afresh.
  if (!gFrmConfiguracao.isNull() && !gFrmConfiguracao->filiaisListadas())
    delete gFrmConfiguracao.data();
}

}  // namespace margivo
