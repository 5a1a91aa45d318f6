#include "gadget/rentabilidade.h"

#include <QColor>
#include <QDateTime>
#include <QFontMetricsF>
#include <exception>
#include <memory>
#include <utility>

#include "desktop/desktop.h"
#include "dialogs/about.h"
#include "dialogs/confgadget.h"
#include "engine/dmrent.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/gui/imagensicones.h"
#include "framework/gui/mensagens.h"
#include "gadget/atualizacao.h"
#include "gadget/errosatualizacao.h"
#include "gadget/identidade.h"
#include "gadget/incremental.h"

namespace margivo {
namespace {

QColor Argb(quint32 argb) { return QColor::fromRgba(argb); }

const QColor kCinzaEscuro = Argb(0xFF696969);  // the blocks
const QColor kCianoEscuro = Argb(0xFF008B8B);  // the totals band
// The rim of the dark-cyan lines: the light grey at the top of the face.
const QColor kHaloLinhas = Argb(0xFFE5E5E5);
// The least opacity of the dark-cyan lines: they are drawn whole, rim and
// letters, however translucent the face; and the opacity of the figures of
// a refresh that failed since.
constexpr double kOpacidadeMinimaLinhas = 1.0;
constexpr double kOpacidadeFigurasAntigas = 0.45;

// What each figure is, for its title's and its value's tooltip, in the
// order of the value labels.
constexpr const char* kExplicacoes[8] = {
    "Venda: valor líquido dos pedidos do período, já com os descontos, em reais.",
    "Custo: custo total das vendas do período (aquisição, comissões, impostos, custo do prazo "
    "de pagamento e tarifas), em reais.",
    "Aquisição: custo de aquisição das mercadorias vendidas, em percentual da venda.",
    "Custo de venda: os demais custos da venda (comissões, impostos, prazo de pagamento e "
    "tarifas), em percentual da venda.",
    "Margem bruta: a venda menos o custo de aquisição das mercadorias, em reais.",
    "Margem operacional: a venda menos o custo total da venda, em reais.",
    "Rentabilidade bruta: a margem bruta em percentual da venda.",
    "Rentabilidade operacional: a margem operacional em percentual da venda.",
};

// "às 14:32" for today, "em 13/02 às 14:32" for another day.
QString quando(const QDateTime& momento) {
  if (momento.date() == QDate::currentDate()) return momento.toString(QStringLiteral("'às' HH:mm"));
  return momento.toString(QStringLiteral("'em' dd/MM 'às' HH:mm"));
}

// The work of a refresh ends early, by this, when the gadget goes away.
struct AtualizacaoCancelada {};

// Interruptions of a refresh's statement (one every
// TGadget::kInterruptIntervalMs) before its connection is ended.
constexpr int kInterruptsBeforeAbandoning = 6;

// Whether an error of a refresh came from the database, so the connection
// may be gone and the next refresh reconnects first.
bool ErroDoBanco(std::exception_ptr erro) {
  try {
    std::rethrow_exception(erro);
  } catch (const DatabaseError&) {
    return true;
  } catch (const CalculationError& e) {
    return e.kind() == CalculationError::Kind::Database;
  } catch (...) {
  }
  return false;
}

}  // namespace

TRentabilidade::TRentabilidade(TFormTransparente* AOwner) : TGadgetSimples(AOwner) {
  setInformacoes(QString::fromUtf8(NOME_GGT_RENTABILIDADE), QString::fromUtf8(VERSAO_GADGET),
                 QString::fromUtf8(kRelConsRentabilidade),
                 QString::fromUtf8(kDescricaoRentabilidade));
  PosGradIni = QPointF(0.5, 1);
  PosGradFim = QPointF(0.5, 0);

  // The body: grey, lighter at the top.
  rtgPrincipal->setSize(355, 221);
  rtgPrincipal->setPosition({0, 0});
  rtgPrincipal->setRadius(10, 10);
  rtgPrincipal->setStrokeColor(Argb(0x00000000));
  rtgPrincipal->setStrokeNone();
  rtgPrincipal->setFillGradient(
      {PosGradIni, PosGradFim, {{0, Argb(0xFFB4B4B4)}, {1, Argb(0xFFE5E5E5)}}});

  const auto bloco = [this](const char* nome, double x, double y, double w, double h,
                            TCantos cantos) {
    auto* r = new TRoundRect(rtgPrincipal);
    r->setObjectName(QString::fromLatin1(nome));
    r->setPosition({x, y});
    r->setSize(w, h);
    r->setCorners(cantos);
    r->setStrokeNone();
    r->setFillColor(kCinzaEscuro);
    return r;
  };
  const TCantos tituloCantos =
      static_cast<int>(TCanto::SuperiorDireito) | static_cast<int>(TCanto::InferiorEsquerdo);
  const TCantos valoresCantos = static_cast<int>(TCanto::InferiorEsquerdo);
  rrtFatTit = bloco("rrtFatTit", 0, 27, 338, 19, tituloCantos);
  // The two stops every gradient starts with, then the strip's own, in the
  // order they were drawn up.
  TGradiente faixa;
  faixa.pontos = {{0, Argb(0x00000000)},
                  {1, Argb(0xFF41CBD3)},
                  {0, Argb(0x00000000)},
                  {0, Argb(0x00000000)},
                  {0.0032051282, Argb(0xFF696969)},
                  {0.20192307, Argb(0xFF696969)},
                  {0.33333334, Argb(0xFF696969)},
                  {0.625, Argb(0xFF469095)},
                  {1, Argb(0x00000000)},
                  {1, Argb(0x00000000)},
                  {1, Argb(0x00000000)},
                  {1, Argb(0x00000000)},
                  {1, Argb(0x00000000)},
                  {1, Argb(0xFFFFFFFF)}};
  faixa.inicio = PosGradIni;
  faixa.fim = PosGradFim;
  rrtFatTit->setFillGradient(faixa);
  rrtFatVal = bloco("rrtFatVal", 16, 46, 322, 39, valoresCantos);
  rrtCustTit = bloco("rrtCustTit", 0, 88, 338, 19, tituloCantos);
  rrtCustVal = bloco("rrtCustVal", 16, 106, 322, 39, valoresCantos);

  rtgTotais = new TRectangle(rtgPrincipal);
  rtgTotais->setObjectName(QStringLiteral("rtgTotais"));
  rtgTotais->setPosition({0, 176});
  rtgTotais->setSize(355, 45);
  rtgTotais->setRadius(10, 10);
  rtgTotais->setStrokeNone();
  rtgTotais->setFillColor(kCianoEscuro);

  const auto separador = [this](const char* nome, double x) {
    auto* l = new TLine(rtgTotais);
    l->setObjectName(QString::fromLatin1(nome));
    l->setPosition({x, 0});
    l->setSize(4, 45);
    l->setStrokeColor(Argb(0xFFFFFFFF));
    return l;
  };
  lnSeparador1 = separador("lnSeparador1", 91);
  lnSeparador2 = separador("lnSeparador2", 181);
  lnSeparador3 = separador("lnSeparador3", 266);

  const auto rotulo = [](TElemento* pai, const char* nome, const char* estilo = nullptr) {
    auto* l = new TLabel(pai);
    l->setObjectName(QString::fromLatin1(nome));
    if (estilo != nullptr) l->setStyleLookup(QString::fromLatin1(estilo));
    return l;
  };
  const QString segoe = QStringLiteral("Segoe UI");
  const QString tahoma = QStringLiteral("Tahoma");
  // Until a refresh has worked there is no figure to show.
  const QString semValor = QString::fromUtf8(kSemValor);
  using A = TAlinhamento;

  lblTitGadget = rotulo(rtgPrincipal, "lblTitGadget", kEstiloTitulo);
  ConfigLabel(lblTitGadget, segoe, QStringLiteral("Rentabilidade"), 15, Negrito, 10, 2, 100,
              A::Inicio, false, true);
  lblTitFat = rotulo(rrtFatTit, "lblTitFat");
  ConfigLabel(lblTitFat, segoe, QStringLiteral("Faturamento"), 15, Negrito, 210, 0, 120, A::Fim,
              false, false);
  lblTitVendaFat = rotulo(rrtFatVal, "lblTitVendaFat");
  ConfigLabel(lblTitVendaFat, tahoma, QStringLiteral("Venda (R$)"), 11, 0, 16, 0, 80, A::Inicio,
              false, true);
  lblTitCustoFat = rotulo(rrtFatVal, "lblTitCustoFat");
  ConfigLabel(lblTitCustoFat, tahoma, QStringLiteral("Custo (R$)"), 11, 0, 202, 0, 80, A::Inicio,
              false, true);
  lblValorVendaFat = rotulo(rrtFatVal, "lblValorVendaFat");
  ConfigLabel(lblValorVendaFat, tahoma, semValor, 17, Negrito, 16, 20, 120, A::Fim, false, false);
  lblValorCustoFat = rotulo(rrtFatVal, "lblValorCustoFat");
  ConfigLabel(lblValorCustoFat, tahoma, semValor, 17, Negrito, 197, 20, 120, A::Fim, false, false);
  lblTitCusto = rotulo(rrtCustTit, "lblTitCusto");
  ConfigLabel(lblTitCusto, segoe, QStringLiteral("Custos"), 15, Negrito, 210, 0, 120, A::Fim, false,
              false);
  lblTitAquisCusto = rotulo(rrtCustVal, "lblTitAquisCusto");
  ConfigLabel(lblTitAquisCusto, tahoma, QStringLiteral("Aquisição (%)"), 11, 0, 16, 0, 80,
              A::Inicio, false, true);
  lblTitVendaCusto = rotulo(rrtCustVal, "lblTitVendaCusto");
  ConfigLabel(lblTitVendaCusto, tahoma, QStringLiteral("Venda (%)"), 11, 0, 202, 0, 80, A::Inicio,
              false, true);
  lblValorAquisCusto = rotulo(rrtCustVal, "lblValorAquisCusto");
  ConfigLabel(lblValorAquisCusto, tahoma, semValor, 17, Negrito, 16, 20, 120, A::Fim, false, false);
  lblValorVendaCusto = rotulo(rrtCustVal, "lblValorVendaCusto");
  ConfigLabel(lblValorVendaCusto, segoe, semValor, 17, Negrito, 197, 20, 120, A::Fim, false, false);
  lblNomeFilial = rotulo(rtgPrincipal, "lblNomeFilial", kEstiloTitulo);
  ConfigLabel(lblNomeFilial, tahoma, QStringLiteral("Todas as Filiais"), 12, 0, 0, 147, 359,
              A::Centro, false, false);
  lblPeriodo = rotulo(rtgPrincipal, "lblPeriodo", kEstiloTitulo);
  ConfigLabel(lblPeriodo, tahoma, QString(), 12, 0, 0, 161, 359, A::Centro, false, false);
  lblTitMrgBruta = rotulo(rtgTotais, "lblTitMrgBruta");
  ConfigLabel(lblTitMrgBruta, tahoma, QStringLiteral("Mrg. Bruta (R$)"), 11, 0, 6, 2, 78, A::Inicio,
              false, true);
  lblTitMrgOper = rotulo(rtgTotais, "lblTitMrgOper");
  ConfigLabel(lblTitMrgOper, tahoma, QStringLiteral("Mrg. Oper. (R$)"), 11, 0, 95, 2, 78, A::Inicio,
              false, true);
  lblTitRtbBruta = rotulo(rtgTotais, "lblTitRtbBruta");
  ConfigLabel(lblTitRtbBruta, tahoma, QStringLiteral("Rtb. Bruta (%)"), 11, 0, 186, 2, 78,
              A::Inicio, false, true);
  lblTitRtbOper = rotulo(rtgTotais, "lblTitRtbOper");
  ConfigLabel(lblTitRtbOper, tahoma, QStringLiteral("Rtb. Oper. (%)"), 11, 0, 271, 2, 78, A::Inicio,
              false, true);
  lblValorMrgBruta = rotulo(rtgTotais, "lblValorMrgBruta");
  ConfigLabel(lblValorMrgBruta, tahoma, semValor, 12, Negrito, 1, 26, 78, A::Fim, false, false);
  lblValorMrgOper = rotulo(rtgTotais, "lblValorMrgOper");
  ConfigLabel(lblValorMrgOper, tahoma, semValor, 12, Negrito, 90, 26, 78, A::Fim, false, false);
  lblValorRtbBruta = rotulo(rtgTotais, "lblValorRtbBruta");
  ConfigLabel(lblValorRtbBruta, tahoma, semValor, 12, Negrito, 181, 26, 78, A::Fim, false, false);
  lblValorRtbOper = rotulo(rtgTotais, "lblValorRtbOper");
  ConfigLabel(lblValorRtbOper, tahoma, semValor, 12, Negrito, 266, 26, 78, A::Fim, false, false);

  // Every value fits its own box, whatever its size: the text shrinks. In
  // the totals band the text keeps off the separator lines, which the boxes
  // of the last three values overlap, and off the band's rounded corner.
  for (TLabel* valor : rotulosDeValor()) valor->setShrinkToFit(true);
  lblValorMrgBruta->setTextMargins(5, 0);
  lblValorMrgOper->setTextMargins(4, 0);
  lblValorRtbBruta->setTextMargins(4, 0);
  lblValorRtbOper->setTextMargins(4, 0);

  // Each figure explained on its title (its value: estadoAtualizacaoMudou).
  TLabel* const titulos[] = {lblTitVendaFat, lblTitCustoFat, lblTitAquisCusto, lblTitVendaCusto,
                             lblTitMrgBruta, lblTitMrgOper,  lblTitRtbBruta,   lblTitRtbOper};
  for (size_t i = 0; i < std::size(titulos); ++i)
    titulos[i]->setHint(QString::fromUtf8(kExplicacoes[i]));

  // When the figures were read: small, beside the title, before the logo.
  lblAtualizado = rotulo(rtgPrincipal, "lblAtualizado", kEstiloTitulo);
  ConfigLabel(lblAtualizado, tahoma, QString(), 10, 0, 150, 5, 134, A::Fim, false, false);
  lblAtualizado->setShrinkToFit(true);
  imgFalha = new TIndicadorFalha(rtgPrincipal);
  imgFalha->setObjectName(QStringLiteral("imgFalha"));
  imgFalha->setVisible(false);

  // The dark-cyan lines are read against the face's light grey; on a
  // translucent face over a dark desktop that grey is gone. A light rim and
  // an opacity floor keep them readable at any opacity.
  for (TLabel* linha : {lblNomeFilial, lblPeriodo, lblAtualizado}) {
    linha->setHalo(kHaloLinhas);
    linha->setMinimumOpacity(kOpacidadeMinimaLinhas);
  }

  imgLogo = new TImage(rtgPrincipal);
  imgLogo->setObjectName(QStringLiteral("imgLogo"));
  imgLogo->setBitmap(ImagensIcones().imgLogoCinzaMedio);
  imgLogo->setPosition({288, -12});

  AjustaGadget(rtgPrincipal, true);
  AssociaEventosComuns(rtgPrincipal);
  // The busy sign sits right after the title.
  imgOcupado->setPosition({lblTitGadget->x() + lblTitGadget->width() + 6, 6});
  estadoAtualizacaoMudou();

  try {
    desktop().IniciarComWindows(getTitulo(), true);
  } catch (...) {
    MostraErro(std::current_exception());
  }
}

TRentabilidade::~TRentabilidade() {
  // The work reads nothing of this object, but its end would write here.
  EncerraTrabalho();
}

void TRentabilidade::ConfigLabel(TLabel* lblOwner, const QString& Fonte, const QString& Texto,
                                 int Tamanho, TEstilosFonte Estilo, double X, double Y,
                                 double Width, TAlinhamento Alinhamento, bool WordWrap,
                                 bool AutoSize) {
  lblOwner->setFontFamily(Fonte);
  lblOwner->setFontSize(Tamanho);
  lblOwner->setFontStyle(Estilo);
  lblOwner->setTextAlign(Alinhamento);
  lblOwner->setText(Texto);
  lblOwner->setWidth(Width);
  lblOwner->setWordWrap(WordWrap);
  lblOwner->setAutoSize(AutoSize);
  lblOwner->setX(X);
  lblOwner->setY(Y);
}

void TRentabilidade::IniciarGadget(QObject* Sender) {
  TGadgetSimples::IniciarGadget(Sender);
  if (FConfig == nullptr || FConexao == nullptr) return;

  // The work reads a copy of the settings: the panel may save its own
  // meanwhile (the end of a drag).
  auto config = std::make_shared<TConfig>(*FConfig);
  auto resultado = std::make_shared<ResultadoAtualizacao>();
  TConexao* conexao = FConexao;
  const bool reconectar = std::exchange(reconectar_, false);
  const QDate hoje = hoje_;
  if (!memoria_) memoria_ = std::make_shared<TAtualizacaoIncremental>();
  IniciaTrabalho(
      [config, resultado, conexao, reconectar, hoje,
       memoria = memoria_](const std::atomic<bool>& cancelar) {
        // A connection lost since the last refresh (server restarted,
        // network cut) is let go; the refresh attaches again, as it does
        // every time in local mode.
        if (reconectar) conexao->desconectarBanco();
        TAtualizacaoRentabilidade dados(*conexao, *config);
        dados.setHoje(hoje);
        dados.setMemoria(memoria);
        OpcoesAtualizacao opcoes;
        opcoes.progresso = [&cancelar](int, int) {
          if (cancelar) throw AtualizacaoCancelada{};
        };
        dados.IniciarGadget(*resultado, opcoes);
      },
      [this, resultado](std::exception_ptr erro) {
        // The period as this refresh computed it goes with the next save.
        FConfig->DataInicial = resultado->DataInicial;
        FConfig->DataFinal = resultado->DataFinal;
        if (erro) {
          reconectar_ = ErroDoBanco(erro);
          // The face keeps the last good figures with the branch and the
          // period they belong to (the frame dims them): a refresh cut short
          // would mix its figures with the older ones. Before any good
          // refresh the lines at least say what was asked for.
          if (!estadoAtualizacao().ultimoSucesso.isValid()) {
            if (resultado->lblNomeFilial) lblNomeFilial->setText(*resultado->lblNomeFilial);
            if (resultado->lblPeriodo) lblPeriodo->setText(*resultado->lblPeriodo);
          }
          std::rethrow_exception(erro);
        }
        aplicaResultado(*resultado);
      },
      // The gadget goes away: the statement running is stopped, and so are
      // the attempts of an attach. A server may go on with a large sort
      // before it looks at the cancel request: after a while the connection
      // itself is ended.
      [conexao, times = 0]() mutable {
        conexao->interrupt(++times > kInterruptsBeforeAbandoning);
      });
}

std::array<TLabel*, 8> TRentabilidade::rotulosDeValor() const {
  return {lblValorVendaFat, lblValorCustoFat, lblValorAquisCusto, lblValorVendaCusto,
          lblValorMrgBruta, lblValorMrgOper,  lblValorRtbBruta,   lblValorRtbOper};
}

MensagemErro TRentabilidade::descreveErro(std::exception_ptr erro) const {
  return descreveErroDaAtualizacao(erro, FConfig);
}

void TRentabilidade::estadoAtualizacaoMudou() {
  const EstadoAtualizacao& estado = estadoAtualizacao();
  const bool temFiguras = estado.ultimoSucesso.isValid();
  if (temFiguras) {
    lblAtualizado->setText(QStringLiteral("Atualizado %1").arg(quando(estado.ultimoSucesso)));
  } else {
    lblAtualizado->setText(estado.falhou ? QStringLiteral("Não atualizado") : QString());
  }

  QString nota;  // the failure, for the tooltips
  if (estado.falhou) {
    nota = QStringLiteral("A atualização iniciada %1 falhou: %2")
               .arg(quando(estado.ultimaFalha), estado.erro.texto);
    nota += temFiguras ? QStringLiteral("\nOs valores mostrados foram lidos %1.")
                             .arg(quando(estado.ultimoSucesso))
                       : QStringLiteral("\nAinda não há valores a mostrar.");
  }
  const int minutos = intervaloAtualizacao() / 60000;
  QString leitura;
  if (temFiguras) {
    leitura =
        QStringLiteral("Valores lidos do banco de dados %1; ").arg(quando(estado.ultimoSucesso));
    leitura += minutos > 0 ? QStringLiteral(
                                 "o gadget os atualiza a cada %1 minuto(s) e com um "
                                 "duplo clique.")
                                 .arg(minutos)
                           : QStringLiteral("atualize-os com um duplo clique.");
  }
  lblAtualizado->setHint(estado.falhou ? nota : leitura);
  imgFalha->setHint(nota);

  // The mark sits just left of the time's text.
  imgFalha->setVisible(estado.falhou);
  const QFontMetricsF fm(lblAtualizado->fonteDesenhada());
  const QRectF area = lblAtualizado->areaDoTexto().translated(lblAtualizado->position());
  const double inicioTexto = area.right() - fm.horizontalAdvance(lblAtualizado->text());
  imgFalha->setPosition(
      {inicioTexto - imgFalha->width() - 3, area.center().y() - imgFalha->height() / 2});

  const auto valores = rotulosDeValor();
  for (size_t i = 0; i < valores.size(); ++i) {
    valores[i]->setOpacity(estado.falhou ? kOpacidadeFigurasAntigas : 1.0);
    const QString explicacao = QString::fromUtf8(kExplicacoes[i]);
    valores[i]->setHint(estado.falhou ? explicacao + QStringLiteral("\n\n") + nota : explicacao);
  }
}

void TRentabilidade::aplicaResultado(const ResultadoAtualizacao& resultado) {
  if (resultado.lblNomeFilial) lblNomeFilial->setText(*resultado.lblNomeFilial);
  if (resultado.lblPeriodo) lblPeriodo->setText(*resultado.lblPeriodo);
  const std::pair<std::optional<QString> ResultadoAtualizacao::*, TLabel*> figuras[] = {
      {&ResultadoAtualizacao::lblValorVendaFat, lblValorVendaFat},
      {&ResultadoAtualizacao::lblValorCustoFat, lblValorCustoFat},
      {&ResultadoAtualizacao::lblValorAquisCusto, lblValorAquisCusto},
      {&ResultadoAtualizacao::lblValorVendaCusto, lblValorVendaCusto},
      {&ResultadoAtualizacao::lblValorMrgBruta, lblValorMrgBruta},
      {&ResultadoAtualizacao::lblValorMrgOper, lblValorMrgOper},
      {&ResultadoAtualizacao::lblValorRtbBruta, lblValorRtbBruta},
      {&ResultadoAtualizacao::lblValorRtbOper, lblValorRtbOper},
  };
  for (const auto& [texto, rotulo] : figuras)
    if (resultado.*texto) rotulo->setText(*(resultado.*texto));
}

void TRentabilidade::RConfClick(QObject*) {
  if (FConfig == nullptr || FConexao == nullptr) return;
  // The dialog opens at once; what it does on the connection a refresh's
  // work may be using (listing the branches, saving) waits for the work's
  // end.
  TDialogoAberto aberto(*this);
  AbreConfiguracao(
      *FConfig, *FConexao, frmPrincipal, geometria(),
      [this] {
        // Saved settings: the next refresh reads the whole period.
        if (memoria_) memoria_->pedeLeituraCompleta();
        Atualiza(this);
      },
      [this](std::function<void()> acao) { AposTrabalho(std::move(acao)); });
}

void TRentabilidade::RAboutClick(QObject*) {
  const InformacoesGadget informacoes{getTitulo(), getVersao(), getRelCons(), getDescricao(),
                                      TImagensIcones::ImagemGadget(55)};
  AbreAbout(frmPrincipal, informacoes, geometria());
}

}  // namespace margivo
