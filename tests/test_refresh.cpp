// The refresh on a real database file: the engine calls of the product and
// freight passes, the eight figures and their formatting, the labels written
// when a refresh fails part-way, and the read snapshot ending with the refresh.
#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <memory>

#include "engine/dmrent.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/regional.h"
#include "gadget/atualizacao.h"
#include "tests/support/testdb.h"
#include "tests/support/testenv.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

using test::item;
using test::pedido;

// The order of 1 000.00 whose items cost 600.00 and whose commission of 25 %
// brings the total cost to 850.00.
const QString kPedidoMil = pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
                           item("01", "V", "100", 1, "P1", "1", 10, 100);

class RefreshTest : public ::testing::Test {
 protected:
  void SetUp() override { setRegionalSettings(RegionalSettings::brazilian()); }
  void TearDown() override { setRegionalSettings(RegionalSettings::brazilian()); }

  // A database holding the parameters and `pedidos`, a settings file for it
  // (branch 01, this month, every order) and a connection.
  void abre(const QString& pedidos,
            const QString& secaoGadget = "Empresa=01\nPeriodo=2\nMostraPedidos=2\n") {
    db_ = std::make_unique<test::TestDatabase>(test::kParametros + pedidos);
    home_.writeIniText(test::arquivoIni(db_->path(), secaoGadget));
    config_ = std::make_unique<TConfig>("Trovesk");
    config_->CarregarIni();
    config_->InstanciaVariaveis("VQM");
    conexao_ = std::make_unique<TConexao>();
    conexao_->setConfiguracao(config_->LocRem, config_->Protocolo, config_->Servidor,
                              config_->CaminhoBanco, config_->Usuario, config_->Senha);
    ASSERT_NO_THROW(conexao_->conectarBanco());
  }

  // One refresh counted from 14/02/2024, keeping the items; throws as the
  // refresh does, leaving what it wrote in `resultado`.
  void atualiza(ResultadoAtualizacao& resultado, OpcoesAtualizacao opcoes = {}) {
    TAtualizacaoRentabilidade atualizacao(*conexao_, *config_);
    atualizacao.setHoje(QDate(2024, 2, 14));
    opcoes.guardarItens = true;
    atualizacao.IniciarGadget(resultado, opcoes);
  }
  ResultadoAtualizacao atualiza() {
    ResultadoAtualizacao resultado;
    atualiza(resultado);
    return resultado;
  }

  static QStringList textos(const ResultadoAtualizacao& r) {
    QStringList lista;
    for (const FiguraPainel& figura : kFigurasPainel) {
      lista << (r.*figura.texto).value_or(QStringLiteral("<não escrito>"));
    }
    return lista;
  }

  test::TestConfigHome home_;
  std::unique_ptr<test::TestDatabase> db_;
  std::unique_ptr<TConfig> config_;
  std::unique_ptr<TConexao> conexao_;
};

TEST_F(RefreshTest, SemPedidosNoPeriodoMostraZeros) {
  // An order of another month does not count.
  abre(pedido("01", "V", "JAN", "2024-01-31", "S", 5, 100) +
       item("01", "V", "JAN", 1, "P1", "1", 1, 100));
  const ResultadoAtualizacao r = atualiza();
  EXPECT_EQ(r.lblNomeFilial.value_or(""), "LOJA CENTRO");
  EXPECT_EQ(r.lblPeriodo.value_or(""), "Período: Mensal (01/02/2024 a 29/02/2024)");
  EXPECT_EQ(r.DataInicial, "01/02/2024");
  EXPECT_EQ(r.DataFinal, "29/02/2024");
  EXPECT_EQ(r.rows, 0);
  EXPECT_EQ(r.chamadasProduto, 0);
  EXPECT_EQ(r.chamadasFrete, 0);
  EXPECT_EQ(r.totais, TotaisRentabilidade{});
  EXPECT_EQ(textos(r), QStringList(8, "0,00"));
}

