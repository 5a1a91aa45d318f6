// The fast refresh against the per-item one on sample databases: each
// distinct look-up answered from memory within a refresh must leave every
// figure, label, total and call count exactly as running every look-up for
// every item does, and fail on the same order and product.
#include <gtest/gtest.h>

#include <QDate>
#include <QTemporaryDir>
#include <memory>

#include "engine/dmrent.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/database.h"
#include "framework/regional.h"
#include "gadget/atualizacao.h"
#include "sampledb/sampledb.h"
#include "tests/support/testenv.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

const QDate kHoje(2024, 6, 15);

// One refresh's outcome: the result, the error message if it failed and the
// statements it ran.
struct Rodada {
  ResultadoAtualizacao resultado;
  QString erro;
  std::uint64_t execucoes = 0;
};

class FastPathTest : public ::testing::Test {
 protected:
  void SetUp() override { setRegionalSettings(RegionalSettings::brazilian()); }

  // A sample database from the generator with `opcoes` (today kHoje).
  void cria(sampledb::DemoOptions opcoes) {
    banco_ = pasta_.path() + QStringLiteral("/amostra%1.fdb").arg(++bancos_);
    Database database;
    sampledb::createDatabase(database, banco_);
    opcoes.today = kHoje;
    sampledb::generateDemoData(database, opcoes);
  }

  // Changes the database's cost policy.
  void tipoCusto(int tipo) {
    Database database;
    database.attach(banco_, QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
    database.executeImmediate(
        QStringLiteral("UPDATE PARARENTABILIDADE SET TIPOCUSTO = %1").arg(tipo));
  }

  // One refresh with the gadget section `secao`, on the fast path or not.
  Rodada atualiza(const QString& secao, bool rapido, const QDate& hoje = kHoje) {
    home_.writeIniText(test::arquivoIni(banco_, secao));
    TConfig config(QStringLiteral("Trovesk"));
    config.CarregarIni();
    config.InstanciaVariaveis(QStringLiteral("VQM"));
    // The start-up reads an empty Empresa as "00"; "Empresa=" here means
    // every branch, as the report tool's --empresa "".
    if (secao.startsWith(QStringLiteral("Empresa=\n"))) config.Empresa.clear();
    TConexao conexao;
    conexao.setConfiguracao(config.LocRem, config.Protocolo, config.Servidor, config.CaminhoBanco,
                            config.Usuario, config.Senha);
    EXPECT_TRUE(conexao.conectarBanco());
    TAtualizacaoRentabilidade atualizacao(conexao, config);
    atualizacao.setHoje(hoje);
    OpcoesAtualizacao opcoes;
    opcoes.guardarItens = true;
    opcoes.caminhoRapido = rapido;
    Rodada rodada;
    const std::uint64_t antes = conexao.getBancoDados()->stats().executions;
    try {
      atualizacao.IniciarGadget(rodada.resultado, opcoes);
    } catch (const std::exception& erro) {
      rodada.erro = QString::fromUtf8(erro.what());
    }
    rodada.execucoes = conexao.getBancoDados()->stats().executions - antes;
    return rodada;
  }

  // Both paths on the same settings give the same outcome, figure for figure.
  // Returns the fast one.
  Rodada comparaCaminhos(const QString& secao, const std::string& caso) {
    SCOPED_TRACE(caso);
    const Rodada porItem = atualiza(secao, false);
    const Rodada rapido = atualiza(secao, true);
    const ResultadoAtualizacao& a = porItem.resultado;
    const ResultadoAtualizacao& b = rapido.resultado;
    EXPECT_EQ(rapido.erro, porItem.erro);
    EXPECT_EQ(b.lblNomeFilial, a.lblNomeFilial);
    EXPECT_EQ(b.lblPeriodo, a.lblPeriodo);
    for (const FiguraPainel& figura : kFigurasPainel)
      EXPECT_EQ(b.*figura.texto, a.*figura.texto) << figura.rotulo;
    EXPECT_EQ(b.rows, a.rows);
    EXPECT_EQ(b.chamadasProduto, a.chamadasProduto);
    EXPECT_EQ(b.chamadasFrete, a.chamadasFrete);
    for (const auto& [nome, campo] : kCamposTotais)
      EXPECT_EQ(b.totais.*campo, a.totais.*campo) << nome;
    EXPECT_EQ(b.itens.size(), a.itens.size());
    for (std::size_t i = 0; i < std::min(a.itens.size(), b.itens.size()); ++i) {
      const ItemCalculado& x = a.itens[i];
      const ItemCalculado& y = b.itens[i];
      const std::string onde = "item " + std::to_string(i) + " pedido " +
                               x.CODPEDIDO.toStdString() + " produto " + x.CODPROD.toStdString();
      EXPECT_EQ(y.opcao, x.opcao) << onde;
      EXPECT_EQ(y.CODEMPRESA, x.CODEMPRESA) << onde;
      EXPECT_EQ(y.CODPEDIDO, x.CODPEDIDO) << onde;
      EXPECT_EQ(y.CODPROD, x.CODPROD) << onde;
      EXPECT_EQ(y.CODGRADE, x.CODGRADE) << onde;
      for (const auto& [nome, campo] : kCamposItem)
        EXPECT_EQ(y.figuras.*campo, x.figuras.*campo) << onde << ' ' << nome;
    }
    // The fast path must actually save statements once there are items.
    if (a.rows > 1) {
      EXPECT_LT(rapido.execucoes, porItem.execucoes);
    }
    return rapido;
  }

  QTemporaryDir pasta_;
  test::TestConfigHome home_;
  QString banco_;
  int bancos_ = 0;
};

// A year of a few branches, every payment kind, under every cost policy, every
// order kind and both the configured branch and every branch.
TEST_F(FastPathTest, MesmoResultadoQueOCaminhoPorItem) {
  for (const std::uint32_t seed : {7u, 31u}) {
    sampledb::DemoOptions opcoes;
    opcoes.seed = seed;
    opcoes.items = seed == 7u ? 1500 : 600;
    opcoes.branches = 2;
    cria(opcoes);
    const std::string base = "seed " + std::to_string(seed);
    for (int tipo = 1; tipo <= 5; ++tipo) {
      tipoCusto(tipo);
      const Rodada r = comparaCaminhos("Empresa=\nPeriodo=3\nMostraPedidos=2\n",
                                       base + " TipoCusto " + std::to_string(tipo) + " todas");
      EXPECT_GT(r.resultado.rows, 0);
    }
    tipoCusto(2);
    for (const char* mostra : {"0", "1", "2"}) {
      comparaCaminhos(QStringLiteral("Empresa=01\nPeriodo=3\nMostraPedidos=%1\n").arg(mostra),
                      base + " Empresa 01 MostraPedidos " + mostra);
    }
    comparaCaminhos("Empresa=02\nPeriodo=2\nMostraPedidos=2\n", base + " Empresa 02 mês");
  }
}

// The fixed orders of every payment kind alone (no random items), under each
// cost policy.
TEST_F(FastPathTest, PedidosFixosDeCadaPagamento) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 3;
  opcoes.items = 0;
  cria(opcoes);
  for (int tipo = 1; tipo <= 5; ++tipo) {
    tipoCusto(tipo);
    const Rodada r = comparaCaminhos("Empresa=01\nPeriodo=0\nMostraPedidos=0\n",
                                     "dia, TipoCusto " + std::to_string(tipo));
    EXPECT_GT(r.resultado.rows, 0);
    EXPECT_TRUE(r.erro.isEmpty()) << r.erro.toStdString();
  }
}

