// The profitability gadget's face and its refresh on a real database file:
// every shape, label and colour of the face, the logo over the top edge, the
// figures a refresh writes (also with no rows and when the sale total is 0),
// the reconnection of a lost connection, and the settings and about actions.
#include <gtest/gtest.h>

#include <QDate>
#include <QTimer>
#include <memory>

#include "desktop/desktop_linux.h"
#include "dialogs/about.h"
#include "dialogs/confgadget.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/database.h"
#include "framework/gui/imagensicones.h"
#include "framework/regional.h"
#include "gadget/rentabilidade.h"
#include "tests/support/testdb.h"
#include "tests/test_gadget_apoio.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

using test::Aguarda;
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
    ASSERT_TRUE(conexao_->conectarBanco());
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
  EXPECT_TRUE(conexao_->conectado());
  EXPECT_EQ(gadget_->lblValorVendaFat->text(), "1.000,00");
}

// The server ended the gadget's attachment (a restart, a cut network): the
// refresh that meets it fails with the database's error, the next one
// connects again and shows the figures.
TEST_F(Face, ConexaoDerrubadaFalhaUmaVezEAProximaAtualizacaoReconecta) {
  test::MensagensRegistradas mensagens;
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
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

TEST_F(Face, ConfiguracaoPedidaDuranteUmaAtualizacaoAbreNoFimDela) {
  abre(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
       item("01", "V", "100", 1, "P1", "1", 10, 100));
  bool abriuDuranteAtualizacao = false, abriu = false;
  QTimer vigia;
  QObject::connect(&vigia, &QTimer::timeout, [&] {
    TFrmConfiguracao* dialogo = FrmConfiguracao();
    if (dialogo == nullptr || !dialogo->isVisible()) return;
    abriu = true;
    abriuDuranteAtualizacao = gadget_->atualizando();
    dialogo->BtnCancelarConfClick();
  });
  vigia.start(10);
  gadget_->Atualiza(gadget_.get());
  ASSERT_TRUE(gadget_->atualizando());
  gadget_->RConfClick(gadget_->rtgConfig);  // returns at once: the refresh is working
  ASSERT_TRUE(Aguarda([&] { return abriu; }));
  EXPECT_FALSE(abriuDuranteAtualizacao);
  EXPECT_EQ(gadget_->lblValorVendaFat->text(), "1.000,00");
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