TEST_F(RefreshTest, TresProdutosEFreteDaoTresCalculosDeProdutoEUmDeFrete) {
  abre(pedido("01", "V", "200", "2024-02-10", "S", 10, 180) +
       item("01", "V", "200", 1, "P1", "1", 1, 100) + item("01", "V", "200", 2, "P2", "1", 1, 50) +
       item("01", "V", "200", 3, "P3", "1", 2, 15));
  const ResultadoAtualizacao r = atualiza();
  EXPECT_EQ(r.rows, 3);
  EXPECT_EQ(r.chamadasProduto, 3);
  EXPECT_EQ(r.chamadasFrete, 1);
  ASSERT_EQ(r.itens.size(), 4u);
  QSet<QString> produtos;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(r.itens[i].opcao, "Produto");
    produtos.insert(r.itens[i].CODPROD);
  }
  EXPECT_EQ(produtos, (QSet<QString>{"P1", "P2", "P3"}));
  const ItemCalculado& frete = r.itens[3];
  EXPECT_EQ(frete.opcao, "Frete");
  EXPECT_EQ(frete.CODEMPRESA, "01");
  EXPECT_EQ(frete.TIPOPEDIDO, "V");
  EXPECT_EQ(frete.CODPEDIDO, "200");
  EXPECT_DOUBLE_EQ(frete.figuras.MAquisicao, 10);
  EXPECT_DOUBLE_EQ(frete.figuras.MValorDaVenda, 10);
  EXPECT_DOUBLE_EQ(frete.figuras.MQtdeVendida, 1);
  // Items 100 + 50 + 30 and the freight.
  EXPECT_DOUBLE_EQ(r.totais.MTotValorDaVenda, 190);
  EXPECT_DOUBLE_EQ(r.totais.MTotCustoParcVd, 60 + 30 + 20 + 10);
}

TEST_F(RefreshTest, PedidoComFreteZeroNaoTemCalculoDeFrete) {
  abre(pedido("01", "V", "300", "2024-02-10", "S", 0, 150) +
       item("01", "V", "300", 1, "P1", "1", 1, 100) + item("01", "V", "300", 2, "P2", "1", 1, 50));
  const ResultadoAtualizacao r = atualiza();
  EXPECT_EQ(r.chamadasProduto, 2);
  EXPECT_EQ(r.chamadasFrete, 0);
}

// An order is known by its CODPEDIDO alone, without regard to case: of the
// orders sharing a number only the first met gets its freight.
TEST_F(RefreshTest, FreteUmaVezPorCodPedido) {
  abre(pedido("01", "V", "400", "2024-02-10", "S", 10, 100) +
       item("01", "V", "400", 1, "P1", "1", 1, 100) +
       pedido("01", "P", "400", "2024-02-11", "S", 20, 50) +
       item("01", "P", "400", 1, "P2", "1", 1, 50) +
       pedido("01", "V", "a7", "2024-02-12", "S", 7, 10) +
       item("01", "V", "a7", 1, "P3", "1", 1, 10) +
       pedido("01", "P", "A7", "2024-02-12", "S", 9, 10) +
       item("01", "P", "A7", 1, "P3", "1", 1, 10));
  const ResultadoAtualizacao r = atualiza();
  EXPECT_EQ(r.chamadasProduto, 4);
  ASSERT_EQ(r.chamadasFrete, 2);
  ASSERT_EQ(r.itens.size(), 6u);
  // The freight calls follow the product pass and take the first row met of
  // each number: the product pass walked the rows in that same order.
  for (const QString& numero : {QStringLiteral("400"), QStringLiteral("a7")}) {
    SCOPED_TRACE(numero.toStdString());
    const auto primeiro = std::find_if(r.itens.begin(), r.itens.begin() + 4, [&](const auto& i) {
      return i.CODPEDIDO.compare(numero, Qt::CaseInsensitive) == 0;
    });
    const auto frete = std::find_if(r.itens.begin() + 4, r.itens.end(), [&](const auto& i) {
      return i.CODPEDIDO.compare(numero, Qt::CaseInsensitive) == 0;
    });
    ASSERT_NE(frete, r.itens.end());
    EXPECT_EQ(frete->TIPOPEDIDO, primeiro->TIPOPEDIDO);
    EXPECT_EQ(frete->CODPEDIDO, primeiro->CODPEDIDO);
    const double freteDoPrimeiro = numero == "400" ? (primeiro->TIPOPEDIDO == "V" ? 10 : 20)
                                                   : (primeiro->TIPOPEDIDO == "V" ? 7 : 9);
    EXPECT_DOUBLE_EQ(frete->figuras.MValorDaVenda, freteDoPrimeiro);
  }
}

