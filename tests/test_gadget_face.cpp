// The profitability gadget's face and its refresh on a real database file:
// every shape, label and colour of the face, the logo over the top edge, the
// figures a refresh writes (also with no rows and when the sale total is 0),
// the reconnection of a lost connection, and the settings and about actions.
#include <gtest/gtest.h>

#include <QDate>
#include <QMessageBox>
#include <QPainter>
#include <QSemaphore>
#include <QSet>
#include <QTime>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>

#include "desktop/desktop_linux.h"
#include "dialogs/about.h"
#include "dialogs/confgadget.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/gui/imagensicones.h"
#include "framework/regional.h"
#include "gadget/rentabilidade.h"
#include "tests/support/testdb.h"
#include "tests/test_gadget_apoio.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

using test::Aguarda;
using test::Centro;
using test::item;
using test::pedido;

QColor Argb(quint32 argb) { return QColor::fromRgba(argb); }

class Face : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Aplicacao();
    setRegionalSettings(RegionalSettings::brazilian());
    form_ = std::make_unique<TFormTransparente>();
    form_->resize(1200, 800);
    form_->setCorDoEstilo(kEstiloTitulo, Argb(0xFF008B8B));
    gadget_ = std::make_unique<TRentabilidade>(form_.get());
    gadget_->setHoje(QDate(2024, 2, 14));
  }
  void TearDown() override {
    gadget_.reset();
    form_.reset();
    setRegionalSettings(RegionalSettings::brazilian());
  }

  // A database holding the parameters and `pedidos`, its settings file and
  // the connection, handed to the gadget.
  void abre(const QString& pedidos,
            const QString& secao = QStringLiteral("Empresa=01\nPeriodo=2\nMostraPedidos=2\n")) {
    db_ = std::make_unique<test::TestDatabase>(test::kParametros + pedidos);
    home_.writeIniText(test::arquivoIni(db_->path(), secao));
    config_ = std::make_unique<TConfig>("Trovesk");
    config_->CarregarIni();
    config_->InstanciaVariaveis("VQM");
    conexao_ = std::make_unique<TConexao>();
    conexao_->setConfiguracao(config_->LocRem, config_->Protocolo, config_->Servidor,
                              config_->CaminhoBanco, config_->Usuario, config_->Senha);
    ASSERT_NO_THROW(conexao_->conectarBanco());
    gadget_->setConfig(config_.get());
    gadget_->setConexao(conexao_.get());
  }

  // One refresh, to its end.
  void atualiza() {
    gadget_->Atualiza(gadget_.get());
    ASSERT_TRUE(Aguarda([&] { return !gadget_->atualizando(); }));
  }

  QStringList figuras() const {
    QStringList r;
    for (const TLabel* l :
         {gadget_->lblValorVendaFat, gadget_->lblValorCustoFat, gadget_->lblValorAquisCusto,
          gadget_->lblValorVendaCusto, gadget_->lblValorMrgBruta, gadget_->lblValorMrgOper,
          gadget_->lblValorRtbBruta, gadget_->lblValorRtbOper})
      r << l->text();
    return r;
  }

  test::TestConfigHome home_;
  std::unique_ptr<TFormTransparente> form_;
  std::unique_ptr<TRentabilidade> gadget_;
  std::unique_ptr<test::TestDatabase> db_;
  std::unique_ptr<TConfig> config_;
  std::unique_ptr<TConexao> conexao_;
};

