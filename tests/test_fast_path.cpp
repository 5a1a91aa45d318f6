// The fast refresh against the per-item one on sample databases: each
// distinct look-up answered from memory within a refresh must leave every
// figure, label, total and call count exactly as running every look-up for
// every item does, and fail on the same order and product.
#include <gtest/gtest.h>

#include <QDate>
#include <QTemporaryDir>
#include <initializer_list>
#include <memory>
#include <optional>

#include "engine/dmrent.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/regional.h"
#include "framework/sqlcondition.h"
#include "gadget/atualizacao.h"
#include "gadget/selecaopedidos.h"
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
  std::uint64_t preparacoes = 0;
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
  // `empresa`, when given, replaces the section's Empresa as read.
  Rodada atualiza(const QString& secao, bool rapido, const QDate& hoje = kHoje,
                  const std::optional<QString>& empresa = std::nullopt) {
    home_.writeIniText(test::arquivoIni(banco_, secao));
    TConfig config(QStringLiteral("Trovesk"));
    config.CarregarIni();
    config.InstanciaVariaveis(QStringLiteral("VQM"));
    // The start-up reads an empty Empresa as "00"; "Empresa=" here means
    // every branch, as the report tool's --empresa "".
    if (secao.startsWith(QStringLiteral("Empresa=\n"))) config.Empresa.clear();
    if (empresa) config.Empresa = *empresa;
    TConexao conexao;
    conexao.setConfiguracao(config.LocRem, config.Protocolo, config.Servidor, config.CaminhoBanco,
                            config.Usuario, config.Senha);
    EXPECT_NO_THROW(conexao.conectarBanco());
    TAtualizacaoRentabilidade atualizacao(conexao, config);
    atualizacao.setHoje(hoje);
    OpcoesAtualizacao opcoes;
    opcoes.guardarItens = true;
    opcoes.caminhoRapido = rapido;
    Rodada rodada;
    const std::uint64_t antes = conexao.getBancoDados()->stats().executions;
    const std::uint64_t preparadasAntes = conexao.getBancoDados()->stats().prepares;
    try {
      atualizacao.IniciarGadget(rodada.resultado, opcoes);
    } catch (const std::exception& erro) {
      rodada.erro = QString::fromUtf8(erro.what());
    }
    rodada.execucoes = conexao.getBancoDados()->stats().executions - antes;
    rodada.preparacoes = conexao.getBancoDados()->stats().prepares - preparadasAntes;
    // Whichever path ran, the connection goes on reusing its statements.
    EXPECT_TRUE(conexao.getBancoDados()->reusesStatements());
    return rodada;
  }

  // Both paths on the same settings give the same outcome, figure for figure.
  // Returns the fast one.
  Rodada comparaCaminhos(const QString& secao, const std::string& caso,
                         const std::optional<QString>& empresa = std::nullopt) {
    SCOPED_TRACE(caso);
    const Rodada porItem = atualiza(secao, false, kHoje, empresa);
    const Rodada rapido = atualiza(secao, true, kHoje, empresa);
    // The reference runs every statement as a query whose text is set and
    // opened anew: one prepare per statement run.
    EXPECT_EQ(porItem.preparacoes, porItem.execucoes);
    EXPECT_GT(porItem.execucoes, 0u);
    const ResultadoAtualizacao& a = porItem.resultado;
    const ResultadoAtualizacao& b = rapido.resultado;
    EXPECT_EQ(rapido.erro, porItem.erro);
    EXPECT_EQ(b.lblNomeFilial, a.lblNomeFilial);
    EXPECT_EQ(b.lblPeriodo, a.lblPeriodo);
    for (const FiguraPainel& figura : kFigurasPainel)
      EXPECT_EQ(b.*figura.texto, a.*figura.texto) << figura.rotulo;
    // A refresh that fails mid-way on the fast path has read only the rows
    // up to the failing one.
    if (porItem.erro.isEmpty()) {
      EXPECT_EQ(b.rows, a.rows);
    }
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

  // Runs `sql` on the current database (the test's own changes to the
  // generated data).
  void executa(std::initializer_list<QString> comandos) {
    Database database;
    database.attach(banco_, QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
    for (const QString& sql : comandos) {
      SCOPED_TRACE(sql.toStdString());
      database.executeImmediate(sql);
    }
  }

  // Runs each of `comandos`, which take the parameters of `condicao`, with
  // them bound.
  void executa(const SqlCondition& condicao, std::initializer_list<QString> comandos) {
    Database database;
    database.attach(banco_, QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
    Transaction escrita(database, TransactionKind::ReadWrite);
    for (const QString& sql : comandos) {
      SCOPED_TRACE(sql.toStdString());
      Query q(&database);
      q.setTransaction(&escrita);
      q.sql() << sql;
      condicao.bind(q);
      q.execSQL();
    }
    escrita.commit();
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

// A period without orders costs the order-items query, the parameter row
// read at set-up and the period's look-ups (their statement and the look at
// the installment columns it needs), nothing per item.
TEST_F(FastPathTest, PeriodoVazioPoucasInstrucoes) {
  sampledb::DemoOptions opcoes;
  opcoes.items = 200;
  cria(opcoes);
  const Rodada r = atualiza("Empresa=\nPeriodo=2\nMostraPedidos=2\n", true, QDate(2030, 3, 10));
  EXPECT_TRUE(r.erro.isEmpty()) << r.erro.toStdString();
  EXPECT_EQ(r.resultado.rows, 0);
  EXPECT_LE(r.execucoes, 4u);
}

// The fast refresh reads each kind of look-up for the whole period at once:
// the statements it runs do not grow with the number of orders, under every
// cost policy (the movements of policies 2 and 3, the managerial cost of 5)
// and for one branch or all.
TEST_F(FastPathTest, InstrucoesNaoCrescemComOsPedidos) {
  for (const int tipo : {1, 2, 3, 5}) {
    for (const char* empresa : {"01", ""}) {
      const QString secao = QStringLiteral("Empresa=%1\nPeriodo=3\nMostraPedidos=2\n").arg(empresa);
      std::vector<Rodada> rodadas;
      std::vector<int> linhas;
      for (const int itens : {300, 2400}) {
        sampledb::DemoOptions opcoes;
        opcoes.seed = 5;
        opcoes.items = itens;
        opcoes.branches = 2;
        opcoes.tipoCusto = tipo;
        cria(opcoes);
        rodadas.push_back(atualiza(secao, true));
        EXPECT_TRUE(rodadas.back().erro.isEmpty()) << rodadas.back().erro.toStdString();
      }
      const std::string caso = "TipoCusto " + std::to_string(tipo) + " Empresa '" + empresa + "'";
      EXPECT_GT(rodadas[1].resultado.rows, 4 * rodadas[0].resultado.rows) << caso;
      EXPECT_EQ(rodadas[1].execucoes, rodadas[0].execucoes) << caso;
      EXPECT_LE(rodadas[1].execucoes, 30u) << caso;
    }
  }
}

// Keys the statements of the period cannot answer exactly are left to the
// look-ups' own statements, which then give the per-item path's figures:
//  - an item whose product code carries a trailing blank (the database
//    matches it to its product, the text differs from the product's own);
//  - a product code that also exists in lower case (two rows a
//    case-insensitive comparison could both match);
//  - a sale with two financing records (the look-up reads the first);
//  - a configured branch written with a trailing blank (the items, costs
//    and movements of the branch carry the code without it).
TEST_F(FastPathTest, ChavesForaDaCargaDoPeriodo) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 19;
  opcoes.items = 900;
  opcoes.branches = 2;
  cria(opcoes);
  const QString secao = QStringLiteral("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
  const Rodada antes = atualiza(secao, true);
  ASSERT_TRUE(antes.erro.isEmpty()) << antes.erro.toStdString();

  executa({
      // One item of a product bought in several orders gets its code with a
      // trailing blank.
      QStringLiteral("UPDATE PEDIDOI SET CODPROD = CODPROD || ' ' WHERE CODEMPRESA = '01' AND "
                     "ITEM = 1 AND CODPEDIDO = (SELECT MIN(CODPEDIDO) FROM PEDIDOI WHERE "
                     "CODEMPRESA = '01' AND ITEM = 1)"),
      // A lower-case twin of product CX'12, with its own figures, costs and
      // movements.
      QStringLiteral("INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC, COMISSAO) SELECT "
                     "'cx''12', DESCRICAO, 77, 9 FROM PRODUTO WHERE CODPROD = 'CX''12'"),
      QStringLiteral("INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) SELECT "
                     "'cx''12', CODEMPRESA, PRECOCUSTO * 2, PRECOMEDIO * 2 FROM COMPPROD WHERE "
                     "CODPROD = 'CX''12'"),
      QStringLiteral("INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, SEQUENCIA, "
                     "PRECOCUSTO, PRECOMEDIO) SELECT CODEMPRESA, 'cx''12', CODGRADE, DT_MOVIMENTO, "
                     "SEQUENCIA, PRECOCUSTO * 2, PRECOMEDIO * 2 FROM MVGERAL WHERE CODPROD = "
                     "'CX''12'"),
      // A second financing record for every financed sale, read after the
      // first.
      QStringLiteral("INSERT INTO FINANCIAMENTO (CODFINANCIAMENTO, CODEMPRESA, CODVENDA, "
                     "CODFINANCEIRA, CODPLANO, DESCFORMAPGTO, VALORFINANCIADO, VALORMENSALIDADE) "
                     "SELECT CODFINANCIAMENTO + 1000000, CODEMPRESA, CODVENDA, CODFINANCEIRA, "
                     "CODPLANO, DESCFORMAPGTO, VALORFINANCIADO, VALORMENSALIDADE * 3 FROM "
                     "FINANCIAMENTO"),
  });
  for (int tipo : {2, 5}) {
    tipoCusto(tipo);
    const Rodada r = comparaCaminhos(secao, "dados alterados, TipoCusto " + std::to_string(tipo));
    EXPECT_TRUE(r.erro.isEmpty()) << r.erro.toStdString();
  }
  tipoCusto(2);
  const Rodada depois = comparaCaminhos(secao, "dados alterados");
  // The keys left out ran statements of their own.
  EXPECT_GT(depois.execucoes, antes.execucoes);

  const Rodada branco =
      comparaCaminhos(secao, "Empresa '01 '", std::optional<QString>(QStringLiteral("01 ")));
  EXPECT_GT(branco.resultado.rows, 0);
  EXPECT_TRUE(branco.erro.isEmpty()) << branco.erro.toStdString();
}

// The per-order records the fast refresh reads for the whole period, in
// shapes the generator does not make; each step keeps the earlier ones:
//  - installments with a zero amount in the middle (the look-up stops there);
//  - an installments table with only 12 installments;
//  - a table with an amount whose due date column is gone (the look-up
//    fails on it once it is positive: the period leaves it alone, and both
//    paths stop at the same order);
//  - two installment records of one order, and two closing records of
//    another (the look-ups read the first);
//  - two agreement records of an order (each joins every document);
//  - a documents table without a column the look-up reads.
TEST_F(FastPathTest, RegistrosIrregularesDoPedido) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 23;
  opcoes.items = 1500;
  opcoes.branches = 2;
  cria(opcoes);
  const QString secao = QStringLiteral("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
  const Rodada antes = comparaCaminhos(secao, "dados gerados");
  ASSERT_TRUE(antes.erro.isEmpty()) << antes.erro.toStdString();

  // The orders the refresh of `secao` selects (branch 01, the year of
  // kHoje, every order kind), for the records below.
  const SqlCondition doAno = selecaoPedidos(QStringLiteral("01"), QStringLiteral("2"),
                                            QDate(2024, 1, 1), QDate(2024, 12, 31));
  const QString doPeriodo =
      QStringLiteral(
          " EXISTS (SELECT 1 FROM PEDIDOC WHERE PEDIDOC.CODEMPRESA = %1.CODEMPRESA"
          " AND PEDIDOC.TIPOPEDIDO = %1.TIPOPEDIDO AND PEDIDOC.CODPEDIDO = %1.CODPEDIDO AND ") +
      doAno.lines.join(u'\n') + u')';
  executa(
      {QStringLiteral("UPDATE PARCPEDC SET VLRPARC02 = 0 WHERE VLRPARC03 > 0 AND "
                      "SUBSTRING(CODPEDIDO FROM CHAR_LENGTH(CODPEDIDO) FOR 1) IN "
                      "('0', '2', '4', '6', '8')")});
  comparaCaminhos(secao, "parcela zero no meio");

  executa(
      {QStringLiteral("ALTER TABLE PARCPEDC DROP VLRPARC13, DROP VENCPARC13, DROP VLRPARC14, "
                      "DROP VENCPARC14, DROP VLRPARC15, DROP VENCPARC15, DROP VLRPARC16, "
                      "DROP VENCPARC16, DROP VLRPARC17, DROP VENCPARC17, DROP VLRPARC18, "
                      "DROP VENCPARC18, DROP VLRPARC19, DROP VENCPARC19, DROP VLRPARC20, "
                      "DROP VENCPARC20, DROP VLRPARC21, DROP VENCPARC21, DROP VLRPARC22, "
                      "DROP VENCPARC22, DROP VLRPARC23, DROP VENCPARC23, DROP VLRPARC24, "
                      "DROP VENCPARC24")});
  const Rodada doze = comparaCaminhos(secao, "doze parcelas");
  EXPECT_TRUE(doze.erro.isEmpty()) << doze.erro.toStdString();
  EXPECT_EQ(doze.execucoes, antes.execucoes);

  executa({QStringLiteral("ALTER TABLE PARCPEDC DROP CONSTRAINT PK_PARCPEDC"),
           QStringLiteral("ALTER TABLE ENCEFAT DROP CONSTRAINT PK_ENCEFAT")});
  executa(doAno,
          {QStringLiteral("INSERT INTO PARCPEDC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRPARC01, "
                          "VENCPARC01) SELECT FIRST 3 CODEMPRESA, TIPOPEDIDO, CODPEDIDO, "
                          "VLRPARC01 * 2, VENCPARC01 + 30 FROM PARCPEDC WHERE VLRPARC01 > 0 AND") +
               doPeriodo.arg(QStringLiteral("PARCPEDC")),
           QStringLiteral("INSERT INTO ENCEFAT SELECT FIRST 3 * FROM ENCEFAT WHERE (VLRRECEBER > 0 "
                          "OR VLRCONVENIO > 0) AND") +
               doPeriodo.arg(QStringLiteral("ENCEFAT")),
           QStringLiteral("INSERT INTO CONVENCEFAT SELECT FIRST 5 CODEMPRESA, TIPOPEDIDO, "
                          "CODPEDIDO, SEQUENCIA + 100, CONVENIO, VALOR FROM CONVENCEFAT WHERE") +
               doPeriodo.arg(QStringLiteral("CONVENCEFAT"))});
  const Rodada duplicados = comparaCaminhos(secao, "registros duplicados");
  EXPECT_TRUE(duplicados.erro.isEmpty()) << duplicados.erro.toStdString();
  // The duplicated records ran the look-ups' own statements.
  EXPECT_GT(duplicados.execucoes, doze.execucoes);

  executa({QStringLiteral("ALTER TABLE PARCPEDC DROP VENCPARC12")});
  const Rodada semVencimento = comparaCaminhos(secao, "parcela sem vencimento");
  // Both paths stop at the first order with a twelfth installment.
  EXPECT_TRUE(semVencimento.erro.contains(QStringLiteral("VencParc12")))
      << semVencimento.erro.toStdString();

  // A column the documents look-up reads but the calculation does not use:
  // both paths stop at the first order paid through an agreement.
  executa({QStringLiteral("ALTER TABLE PARCPEDC ADD VENCPARC12 DATE"),
           QStringLiteral("ALTER TABLE DOCUREC DROP VALORPAGO")});
  const Rodada semColuna = comparaCaminhos(secao, "documentos sem ValorPago");
  EXPECT_TRUE(semColuna.erro.contains(QStringLiteral("ValorPago"), Qt::CaseInsensitive))
      << semColuna.erro.toStdString();
}

}  // namespace
}  // namespace margivo