TEST_F(RefreshTest, OitoFigurasDoPainel) {
  abre(kPedidoMil);
  const ResultadoAtualizacao r = atualiza();
  EXPECT_DOUBLE_EQ(r.totais.MTotValorDaVenda, 1000);
  EXPECT_DOUBLE_EQ(r.totais.MTotCustoParcVd, 600);
  EXPECT_DOUBLE_EQ(r.totais.MTotCustoTotVd, 850);
  EXPECT_EQ(textos(r), (QStringList{"1.000,00", "850,00", "60,00", "25,00", "400,00", "150,00",
                                    "40,00", "15,00"}));
}

// The profitability labels relate the period's margins to the period's sale,
// whatever order the engine met last.
TEST_F(RefreshTest, RentabilidadeDoPeriodoNaoDependeDaOrdemDasLinhas) {
  abre(kPedidoMil + pedido("01", "V", "101", "2024-02-11", "S", 0, 100, 0) +
       item("01", "V", "101", 1, "P3", "1", 1, 100));
  const ResultadoAtualizacao r = atualiza();
  // Sale 1 100, gross margin 400 + 90, operating margin 150 + 90.
  EXPECT_EQ(r.lblValorRtbBruta.value_or(""), "44,55");
  EXPECT_EQ(r.lblValorRtbOper.value_or(""), "21,82");
}

TEST_F(RefreshTest, FormatoDosNumerosSegueAsConfiguracoesRegionais) {
  // Sale 1 234 567.89 at a cost 45.50 above it.
  const QString pedidos =
      QStringLiteral(
          "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC, COMISSAO) VALUES ('P9', 'CARO', "
          "0, 0);\nINSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES "
          "('P9', '01', 1234613.39, 1234613.39);\n") +
      pedido("01", "V", "500", "2024-02-10", "S", 0, 1234567.89) +
      item("01", "V", "500", 1, "P9", "1", 1, 1234567.89);
  abre(pedidos);
  struct Caso {
    const char* nome;
    RegionalSettings regionais;
    const char* venda;
    const char* margem;
  };
  const Caso casos[] = {
      {"pt_BR", RegionalSettings::brazilian(), "1.234.567,89", "-45,50"},
      {"C", RegionalSettings::fromLocaleName("C"), "1,234,567.89", "-45.50"},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    setRegionalSettings(caso.regionais);
    const ResultadoAtualizacao r = atualiza();
    EXPECT_EQ(r.lblValorVendaFat.value_or(""), caso.venda);
    EXPECT_EQ(r.lblValorMrgBruta.value_or(""), caso.margem);
  }
}

TEST_F(RefreshTest, DuasAtualizacoesSeguidasDaoAsMesmasFigurasEVeemPedidosNovos) {
  abre(kPedidoMil + pedido("01", "V", "102", "2024-02-12", "S", 12.5, 100) +
       item("01", "V", "102", 1, "P2", "1", 2, 50));
  const ResultadoAtualizacao primeira = atualiza();
  const ResultadoAtualizacao segunda = atualiza();
  EXPECT_EQ(textos(primeira), textos(segunda));
  EXPECT_EQ(primeira.totais, segunda.totais);
  EXPECT_EQ(primeira.chamadasFrete, 1);

  // The refresh's snapshot ended with it: an order recorded afterwards shows
  // at the next refresh.
  EXPECT_EQ(conexao_->getBancoDados()->currentTransaction(), nullptr);
  db_->exec(pedido("01", "V", "103", "2024-02-13", "S", 0, 100) +
            item("01", "V", "103", 1, "P3", "1", 1, 100));
  const ResultadoAtualizacao terceira = atualiza();
  EXPECT_EQ(terceira.rows, primeira.rows + 1);
  EXPECT_DOUBLE_EQ(terceira.totais.MTotValorDaVenda, primeira.totais.MTotValorDaVenda + 100);
}