TEST_F(Face, Formas) {
  const TRentabilidade& g = *gadget_;
  const int TR = static_cast<int>(TCanto::SuperiorDireito);
  const int BL = static_cast<int>(TCanto::InferiorEsquerdo);
  const struct {
    const TRectangle* forma;
    const TElemento* pai;
    QRectF geometria;
    QColor cor;  // solid fill; invalid for a gradient
    TCantos cantos;
    double raio;
  } formas[] = {
      {g.rtgPrincipal, g.rtgGadget, {0, 0, 355, 221}, {}, kTodosOsCantos, 10},
      {g.rrtFatTit, g.rtgPrincipal, {0, 27, 338, 19}, {}, TR | BL, 9.5},
      {g.rrtFatVal, g.rtgPrincipal, {16, 46, 322, 39}, Argb(0xFF696969), BL, 19.5},
      {g.rrtCustTit, g.rtgPrincipal, {0, 88, 338, 19}, Argb(0xFF696969), TR | BL, 9.5},
      {g.rrtCustVal, g.rtgPrincipal, {16, 106, 322, 39}, Argb(0xFF696969), BL, 19.5},
      {g.rtgTotais, g.rtgPrincipal, {0, 176, 355, 45}, Argb(0xFF008B8B), kTodosOsCantos, 10},
  };
  for (const auto& f : formas) {
    SCOPED_TRACE(f.forma->objectName().toStdString());
    EXPECT_EQ(f.forma->elementoPai(), f.pai);
    EXPECT_EQ(QRectF(f.forma->position(), f.forma->size()), f.geometria);
    EXPECT_FALSE(f.forma->hasStroke());
    if (f.cor.isValid()) {
      EXPECT_EQ(f.forma->fillKind(), TRectangle::Preenchimento::Solido);
      EXPECT_EQ(f.forma->fillColor(), f.cor);
    } else {
      EXPECT_EQ(f.forma->fillKind(), TRectangle::Preenchimento::Gradiente);
    }
    // Rounded corners leave their tip out of the shape; square ones do not.
    const QPainterPath caminho = f.forma->forma();
    const double w = f.geometria.width(), h = f.geometria.height(), d = f.raio * 0.25;
    const struct {
      TCanto canto;
      QPointF ponta;
    } cantos[] = {{TCanto::SuperiorEsquerdo, {d, d}},
                  {TCanto::SuperiorDireito, {w - d, d}},
                  {TCanto::InferiorEsquerdo, {d, h - d}},
                  {TCanto::InferiorDireito, {w - d, h - d}}};
    for (const auto& c : cantos)
      EXPECT_EQ(caminho.contains(c.ponta), (f.cantos & static_cast<int>(c.canto)) == 0)
          << "corner " << static_cast<int>(c.canto);
  }
  // The body: B4 grey at the bottom to E5 at the top.
  const TGradiente& corpo = g.rtgPrincipal->fillGradient();
  EXPECT_EQ(corpo.inicio, QPointF(0.5, 1));
  EXPECT_EQ(corpo.fim, QPointF(0.5, 0));
  EXPECT_EQ(corpo.pontos,
            (std::vector<std::pair<double, QColor>>{{0, Argb(0xFFB4B4B4)}, {1, Argb(0xFFE5E5E5)}}));
  // The "Faturamento" strip keeps its fourteen stops in their defined order.
  const TGradiente& faixa = g.rrtFatTit->fillGradient();
  EXPECT_EQ(faixa.inicio, QPointF(0.5, 1));
  EXPECT_EQ(faixa.fim, QPointF(0.5, 0));
  ASSERT_EQ(faixa.pontos.size(), 14u);
  EXPECT_EQ(faixa.pontos[1], std::make_pair(1.0, Argb(0xFF41CBD3)));
  EXPECT_EQ(faixa.pontos[7], std::make_pair(0.625, Argb(0xFF469095)));
  EXPECT_EQ(faixa.pontos[13], std::make_pair(1.0, Argb(0xFFFFFFFF)));

  const TLine* linhas[] = {g.lnSeparador1, g.lnSeparador2, g.lnSeparador3};
  const double xs[] = {91, 181, 266};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(linhas[i]->elementoPai(), g.rtgTotais);
    EXPECT_EQ(QRectF(linhas[i]->position(), linhas[i]->size()), QRectF(xs[i], 0, 4, 45));
    EXPECT_EQ(linhas[i]->strokeColor(), Argb(0xFFFFFFFF));
  }
}