// An order whose item has quantity 0 divides by zero: both paths stop at the
// same order and product with the same message.
TEST_F(FastPathTest, ErroAritmeticoNoMesmoPedido) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 11;
  opcoes.items = 300;
  opcoes.badOrders = 2;
  cria(opcoes);
  const Rodada r = comparaCaminhos("Empresa=01\nPeriodo=0\nMostraPedidos=2\n", "pedido ruim");
  EXPECT_TRUE(r.erro.contains(QStringLiteral("CODPEDIDO="))) << r.erro.toStdString();
  EXPECT_TRUE(r.erro.contains(QStringLiteral("CODPROD="))) << r.erro.toStdString();
}

// A period without orders costs the order-items query and the parameter row
// read at set-up, nothing per item.
TEST_F(FastPathTest, PeriodoVazioPoucasInstrucoes) {
  sampledb::DemoOptions opcoes;
  opcoes.items = 200;
  cria(opcoes);
  const Rodada r = atualiza("Empresa=\nPeriodo=2\nMostraPedidos=2\n", true, QDate(2030, 3, 10));
  EXPECT_TRUE(r.erro.isEmpty()) << r.erro.toStdString();
  EXPECT_EQ(r.resultado.rows, 0);
  EXPECT_LE(r.execucoes, 3u);
}

}  // namespace
}  // namespace margivo