// Local mode: between refreshes the file is free. Another process (here
// isql-fb, as the ERP would) opens it, records an order and commits while
// the data side is idle; the next refresh sees the order.
TEST_F(RefreshTest, EntreAtualizacoesOutroProcessoAbreOArquivo) {
  abre(kPedidoMil);
  db_->database().detach();  // the test's own attachment
  const ResultadoAtualizacao primeira = atualiza();
  EXPECT_EQ(primeira.lblValorVendaFat.value_or(""), "1.000,00");
  EXPECT_FALSE(conexao_->conectado());

  const test::OtherProcessRun outro = test::runInAnotherProcess(
      db_->path(), pedido("01", "V", "104", "2024-02-13", "S", 0, 100) +
                       item("01", "V", "104", 1, "P3", "1", 1, 100) +
                       QStringLiteral("COMMIT;\nSELECT COUNT(*) AS PEDIDOS FROM PEDIDOC;\n"));
  EXPECT_TRUE(outro.succeeded()) << outro.output.toStdString();
  EXPECT_TRUE(outro.output.contains(QRegularExpression("PEDIDOS\\s*=*\\s*2\\b")))
      << outro.output.toStdString();

  const ResultadoAtualizacao segunda = atualiza();
  EXPECT_EQ(segunda.rows, primeira.rows + 1);
  EXPECT_EQ(segunda.lblValorVendaFat.value_or(""), "1.100,00");
}

// Each refresh of local mode opens the file anew: a file replaced between two
// refreshes is read as it is now; one removed fails the refresh with the
// connection's error naming the file, and the figures keep what they had.
TEST_F(RefreshTest, ArquivoSubstituidoOuRemovidoEntreAtualizacoesEPercebido) {
  abre(kPedidoMil);
  test::TestDatabase substituto(test::kParametros +
                                pedido("01", "V", "500", "2024-02-11", "S", 0, 300) +
                                item("01", "V", "500", 1, "P3", "1", 3, 100));
  substituto.database().detach();
  db_->database().detach();
  EXPECT_EQ(atualiza().lblValorVendaFat.value_or(""), "1.000,00");

  ASSERT_TRUE(QFile::remove(db_->path()));
  ASSERT_TRUE(QFile::copy(substituto.path(), db_->path()));
  EXPECT_EQ(atualiza().lblValorVendaFat.value_or(""), "300,00");

  ASSERT_TRUE(QFile::remove(db_->path()));
  ResultadoAtualizacao r;
  try {
    atualiza(r);
    ADD_FAILURE() << "a removed file was read";
  } catch (const DatabaseError& erro) {
    EXPECT_TRUE(erro.message().contains(db_->path())) << erro.what();
  }
  EXPECT_FALSE(r.lblValorVendaFat.has_value());
}

TEST_F(RefreshTest, FilialVaziaMostraTodasAsFiliais) {
  abre(kPedidoMil + pedido("02", "V", "900", "2024-02-10", "S", 0, 100) +
           item("02", "V", "900", 1, "P3", "1", 1, 100),
       "Empresa=01\nPeriodo=2\nMostraPedidos=2\n");
  config_->Empresa.clear();
  const ResultadoAtualizacao r = atualiza();
  EXPECT_EQ(r.lblNomeFilial.value_or(""), "Todas as Filiais");
  EXPECT_EQ(r.rows, 2);
  EXPECT_DOUBLE_EQ(r.totais.MTotValorDaVenda, 1100);
}