TEST_F(Face, Rotulos) {
  const TRentabilidade& g = *gadget_;
  using A = TAlinhamento;
  const QColor branco = Argb(0xFFFFFFFF), ciano = Argb(0xFF008B8B);
  const struct {
    const TLabel* rotulo;
    const TElemento* pai;
    const char* texto;
    const char* fonte;
    int tamanho;
    bool negrito;
    QPointF posicao;
    double largura;  // for the labels that are not auto-sized
    A alinhamento;
    bool autoSize;
    QColor cor;
  } rotulos[] = {
      // clang-format off
      {g.lblTitGadget, g.rtgPrincipal, "Rentabilidade", "Segoe UI", 15, true, {10, 2}, 100, A::Inicio, true, ciano},
      {g.lblTitFat, g.rrtFatTit, "Faturamento", "Segoe UI", 15, true, {210, 0}, 120, A::Fim, false, branco},
      {g.lblTitVendaFat, g.rrtFatVal, "Venda (R$)", "Tahoma", 11, false, {16, 0}, 80, A::Inicio, true, branco},
      {g.lblTitCustoFat, g.rrtFatVal, "Custo (R$)", "Tahoma", 11, false, {202, 0}, 80, A::Inicio, true, branco},
      {g.lblValorVendaFat, g.rrtFatVal, "–", "Tahoma", 17, true, {16, 20}, 120, A::Fim, false, branco},
      {g.lblValorCustoFat, g.rrtFatVal, "–", "Tahoma", 17, true, {197, 20}, 120, A::Fim, false, branco},
      {g.lblTitCusto, g.rrtCustTit, "Custos", "Segoe UI", 15, true, {210, 0}, 120, A::Fim, false, branco},
      {g.lblTitAquisCusto, g.rrtCustVal, "Aquisição (%)", "Tahoma", 11, false, {16, 0}, 80, A::Inicio, true, branco},
      {g.lblTitVendaCusto, g.rrtCustVal, "Venda (%)", "Tahoma", 11, false, {202, 0}, 80, A::Inicio, true, branco},
      {g.lblValorAquisCusto, g.rrtCustVal, "–", "Tahoma", 17, true, {16, 20}, 120, A::Fim, false, branco},
      {g.lblValorVendaCusto, g.rrtCustVal, "–", "Segoe UI", 17, true, {197, 20}, 120, A::Fim, false, branco},
      {g.lblNomeFilial, g.rtgPrincipal, "Todas as Filiais", "Tahoma", 12, false, {0, 147}, 359, A::Centro, false, ciano},
      {g.lblPeriodo, g.rtgPrincipal, "", "Tahoma", 12, false, {0, 161}, 359, A::Centro, false, ciano},
      {g.lblTitMrgBruta, g.rtgTotais, "Mrg. Bruta (R$)", "Tahoma", 11, false, {6, 2}, 78, A::Inicio, true, branco},
      {g.lblTitMrgOper, g.rtgTotais, "Mrg. Oper. (R$)", "Tahoma", 11, false, {95, 2}, 78, A::Inicio, true, branco},
      {g.lblTitRtbBruta, g.rtgTotais, "Rtb. Bruta (%)", "Tahoma", 11, false, {186, 2}, 78, A::Inicio, true, branco},
      {g.lblTitRtbOper, g.rtgTotais, "Rtb. Oper. (%)", "Tahoma", 11, false, {271, 2}, 78, A::Inicio, true, branco},
      {g.lblValorMrgBruta, g.rtgTotais, "–", "Tahoma", 12, true, {1, 26}, 78, A::Fim, false, branco},
      {g.lblValorMrgOper, g.rtgTotais, "–", "Tahoma", 12, true, {90, 26}, 78, A::Fim, false, branco},
      {g.lblValorRtbBruta, g.rtgTotais, "–", "Tahoma", 12, true, {181, 26}, 78, A::Fim, false, branco},
      {g.lblValorRtbOper, g.rtgTotais, "–", "Tahoma", 12, true, {266, 26}, 78, A::Fim, false, branco},
      // clang-format on
  };
  for (const auto& r : rotulos) {
    SCOPED_TRACE(r.rotulo->objectName().toStdString());
    EXPECT_EQ(r.rotulo->elementoPai(), r.pai);
    EXPECT_EQ(r.rotulo->text(), QString::fromUtf8(r.texto));
    EXPECT_EQ(r.rotulo->fontFamily(), r.fonte);
    EXPECT_EQ(r.rotulo->fontSize(), r.tamanho);
    EXPECT_EQ((r.rotulo->fontStyle() & Negrito) != 0, r.negrito);
    EXPECT_EQ(r.rotulo->position(), r.posicao);
    EXPECT_EQ(r.rotulo->textAlign(), r.alinhamento);
    EXPECT_FALSE(r.rotulo->wordWrap());
    EXPECT_EQ(r.rotulo->autoSize(), r.autoSize);
    EXPECT_EQ(r.rotulo->corDoTexto(), r.cor);
    if (!r.autoSize) {
      EXPECT_EQ(r.rotulo->size(), QSizeF(r.largura, TLabel::kAlturaPadrao));
    } else {
      // Fitted to its text.
      const QFontMetricsF fm(r.rotulo->fonte());
      EXPECT_EQ(r.rotulo->width(), std::ceil(fm.horizontalAdvance(r.rotulo->text())));
    }
  }
}

TEST_F(Face, LogoSobreABordaDeCimaEOGadgetMontado) {
  const TRentabilidade& g = *gadget_;
  EXPECT_EQ(g.imgLogo->elementoPai(), g.rtgPrincipal);
  EXPECT_EQ(g.imgLogo->position(), QPointF(288, -12));
  EXPECT_EQ(g.imgLogo->size(), QSizeF(53, 17));
  EXPECT_EQ(g.imgLogo->bitmap().deviceIndependentSize(), QSizeF(53, 17));
  g.rtgGadget->setPosition({100, 100});
  // The 12 pixels above the body are drawn and take the mouse (the logo is
  // part of the gadget's hover area).
  EXPECT_EQ(form_->elementoEm({400, 92}), g.imgLogo);
  EXPECT_TRUE(form_->regiaoVisivel().contains(QPoint(400, 92)));
  EXPECT_TRUE(static_cast<bool>(g.imgLogo->OnMouseEnter));
  EXPECT_EQ(g.rtgGadget->size(), QSizeF(388, 231));
  EXPECT_EQ(g.rtgConfig->y(), 21);
  EXPECT_EQ(g.getTitulo(), "Rentabilidade");
  EXPECT_EQ(g.getVersao(), "21.08ba");
  EXPECT_EQ(g.getRelCons(), "Kontavix - Rotina PDV: Consulta da Rentabilidade de Pedidos");
  EXPECT_TRUE(g.getDescricao().startsWith("Este gadget exibe o valor (R$)"));
  // Built means registered to start at logon.
  EXPECT_TRUE(QFile::exists(linux_desktop::autostartFile("Rentabilidade")));
}

TEST_F(Face, AtualizacaoEscreveAsOitoFigurasFilialEPeriodo) {
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
  // Before the first refresh: a dash, never a caption.
  EXPECT_EQ(figuras(), QStringList(8, "–"));
  atualiza();
  EXPECT_EQ(figuras(), (QStringList{"1.000,00", "850,00", "60,00", "25,00", "400,00", "150,00",
                                    "40,00", "15,00"}));
  EXPECT_EQ(gadget_->lblNomeFilial->text(), "LOJA CENTRO");
  EXPECT_EQ(gadget_->lblPeriodo->text(), "Período: Mensal (01/02/2024 a 29/02/2024)");
  EXPECT_EQ(config_->DataInicial, "01/02/2024");
  EXPECT_EQ(config_->DataFinal, "29/02/2024");
  // The same data a second time: the same figures, nothing carried over.
  atualiza();
  EXPECT_EQ(figuras(), (QStringList{"1.000,00", "850,00", "60,00", "25,00", "400,00", "150,00",
                                    "40,00", "15,00"}));
}

TEST_F(Face, SemPedidosNoPeriodoTodasAsFigurasSaoZero) {
  abre(pedido("01", "V", "100", "2024-01-10", "S", 0, 1000) +
           item("01", "V", "100", 1, "P1", "1", 10, 100),
       "Periodo=0\nMostraPedidos=2\n");
  config_->Empresa.clear();  // every branch (the start-up's default is "00")
  atualiza();
  EXPECT_EQ(figuras(), QStringList(8, "0,00"));
  EXPECT_EQ(gadget_->lblNomeFilial->text(), "Todas as Filiais");
  EXPECT_EQ(gadget_->lblPeriodo->text(), "Período: Diário (14/02/2024)");
}

// The sale total of the period is 0 although orders were found: the cost
// shares have no base. The refresh fails as a whole: no figure of it is
// shown (here: none has been shown yet, so the dashes stay).
TEST_F(Face, VendaTotalZeroNaoMostraFigurasPelaMetadeEMostraUmErro) {
  test::MensagensRegistradas mensagens;
  abre(pedido("01", "V", "600", "2024-02-10", "S", 0, 100) +
       item("01", "V", "600", 1, "P1", "1", 1, 100) +
       "INSERT INTO ENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRDESCONTO, VLRDINHEIRO) "
       "VALUES ('01', 'V', '600', 100, 0);\n");
  atualiza();
  EXPECT_EQ(figuras(), QStringList(8, "–"));
  ASSERT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  EXPECT_EQ(mensagens.lista[0].tipo, TipoMensagem::Erro);
  EXPECT_TRUE(mensagens.lista[0].texto.contains("Aquisição (%)")) << mensagens.textos();
  EXPECT_TRUE(mensagens.lista[0].texto.contains("venda zero")) << mensagens.textos();
  EXPECT_TRUE(mensagens.lista[0].detalhes.contains("MTotValorDaVenda")) << mensagens.textos();
  // No figure yet: the branch and period lines say what was asked for.
  EXPECT_EQ(gadget_->lblNomeFilial->text(), "LOJA CENTRO");
  EXPECT_EQ(gadget_->lblPeriodo->text(), "Período: Mensal (01/02/2024 a 29/02/2024)");
}

TEST_F(Face, UmaConexaoPerdidaEFeitaDeNovoNaAtualizacaoSeguinte) {
  test::MensagensRegistradas mensagens;
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
  conexao_->getBancoDados()->detach();  // as when the server went away
  atualiza();
  EXPECT_TRUE(mensagens.lista.empty()) << mensagens.textos();
  EXPECT_FALSE(conexao_->conectado()) << "local mode let the file go at the refresh's end";
  EXPECT_EQ(gadget_->lblValorVendaFat->text(), "1.000,00");
}