TEST_F(RefreshTest, ProgressoVaiDeZeroAoTotalDasDuasPassadas) {
  abre(kPedidoMil + pedido("01", "V", "102", "2024-02-12", "S", 12.5, 100) +
       item("01", "V", "102", 1, "P2", "1", 2, 50) + item("01", "V", "102", 2, "P3", "1", 1, 0));
  std::vector<std::pair<int, int>> chamadas;
  OpcoesAtualizacao opcoes;
  opcoes.progresso = [&](int feitas, int total) { chamadas.emplace_back(feitas, total); };

  // Rows kept in memory: every step of both passes, out of twice the rows.
  opcoes.caminhoRapido = false;
  ResultadoAtualizacao r;
  atualiza(r, opcoes);
  ASSERT_EQ(r.rows, 3);
  ASSERT_EQ(chamadas.size(), 7u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(chamadas[i], std::make_pair(i, 6));

  // Rows read as they are calculated: the product pass counts rows without a
  // total, then the freight pass runs up to twice the rows.
  chamadas.clear();
  opcoes.caminhoRapido = true;
  atualiza(r, opcoes);
  ASSERT_EQ(r.rows, 3);
  ASSERT_GE(chamadas.size(), 5u);
  for (int i = 0; i <= 3; ++i) EXPECT_EQ(chamadas[std::size_t(i)], std::make_pair(i, 0));
  for (std::size_t i = 4; i < chamadas.size(); ++i) {
    EXPECT_EQ(chamadas[i].second, 6) << i;
    EXPECT_GT(chamadas[i].first, chamadas[i - 1].first) << i;
  }
  EXPECT_EQ(chamadas.back(), std::make_pair(6, 6));
}

// A sale total of 0 after rows were found: the two "Faturamento" figures are
// written, the other six stay at zero and the refresh fails.
TEST_F(RefreshTest, VendaTotalZeroComLinhasEErroAritmetico) {
  abre(pedido("01", "V", "600", "2024-02-10", "S", 0, 100) +
       item("01", "V", "600", 1, "P1", "1", 1, 100) +
       QStringLiteral("INSERT INTO ENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRDESCONTO, "
                      "VLRDINHEIRO) VALUES ('01', 'V', '600', 100, 0);\n"));
  ResultadoAtualizacao r;
  try {
    atualiza(r);
    ADD_FAILURE() << "no error";
  } catch (const ArithmeticError& erro) {
    EXPECT_TRUE(QString::fromUtf8(erro.what()).contains("Aquisição (%)")) << erro.what();
  }
  EXPECT_DOUBLE_EQ(r.totais.MTotValorDaVenda, 0);
  EXPECT_DOUBLE_EQ(r.totais.MTotCustoTotVd, 60);
  EXPECT_EQ(textos(r),
            (QStringList{"0,00", "60,00", "0,00", "0,00", "0,00", "0,00", "0,00", "0,00"}));
  EXPECT_EQ(conexao_->getBancoDados()->currentTransaction(), nullptr);
}

TEST_F(RefreshTest, PeriodoQueNaoEInteiroParaDepoisDoNomeDaFilial) {
  abre(kPedidoMil, "Empresa=01\nPeriodo=mensal\nMostraPedidos=2\n");
  ResultadoAtualizacao r;
  EXPECT_THROW(atualiza(r), ConversionError);
  EXPECT_EQ(r.lblNomeFilial.value_or(""), "LOJA CENTRO");
  EXPECT_FALSE(r.lblPeriodo.has_value());
  EXPECT_EQ(textos(r), QStringList(8, "<não escrito>"));
}

// A kind of period outside 0-3 counts the days the settings hold and leaves
// the caption alone.
TEST_F(RefreshTest, PeriodoForaDeZeroATresUsaAsDatasDasConfiguracoes) {
  abre(kPedidoMil + pedido("01", "V", "JAN", "2024-01-20", "S", 0, 100) +
           item("01", "V", "JAN", 1, "P3", "1", 1, 100),
       "Empresa=01\nPeriodo=4\nMostraPedidos=2\nDataInicial=15/01/2024\nDataFinal=25/01/2024\n");
  const ResultadoAtualizacao r = atualiza();
  EXPECT_FALSE(r.lblPeriodo.has_value());
  EXPECT_EQ(r.DataInicial, "15/01/2024");
  EXPECT_EQ(r.DataFinal, "25/01/2024");
  EXPECT_EQ(r.rows, 1);
  EXPECT_DOUBLE_EQ(r.totais.MTotValorDaVenda, 100);
}

// An engine error names the order and product and ends the refresh; the
// snapshot is ended all the same.
TEST_F(RefreshTest, ErroDoMotorNomeiaPedidoEProduto) {
  abre(pedido("01", "V", "700", "2024-02-10", "S", 0, 100) +
       item("01", "V", "700", 1, "P2", "1", 0, 100));
  ResultadoAtualizacao r;
  try {
    atualiza(r);
    ADD_FAILURE() << "no error";
  } catch (const CalculationError& erro) {
    const QString mensagem = QString::fromUtf8(erro.what());
    for (const char* parte : {"CODEMPRESA=01", "TIPOPEDIDO=V", "CODPEDIDO=700", "CODPROD=P2"}) {
      EXPECT_TRUE(mensagem.contains(QLatin1String(parte))) << erro.what();
    }
  }
  EXPECT_FALSE(r.lblValorVendaFat.has_value());
  EXPECT_EQ(conexao_->getBancoDados()->currentTransaction(), nullptr);
}

}  // namespace
}  // namespace margivo