// The server ended the gadget's attachment (a restart, a cut network): the
// refresh that meets it fails with the database's error, the next one
// connects again and shows the figures. The test keeps the connection in
// use, so that its attachment outlives each refresh as in remote mode.
TEST_F(Face, ConexaoDerrubadaFalhaUmaVezEAProximaAtualizacaoReconecta) {
  test::MensagensRegistradas mensagens;
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
  const ScopedAttachment emUso(*conexao_);
  atualiza();
  ASSERT_TRUE(mensagens.lista.empty()) << mensagens.textos();
  db_->exec("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
  gadget_->lblValorVendaFat->setText("antes");
  atualiza();
  ASSERT_EQ(mensagens.lista.size(), 1u);
  EXPECT_EQ(mensagens.lista[0].tipo, TipoMensagem::Erro);
  atualiza();
  EXPECT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  EXPECT_EQ(gadget_->lblValorVendaFat->text(), "1.000,00");
}

TEST_F(Face, ConfiguracaoSalvaGravaReconectaEAtualiza) {
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
  atualiza();
  bool aberto = false;
  QTimer::singleShot(0, [&] {
    TFrmConfiguracao* dialogo = FrmConfiguracao();
    ASSERT_NE(dialogo, nullptr);
    aberto = dialogo->isVisible();
    // No refresh starts while the dialog is open.
    gadget_->Atualiza(gadget_->tmrPrincipal);
    EXPECT_FALSE(gadget_->atualizando());
    EstadoConfiguracao estado = dialogo->estado();
    estado.Periodo = 3;    // Anual
    estado.Opacidade = 2;  // 60 %
    dialogo->setEstado(estado);
    dialogo->btnSalvarConfClick();
  });
  gadget_->RConfClick(gadget_->rtgConfig);
  EXPECT_TRUE(aberto);
  ASSERT_TRUE(Aguarda([&] { return !gadget_->atualizando(); }));
  TConfig lido("Trovesk");
  lido.CarregarIni();
  EXPECT_EQ(lido.Periodo, "3");
  EXPECT_EQ(lido.Transparencia, "60");
  EXPECT_EQ(gadget_->lblPeriodo->text(), "Período: Anual (01/01/2024 a 31/12/2024)");
  EXPECT_DOUBLE_EQ(gadget_->rtgPrincipal->opacity(), 0.6);
}

// The gadget with a hand on its background work: a refresh's work that runs
// until the test lets it end.
class RentabilidadeComTrabalho : public TRentabilidade {
 public:
  using TGadget::IniciaTrabalho;
  using TRentabilidade::TRentabilidade;
};

TEST_F(Face, ConfiguracaoAbreDuranteUmaAtualizacaoESalvaNoFimDela) {
  auto* gadget = new RentabilidadeComTrabalho(form_.get());
  gadget_.reset(gadget);
  gadget_->setHoje(QDate(2024, 2, 14));
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
  QSemaphore liberar;
  gadget->IniciaTrabalho(
      [&](const std::atomic<bool>& cancelar) {
        while (!liberar.tryAcquire(1, 5) && !cancelar) {
        }
      },
      [](std::exception_ptr) {});
  ASSERT_TRUE(gadget->atualizando());

  struct {
    bool aberto = false, atualizando = false, filiaisPendentes = false, esperando = false;
  } durante;
  QTimer::singleShot(0, [&] {
    TFrmConfiguracao* dialogo = FrmConfiguracao();
    if (dialogo == nullptr) return;  // checked below
    durante.aberto = dialogo->isVisible();
    durante.atualizando = gadget->atualizando();
    durante.filiaisPendentes = !dialogo->filiaisListadas();
    EstadoConfiguracao estado = dialogo->estado();
    estado.Periodo = 3;  // Anual
    dialogo->setEstado(estado);
    dialogo->btnSalvarConfClick();
    durante.esperando = dialogo->salvamentoPendente() && dialogo->isVisible();
    liberar.release();  // the refresh's work ends; the save follows
    if (!Aguarda([&] { return !dialogo->isVisible(); })) {
      ADD_FAILURE() << "the save at the refresh's end did not close the dialog";
      dialogo->reject();
    }
  });
  gadget->RConfClick(gadget->rtgConfig);
  EXPECT_TRUE(durante.aberto) << "the dialog opens while the refresh works";
  EXPECT_TRUE(durante.atualizando);
  EXPECT_TRUE(durante.filiaisPendentes) << "the branches wait for the refresh's end";
  EXPECT_TRUE(durante.esperando) << "the save waits for the refresh's end";
  ASSERT_TRUE(Aguarda([&] { return !gadget->atualizando(); }));
  TConfig lido("Trovesk");
  lido.CarregarIni();
  EXPECT_EQ(lido.Periodo, "3");
  EXPECT_EQ(lido.Empresa, "01");
  EXPECT_EQ(gadget->lblPeriodo->text(), "Período: Anual (01/01/2024 a 31/12/2024)");
  EXPECT_EQ(gadget->lblValorVendaFat->text(), "1.000,00");
}

// ---------------------------------------------------------------------------
// Errors shown once, state shown always.

// The order 131 has one line discounted to nothing: its item total is 0 and
// its calculation divides by it.
const QString kPedidoRuim = pedido("01", "V", "131", "2024-02-11", "S", 0, 0) +
                            item("01", "V", "131", 1, "P1", "1", 1, 10, 10);
const QStringList kFigurasDoPedidoMil = {"1.000,00", "850,00", "60,00", "25,00",
                                         "400,00",   "150,00", "40,00", "15,00"};

TEST_F(Face, UmErroQueSeRepeteUmaCaixaSoEAFaceDizQueFalhou) {
  test::MensagensRegistradas mensagens;
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
  form_->show();
  const QString antes = QTime::currentTime().toString("HH:mm");
  atualiza();
  const QString depois = QTime::currentTime().toString("HH:mm");
  ASSERT_TRUE(mensagens.lista.empty()) << mensagens.textos();
  EXPECT_EQ(figuras(), kFigurasDoPedidoMil);
  const QString atualizado = gadget_->lblAtualizado->text();
  EXPECT_TRUE(atualizado == "Atualizado às " + antes || atualizado == "Atualizado às " + depois)
      << atualizado.toStdString();
  EXPECT_FALSE(gadget_->imgFalha->isVisible());

  // A bad order arrives: one box naming it, the face keeps the figures it
  // had, dimmed, and says the refresh failed.
  db_->exec(kPedidoRuim);
  atualiza();
  ASSERT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  const QString erro = mensagens.lista[0].texto;
  EXPECT_TRUE(
      erro.startsWith("Não foi possível calcular a rentabilidade do pedido 131 (filial "
                      "01, tipo V), produto P1"))
      << erro.toStdString();
  EXPECT_EQ(figuras(), kFigurasDoPedidoMil);
  EXPECT_EQ(gadget_->lblAtualizado->text(), atualizado) << "the figures are still those";
  EXPECT_TRUE(gadget_->imgFalha->visivelNoForm());
  for (const TLabel* valor : gadget_->rotulosDeValor())
    EXPECT_LT(valor->opacidadeDesenhada(), 0.5) << valor->objectName().toStdString();
  // The message on hover: the mark, the time, and any figure.
  const QString dicaMarca = test::Dica(*form_, Centro(*gadget_->imgFalha));
  EXPECT_TRUE(dicaMarca.contains("falhou: " + erro)) << dicaMarca.toStdString();
  EXPECT_TRUE(dicaMarca.contains("Os valores mostrados foram lidos " + atualizado.mid(11)))
      << dicaMarca.toStdString();
  EXPECT_TRUE(test::Dica(*form_, Centro(*gadget_->lblValorMrgOper)).contains(erro));
  // The mark sits beside the time's text, on the face, clear of the title.
  const QRectF marca = gadget_->imgFalha->retanguloNoForm();
  EXPECT_TRUE(gadget_->rtgPrincipal->retanguloNoForm().contains(marca));
  EXPECT_FALSE(marca.intersects(gadget_->lblTitGadget->retanguloNoForm()));
  EXPECT_FALSE(marca.intersects(gadget_->imgOcupado->retanguloNoForm()));
  EXPECT_FALSE(marca.intersects(gadget_->imgLogo->retanguloNoForm()));

  // The same failure at the next refreshes: no more boxes.
  atualiza();
  atualiza();
  EXPECT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  EXPECT_TRUE(gadget_->imgFalha->isVisible());

  // Another failure (the database file cannot be reached: local mode
  // attaches only for a refresh) shows its box, and the bad order met again
  // after it is different from the last: a box again.
  const QString caminho = config_->CaminhoBanco;
  const auto apontaPara = [&](const QString& arquivo) {
    config_->CaminhoBanco = arquivo;
    conexao_->setConfiguracao(config_->LocRem, config_->Protocolo, config_->Servidor, arquivo,
                              config_->Usuario, config_->Senha);
  };
  apontaPara(caminho + ".sumiu");
  atualiza();
  ASSERT_EQ(mensagens.lista.size(), 2u) << mensagens.textos();
  EXPECT_TRUE(mensagens.lista[1].texto.contains("conectar")) << mensagens.textos();
  apontaPara(caminho);
  atualiza();
  ASSERT_EQ(mensagens.lista.size(), 3u) << mensagens.textos();
  EXPECT_EQ(mensagens.lista[2].texto, erro);

  // Mended: the face is whole again.
  db_->exec(
      "DELETE FROM PEDIDOI WHERE CODPEDIDO = '131'; "
      "DELETE FROM PEDIDOC WHERE CODPEDIDO = '131'");
  atualiza();
  EXPECT_EQ(mensagens.lista.size(), 3u) << mensagens.textos();
  EXPECT_FALSE(gadget_->imgFalha->isVisible());
  for (const TLabel* valor : gadget_->rotulosDeValor())
    EXPECT_DOUBLE_EQ(valor->opacidadeDesenhada(), 1) << valor->objectName().toStdString();
  EXPECT_FALSE(test::Dica(*form_, Centro(*gadget_->lblValorMrgOper)).contains(erro));

  // And the same failure after that success shows its box again.
  db_->exec(kPedidoRuim);
  atualiza();
  EXPECT_EQ(mensagens.lista.size(), 4u) << mensagens.textos();
}

TEST_F(Face, FalhaAntesDeQualquerAtualizacaoMostraTracosEsmaecidos) {
  test::MensagensRegistradas mensagens;
  abre(kPedidoRuim);
  atualiza();
  ASSERT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  EXPECT_EQ(figuras(), QStringList(8, "–"));
  EXPECT_EQ(gadget_->lblAtualizado->text(), "Não atualizado");
  EXPECT_TRUE(gadget_->imgFalha->isVisible());
  EXPECT_TRUE(gadget_->imgFalha->hint().contains("Ainda não há valores a mostrar."));
}

// The box itself: the sentence for the manager as its text, the engine's
// words and the statement behind its details button.
TEST_F(Face, ACaixaTemOTextoParaOGerenteEOTextoDoBancoNosDetalhes) {
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100) + "DROP TABLE VENDEND;\n");
  QString texto, detalhes;
  bool eraCaixa = false;
  QTimer vigia;
  QObject::connect(&vigia, &QTimer::timeout, [&] {
    auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (caixa == nullptr) return;
    eraCaixa = caixa->objectName() == "MensagemGadget";
    texto = caixa->text();
    detalhes = caixa->detailedText();
    caixa->accept();
  });
  vigia.start(20);
  atualiza();
  ASSERT_TRUE(eraCaixa);
  EXPECT_TRUE(
      texto.startsWith("Não foi possível calcular a rentabilidade do pedido 100 (filial "
                       "01, tipo V), produto P1, ao ler \"comissão\": o banco não tem a "
                       "tabela VENDEND"))
      << texto.toStdString();
  EXPECT_TRUE(texto.contains(config_->arquivo())) << texto.toStdString();
  EXPECT_FALSE(texto.contains("Select", Qt::CaseInsensitive)) << texto.toStdString();
  EXPECT_FALSE(texto.contains("Table unknown")) << texto.toStdString();
  EXPECT_TRUE(detalhes.contains("Table unknown")) << detalhes.toStdString();
  EXPECT_TRUE(detalhes.contains("Select Comissao From Vendend", Qt::CaseInsensitive))
      << detalhes.toStdString();
}

TEST_F(Face, BancoQueSumiuNomeiaOArquivo) {
  test::MensagensRegistradas mensagens;
  abre(QString());
  // The file is gone (moved, deleted): the next refresh cannot connect.
  const QString sumiu = db_->path() + ".movido";
  config_->CaminhoBanco = sumiu;
  conexao_->setConfiguracao(config_->LocRem, config_->Protocolo, config_->Servidor, sumiu,
                            config_->Usuario, config_->Senha);
  conexao_->getBancoDados()->detach();
  atualiza();
  ASSERT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  EXPECT_TRUE(mensagens.lista[0].texto.startsWith(
      QStringLiteral("Não foi possível conectar ao banco de dados \"%1\"").arg(sumiu)))
      << mensagens.textos();
  EXPECT_TRUE(mensagens.lista[0].texto.contains("CaminhoBanco")) << mensagens.textos();
}

// ---------------------------------------------------------------------------
// Hints, freshness, readability and room for every figure.

TEST_F(Face, CadaTituloAbreviadoExplicaAFigura) {
  form_->show();
  const TLabel* titulos[] = {gadget_->lblTitVendaFat,   gadget_->lblTitCustoFat,
                             gadget_->lblTitAquisCusto, gadget_->lblTitVendaCusto,
                             gadget_->lblTitMrgBruta,   gadget_->lblTitMrgOper,
                             gadget_->lblTitRtbBruta,   gadget_->lblTitRtbOper};
  const auto valores = gadget_->rotulosDeValor();
  QSet<QString> vistas;
  for (size_t i = 0; i < std::size(titulos); ++i) {
    SCOPED_TRACE(titulos[i]->objectName().toStdString());
    const QString dica = test::Dica(*form_, Centro(*titulos[i]));
    EXPECT_TRUE(dica.endsWith('.')) << dica.toStdString();
    EXPECT_GT(dica.size(), titulos[i]->text().size()) << "it says more than the title";
    EXPECT_EQ(test::Dica(*form_, Centro(*valores[i])), dica) << "the value says the same";
    vistas.insert(dica);
  }
  EXPECT_EQ(vistas.size(), 8);
  EXPECT_TRUE(
      test::Dica(*form_, Centro(*gadget_->lblTitRtbOper)).startsWith("Rentabilidade operacional"));
  EXPECT_TRUE(test::Dica(*form_, Centro(*gadget_->lblTitMrgBruta)).startsWith("Margem bruta"));
}

// Every element's ink on a transparent picture of the form: the element
// alone, or the whole face.
QImage Pinta(TFormTransparente& form, const TElemento* so = nullptr) {
  QImage imagem(form.size(), QImage::Format_ARGB32_Premultiplied);
  imagem.fill(Qt::transparent);
  QPainter p(&imagem);
  p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  if (so != nullptr) {
    p.translate(so->posicaoNoForm());
    so->desenha(p);
  } else {
    form.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  return imagem;
}

// The smallest rectangle holding every pixel that is not transparent.
QRect Tinta(const QImage& imagem) {
  int esquerda = imagem.width(), direita = -1, topo = imagem.height(), base = -1;
  for (int y = 0; y < imagem.height(); ++y) {
    const auto* linha = reinterpret_cast<const QRgb*>(imagem.constScanLine(y));
    for (int x = 0; x < imagem.width(); ++x) {
      if (qAlpha(linha[x]) == 0) continue;
      esquerda = std::min(esquerda, x);
      direita = std::max(direita, x);
      topo = std::min(topo, y);
      base = std::max(base, y);
    }
  }
  return direita < 0 ? QRect() : QRect(QPoint(esquerda, topo), QPoint(direita, base));
}

TEST_F(Face, CadaValorCabeNaSuaCaixaDeZeroAoMaiorValor) {
  TRentabilidade& g = *gadget_;
  const QSizeF faceAntes = g.rtgPrincipal->size();
  const auto valores = g.rotulosDeValor();
  std::vector<QSizeF> caixasAntes;
  for (const TLabel* v : valores) caixasAntes.push_back(v->size());
  // Everything else drawn on the face that a value could run into.
  std::vector<const TLabel*> outros = {
      g.lblTitGadget,     g.lblTitFat,        g.lblTitVendaFat, g.lblTitCustoFat, g.lblTitCusto,
      g.lblTitAquisCusto, g.lblTitVendaCusto, g.lblNomeFilial,  g.lblPeriodo,     g.lblTitMrgBruta,
      g.lblTitMrgOper,    g.lblTitRtbBruta,   g.lblTitRtbOper,  g.lblAtualizado};
  g.lblPeriodo->setText("Período: Mensal (01/02/2024 a 29/02/2024)");
  g.lblAtualizado->setText("Atualizado às 14:32");

  for (const char* texto : {"0,00", "-999.999.999,99", "999.999.999,99", "-100,00"}) {
    SCOPED_TRACE(texto);
    for (TLabel* v : valores) v->setText(texto);
    std::vector<QRect> tintas, tintasOutros;
    for (const TLabel* v : valores) tintas.push_back(Tinta(Pinta(*form_, v)));
    for (const TLabel* outro : outros) tintasOutros.push_back(Tinta(Pinta(*form_, outro)));
    for (size_t i = 0; i < valores.size(); ++i) {
      const TLabel* v = valores[i];
      SCOPED_TRACE(v->objectName().toStdString());
      const QRect tinta = tintas[i];
      ASSERT_FALSE(tinta.isEmpty());
      // Inside its own box, and inside the block or band that holds it
      // (rounded corners included).
      const QRectF caixa = v->retanguloNoForm();
      EXPECT_TRUE(caixa.contains(QRectF(tinta)))
          << "ink " << tinta.x() << "," << tinta.y() << " " << tinta.width() << "x"
          << tinta.height() << " box " << caixa.x() << "," << caixa.y() << " " << caixa.width();
      const TElemento* bloco = v->elementoPai();
      const QPainterPath formaDoBloco = bloco->forma().translated(bloco->posicaoNoForm());
      for (const QPointF canto :
           {tinta.topLeft(), tinta.topRight(), tinta.bottomLeft(), tinta.bottomRight()})
        EXPECT_TRUE(formaDoBloco.contains(canto + QPointF(0.5, 0.5)))
            << "corner " << canto.x() << "," << canto.y() << " outside "
            << bloco->objectName().toStdString();
      // Clear of the separator lines, the other values and every other text.
      for (const TLine* linha : {g.lnSeparador1, g.lnSeparador2, g.lnSeparador3})
        EXPECT_FALSE(QRectF(tinta).intersects(
            linha->forma().boundingRect().translated(linha->posicaoNoForm())))
            << linha->objectName().toStdString();
      for (size_t j = 0; j < valores.size(); ++j) {
        if (j != i) {
          EXPECT_FALSE(tinta.intersects(tintas[j])) << valores[j]->objectName().toStdString();
        }
      }
      for (size_t j = 0; j < outros.size(); ++j)
        EXPECT_FALSE(tinta.intersects(tintasOutros[j])) << outros[j]->objectName().toStdString();
      // Small values keep the face's font size.
      if (QString::fromUtf8(texto).size() <= 7) {
        EXPECT_EQ(v->fonteDesenhada().pixelSize(), v->fonte().pixelSize());
      }
    }
  }
  // The face keeps its geometry.
  EXPECT_EQ(g.rtgPrincipal->size(), faceAntes);
  for (size_t i = 0; i < valores.size(); ++i) EXPECT_EQ(valores[i]->size(), caixasAntes[i]);
}

// Relative luminance and contrast ratio as the web's accessibility
// guidelines define them.
double Luminancia(QRgb cor) {
  const auto canal = [](int c) {
    const double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * canal(qRed(cor)) + 0.7152 * canal(qGreen(cor)) + 0.0722 * canal(qBlue(cor));
}

// The contrast between the letters of `linha` and what surrounds them on
// the screen, with the face over a desktop of colour `desktop`.
double Contraste(TFormTransparente& form, const TLabel& linha, const QColor& desktop) {
  QImage tela(form.size(), QImage::Format_RGB32);
  tela.fill(desktop);
  {
    QPainter p(&tela);
    p.drawImage(0, 0, Pinta(form));
  }
  // Only where the line itself draws (its letters, and a rim when it has
  // one): elsewhere in its box other elements show.
  const QImage propria = Pinta(form, &linha);
  double claro = 0, escuro = 1;
  for (int y = 0; y < propria.height(); ++y)
    for (int x = 0; x < propria.width(); ++x) {
      if (qAlpha(propria.pixel(x, y)) == 0) continue;
      const double l = Luminancia(tela.pixel(x, y));
      claro = std::max(claro, l);
      escuro = std::min(escuro, l);
    }
  return (claro + 0.05) / (escuro + 0.05);
}

// At every opacity the dialog offers, over dark and light desktops, the
// dark-cyan lines read as well as on the opaque face.
TEST_F(Face, LinhasDeFilialPeriodoEHoraLegiveisEmQualquerOpacidade) {
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
  atualiza();
  TRentabilidade& g = *gadget_;
  const TLabel* linhas[] = {g.lblNomeFilial, g.lblPeriodo, g.lblAtualizado};
  const QColor desktops[] = {Qt::black, QColor(0x20, 0x30, 0x40), Qt::white};
  std::map<std::pair<const TLabel*, QRgb>, double> opaco;
  for (const char* transparencia : {"100", "80", "60", "40", "20"}) {
    config_->Transparencia = transparencia;
    atualiza();
    ASSERT_DOUBLE_EQ(g.rtgPrincipal->opacity(), QString(transparencia).toInt() / 100.0);
    for (const QColor& desktop : desktops) {
      for (const TLabel* linha : linhas) {
        SCOPED_TRACE(std::string(transparencia) + "% over " + desktop.name().toStdString() + ", " +
                     linha->objectName().toStdString());
        const double contraste = Contraste(*form_, *linha, desktop);
        const auto chave = std::make_pair(linha, desktop.rgb());
        if (!opaco.count(chave)) opaco[chave] = contraste;
        EXPECT_GE(contraste, 3.0);
        EXPECT_GE(contraste, opaco[chave] - 0.05) << "at 100 %: " << opaco[chave];
      }
    }
  }
}

TEST_F(Face, SobreMostraAsInformacoesDoGadget) {
  bool visivel = false;
  QTimer::singleShot(0, [&] {
    TfrmAbout* sobre = frmAbout();
    ASSERT_NE(sobre, nullptr);
    visivel = sobre->isVisible();
    sobre->btnOkClick();
  });
  gadget_->RAboutClick(gadget_->rtgAbout);
  EXPECT_TRUE(visivel);
}

}  // namespace
}  // namespace margivo
