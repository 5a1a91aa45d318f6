// The refresh that re-reads only what changed, against a refresh that reads
// the whole period, on sample databases changed between refreshes: after
// each kind of change the refresh from memory must show exactly what a
// refresh that calculates every row shows at the same moment - labels,
// totals, every line's figures, call counts and errors - and read the whole
// period where it cannot tell.
#include <gtest/gtest.h>

#include <QDate>
#include <QTemporaryDir>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>

#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/regional.h"
#include "gadget/alteracoes.h"
#include "gadget/atualizacao.h"
#include "gadget/incremental.h"
#include "sampledb/sampledb.h"
#include "tests/support/testdb.h"
#include "tests/support/testenv.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

const QDate kHoje(2024, 6, 15);

// What a refresh showed.
struct Rodada {
  ResultadoAtualizacao resultado;
  FigurasItem figuras;  // the gadget's figures after it
  QString erro;
  std::uint64_t execucoes = 0;
  std::uint64_t linhasLidas = 0;
};

// Whether the refresh from memory read only what changed.
enum class Modo { Incremental, Completa, Qualquer };

class IncrementalTest : public ::testing::Test {
 protected:
  void SetUp() override { setRegionalSettings(RegionalSettings::brazilian()); }

  // A sample database from the generator (today kHoje).
  void cria(sampledb::DemoOptions opcoes) {
    banco_ = pasta_.path() + QStringLiteral("/amostra%1.fdb").arg(++bancos_);
    Database database;
    sampledb::createDatabase(database, banco_);
    opcoes.today = kHoje;
    sampledb::generateDemoData(database, opcoes);
  }
  // A database of a few rows: the parameters of test_refresh_pedidos.h and
  // `pedidos`.
  void criaPequeno(const QString& pedidos) {
    pequeno_ = std::make_unique<test::TestDatabase>(test::kParametros + pedidos);
    pequeno_->database().detach();
    banco_ = pequeno_->path();
  }

  // The gadget whose refreshes keep their memory, on the settings `secao`.
  void abre(const QString& secao) {
    home_.writeIniText(test::arquivoIni(banco_, secao));
    config_ = std::make_unique<TConfig>(QStringLiteral("Trovesk"));
    config_->CarregarIni();
    config_->InstanciaVariaveis(QStringLiteral("VQM"));
    if (secao.startsWith(QStringLiteral("Empresa=\n"))) config_->Empresa.clear();
    conexao_ = std::make_unique<TConexao>();
    conexao_->setConfiguracao(config_->LocRem, config_->Protocolo, config_->Servidor,
                              config_->CaminhoBanco, config_->Usuario, config_->Senha);
    ASSERT_NO_THROW(conexao_->conectarBanco());
    gadget_ = std::make_unique<TAtualizacaoRentabilidade>(*conexao_, *config_);
    gadget_->setHoje(hoje_);
    // Every refresh here is to come from memory where it can, however its
    // timing weighs against a full one on a database this small.
    gadget_->memoria().setCustoDesprezivelMs(std::numeric_limits<qint64>::max());
  }

  Rodada roda(TAtualizacaoRentabilidade& gadget, bool incremental) {
    OpcoesAtualizacao opcoes;
    opcoes.guardarItens = guardarItens_;
    opcoes.incremental = incremental;
    Rodada rodada;
    const DatabaseStats antes = conexao_->getBancoDados()->stats();
    try {
      gadget.IniciarGadget(rodada.resultado, opcoes);
    } catch (const std::exception& erro) {
      rodada.erro = QString::fromUtf8(erro.what());
    }
    rodada.execucoes = conexao_->getBancoDados()->stats().executions - antes.executions;
    rodada.linhasLidas = conexao_->getBancoDados()->stats().rowsFetched - antes.rowsFetched;
    rodada.figuras = gadget.figuras;
    return rodada;
  }

  // A refresh of the gadget that keeps its memory, and a refresh that reads
  // the whole period from the same figures, right after it: both must show
  // the same. Returns the one from memory.
  Rodada compara(const std::string& caso, Modo esperado) {
    SCOPED_TRACE(caso);
    const FigurasItem figurasAntes = gadget_->figuras;
    const Rodada memoria = roda(*gadget_, true);
    TAtualizacaoRentabilidade completa(*conexao_, *config_);
    completa.setHoje(hoje_);
    completa.figuras = figurasAntes;
    const Rodada referencia = roda(completa, false);
    EXPECT_FALSE(referencia.resultado.incremental);
    if (esperado == Modo::Incremental) {
      EXPECT_TRUE(memoria.resultado.incremental);
    }
    if (esperado == Modo::Completa) {
      EXPECT_FALSE(memoria.resultado.incremental);
    }

    const ResultadoAtualizacao& a = referencia.resultado;
    const ResultadoAtualizacao& b = memoria.resultado;
    EXPECT_EQ(memoria.erro, referencia.erro);
    EXPECT_EQ(b.lblNomeFilial, a.lblNomeFilial);
    EXPECT_EQ(b.lblPeriodo, a.lblPeriodo);
    for (const FiguraPainel& figura : kFigurasPainel)
      EXPECT_EQ(b.*figura.texto, a.*figura.texto) << figura.rotulo;
    EXPECT_EQ(b.rows, a.rows);
    EXPECT_EQ(b.chamadasProduto, a.chamadasProduto);
    EXPECT_EQ(b.chamadasFrete, a.chamadasFrete);
    for (const auto& [nome, campo] : kCamposTotais)
      EXPECT_EQ(b.totais.*campo, a.totais.*campo) << nome;
    for (const auto& [nome, campo] : kCamposItem)
      EXPECT_EQ(memoria.figuras.*campo, referencia.figuras.*campo) << "figuras finais " << nome;
    EXPECT_EQ(b.itens.size(), a.itens.size());
    for (std::size_t i = 0; i < std::min(a.itens.size(), b.itens.size()); ++i) {
      const ItemCalculado& x = a.itens[i];
      const ItemCalculado& y = b.itens[i];
      const std::string onde = "chamada " + std::to_string(i) + " " + x.opcao.toStdString() +
                               " pedido " + x.TIPOPEDIDO.toStdString() + x.CODPEDIDO.toStdString() +
                               " produto " + x.CODPROD.toStdString();
      EXPECT_EQ(y.opcao, x.opcao) << onde;
      EXPECT_EQ(y.CODEMPRESA, x.CODEMPRESA) << onde;
      EXPECT_EQ(y.TIPOPEDIDO, x.TIPOPEDIDO) << onde;
      EXPECT_EQ(y.CODPEDIDO, x.CODPEDIDO) << onde;
      EXPECT_EQ(y.CODPROD, x.CODPROD) << onde;
      EXPECT_EQ(y.CODGRADE, x.CODGRADE) << onde;
      for (const auto& [nome, campo] : kCamposItem)
        EXPECT_EQ(y.figuras.*campo, x.figuras.*campo) << onde << ' ' << nome;
      if (testing::Test::HasFailure()) break;
    }
    return memoria;
  }

  // Runs `comandos` on the database, each committed (another program writing
  // to the ERP's database between two refreshes).
  void executa(std::initializer_list<QString> comandos) {
    Database database;
    database.attach(banco_, QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
    for (const QString& sql : comandos) {
      SCOPED_TRACE(sql.toStdString());
      database.executeScript(sql);
    }
  }

  // The n-th invoiced order of branch 01 in the first half of the year, by
  // number, as a condition on `tabela`'s CODEMPRESA, TIPOPEDIDO and
  // CODPEDIDO.
  QString doPedido(int n, const QString& tabela = QStringLiteral("PEDIDOI")) {
    Database database;
    database.attach(banco_, QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
    Query q(&database);
    q.sql() << QStringLiteral(
                   "SELECT FIRST 1 SKIP %1 CODEMPRESA, TIPOPEDIDO, CODPEDIDO FROM PEDIDOC WHERE"
                   " CODEMPRESA = '01' AND DATAPEDIDO BETWEEN '2024-01-01' AND '2024-06-15' AND"
                   " FATURADO = 'S' ORDER BY CODPEDIDO")
                   .arg(n);
    q.open();
    EXPECT_FALSE(q.isEmpty()) << "no order " << n;
    return QStringLiteral(" %1.CODEMPRESA = '%2' AND %1.TIPOPEDIDO = '%3' AND %1.CODPEDIDO = '%4'")
        .arg(tabela, q.fieldByName("CODEMPRESA").asString(), q.fieldByName("TIPOPEDIDO").asString(),
             q.fieldByName("CODPEDIDO").asString());
  }

  QTemporaryDir pasta_;
  test::TestConfigHome home_;
  std::unique_ptr<test::TestDatabase> pequeno_;
  QString banco_;
  int bancos_ = 0;
  QDate hoje_ = kHoje;
  bool guardarItens_ = true;
  std::unique_ptr<TConfig> config_;
  std::unique_ptr<TConexao> conexao_;
  std::unique_ptr<TAtualizacaoRentabilidade> gadget_;
};

// Changes of every kind an ERP makes to its orders, one after the other on
// the same database, each followed by a refresh from memory.
TEST_F(IncrementalTest, CadaAlteracaoDosPedidos) {
  for (const int tipoCusto : {2, 1}) {
    SCOPED_TRACE("TipoCusto " + std::to_string(tipoCusto));
    sampledb::DemoOptions opcoes;
    opcoes.seed = 41;
    opcoes.items = 1500;
    opcoes.branches = 2;
    opcoes.tipoCusto = tipoCusto;
    cria(opcoes);
    abre("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
    const Rodada primeira = compara("primeira", Modo::Completa);
    ASSERT_TRUE(primeira.erro.isEmpty()) << primeira.erro.toStdString();
    ASSERT_GT(primeira.resultado.rows, 100);

    const Rodada nada = compara("nada mudou", Modo::Incremental);
    // Only the look at what changed: neither the order-items rows nor the
    // look-ups' are read.
    EXPECT_LT(nada.linhasLidas * 2, std::uint64_t(primeira.resultado.rows));

    executa({QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = QUANTIDADE + 1, PRECOUNIT = PRECOUNIT"
                            " + 0.37 WHERE ITEM = 1 AND") +
             doPedido(3)});
    compara("quantidade e preço de uma linha", Modo::Incremental);

    executa(
        {QStringLiteral("UPDATE PEDIDOI SET DESCONTOVLR = DESCONTOVLR + 1.13 WHERE") + doPedido(7),
         QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = QUANTIDADE * 2 WHERE") + doPedido(40)});
    compara("linhas de dois pedidos", Modo::Incremental);

    // A new order: a header, two lines of products already sold, its
    // closing record; one line's product comes first of all.
    executa({test::pedido("01", "V", "NOVO1", "2024-04-02", "S", 12.5, 300),
             QStringLiteral("INSERT INTO PEDIDOI (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, ITEM, CODPROD,"
                            " CODGRADE, QUANTIDADE, PRECOUNIT, DESCONTOVLR) SELECT FIRST 1 '01',"
                            " 'V', 'NOVO1', 1, CODPROD, CODGRADE, 3, 50, 0 FROM PEDIDOI ORDER BY"
                            " CODPROD, CODGRADE"),
             QStringLiteral("INSERT INTO PEDIDOI (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, ITEM, CODPROD,"
                            " CODGRADE, QUANTIDADE, PRECOUNIT, DESCONTOVLR) SELECT FIRST 1 '01',"
                            " 'V', 'NOVO1', 2, CODPROD, CODGRADE, 1, 150, 0 FROM PEDIDOI ORDER BY"
                            " CODPROD DESC, CODGRADE DESC"),
             QStringLiteral("INSERT INTO ENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRRECEBER,"
                            " VLRCONVENIO, VLRFINANC, VLRCHPREDATADO, VLRCHEQUE, VLRDINHEIRO,"
                            " VLRDESCONTO, VLRTROCO) VALUES ('01', 'V', 'NOVO1', 0, 0, 0, 0, 0,"
                            " 312.5, 0, 0)")});
    const Rodada novo = compara("pedido novo", Modo::Incremental);
    EXPECT_EQ(novo.resultado.rows, nada.resultado.rows + 2);

    // An order gone, with every record of it.
    const auto removido = [&](const char* tabela) { return doPedido(11, QLatin1String(tabela)); };
    executa({QStringLiteral("DELETE FROM PRETERC WHERE EXISTS (SELECT 1 FROM PEDIDOC WHERE") +
                 removido("PEDIDOC") +
                 QStringLiteral(" AND PRETERC.NUMDOCORIG = PEDIDOC.TIPOPEDIDO ||"
                                " PEDIDOC.CODPEDIDO)"),
             QStringLiteral("DELETE FROM DOCUREC WHERE EXISTS (SELECT 1 FROM PEDIDOC WHERE") +
                 removido("PEDIDOC") +
                 QStringLiteral(" AND DOCUREC.NUMDOCORIG = PEDIDOC.TIPOPEDIDO ||"
                                " PEDIDOC.CODPEDIDO)"),
             QStringLiteral("DELETE FROM CONVENCEFAT WHERE") + removido("CONVENCEFAT"),
             QStringLiteral("DELETE FROM PARCPEDC WHERE") + removido("PARCPEDC"),
             QStringLiteral("DELETE FROM ENCEFAT WHERE") + removido("ENCEFAT"),
             QStringLiteral("DELETE FROM PEDIDOI WHERE") + removido("PEDIDOI"),
             QStringLiteral("DELETE FROM PEDIDOC WHERE") + removido("PEDIDOC")});
    const Rodada removidoRodada = compara("pedido removido", Modo::Incremental);
    // Its records are counted with it, not by counting every order again.
    EXPECT_LT(removidoRodada.linhasLidas * 2, std::uint64_t(primeira.resultado.rows));

    // A line taken out of an order whose other records stay as they were:
    // only the count of its lines tells.
    executa({QStringLiteral("DELETE FROM PEDIDOI WHERE ITEM = 1 AND") + doPedido(20)});
    compara("linha removida", Modo::Incremental);

    // Payments: a pre-dated cheque for an order, a receivable document paid.
    executa({QStringLiteral("INSERT INTO PRETERC (CODEMPRESA, NUMDOCORIG, SEQUENCIA, VLRCHEQUE,"
                            " DT_ENTRADA) SELECT '01', C.TIPOPEDIDO || C.CODPEDIDO, 99, 80,"
                            " C.DATAPEDIDO + 45 FROM PEDIDOC C WHERE") +
             doPedido(5, QStringLiteral("C"))});
    compara("cheque pré-datado", Modo::Incremental);
    executa(
        {QStringLiteral("UPDATE DOCUREC SET VALORPAGO = VALORDOCTO WHERE CODEMPRESA = '01'"
                        " AND DT_VENCIMENTO < '2024-02-01'")});
    compara("documentos pagos", Modo::Incremental);

    // A closing record and an installment record changed: old records of
    // tables counted as a whole.
    executa({QStringLiteral("UPDATE ENCEFAT SET VLRDESCONTO = VLRDESCONTO + 2 WHERE") +
             doPedido(9, QStringLiteral("ENCEFAT"))});
    compara("fechamento alterado", Modo::Qualquer);
    executa(
        {QStringLiteral("UPDATE PARCPEDC SET VLRPARC01 = VLRPARC01 + 3, VLRPARC02 ="
                        " VLRPARC02 - 3 WHERE CODEMPRESA = '01' AND VLRPARC02 > 3 AND"
                        " CODPEDIDO = (SELECT MIN(P.CODPEDIDO) FROM PARCPEDC P WHERE"
                        " P.CODEMPRESA = '01' AND P.VLRPARC02 > 3)")});
    compara("parcela alterada", Modo::Qualquer);
    const Rodada depois = compara("nada mudou depois", Modo::Incremental);
    EXPECT_TRUE(depois.erro.isEmpty()) << depois.erro.toStdString();
  }
}

// A closing record written for an order that had none, and a record of
// another branch: the order is read again, the other branch's is not.
TEST_F(IncrementalTest, FechamentoNovoEOutraFilial) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 43;
  opcoes.items = 800;
  opcoes.branches = 2;
  cria(opcoes);
  executa({QStringLiteral("DELETE FROM ENCEFAT WHERE") + doPedido(4, QStringLiteral("ENCEFAT"))});
  abre("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
  compara("primeira", Modo::Completa);
  executa(
      {QStringLiteral("INSERT INTO ENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRRECEBER,"
                      " VLRCONVENIO, VLRFINANC, VLRCHPREDATADO, VLRCHEQUE, VLRDINHEIRO,"
                      " VLRDESCONTO, VLRTROCO) SELECT C.CODEMPRESA, C.TIPOPEDIDO, C.CODPEDIDO,"
                      " 0, 0, 0, 0, 0, C.TOTALPEDIDO, 7, 0 FROM PEDIDOC C WHERE") +
           doPedido(4, QStringLiteral("C")),
       QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = QUANTIDADE + 1 WHERE CODEMPRESA = '02'")});
  compara("fechamento novo", Modo::Incremental);
}

// A transaction of the ERP that stays open across refreshes holds the oldest
// active transaction back: the records written after it started stay
// "recent" from one refresh to the next, and what it writes itself carries
// a version older than theirs once it commits. Neither may be taken for
// "nothing changed", nor may a recent record that disappears.
TEST_F(IncrementalTest, TransacaoLongaDoERP) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 53;
  opcoes.items = 900;
  cria(opcoes);
  abre("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
  Database erp;
  erp.attach(banco_, QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
  auto longa = std::make_unique<Transaction>(erp, TransactionKind::ReadWrite);
  const auto naLonga = [&](const QString& sql) {
    Query q(&erp);
    q.setTransaction(longa.get());
    q.sql() << sql;
    q.execSQL();
  };

  compara("primeira", Modo::Completa);
  executa({QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = QUANTIDADE + 2 WHERE") + doPedido(2),
           QStringLiteral("UPDATE PEDIDOC SET FRETE = COALESCE(FRETE, 0) + 4.5 WHERE") +
               doPedido(6, QStringLiteral("PEDIDOC"))});
  compara("alteração depois do início da transação longa", Modo::Incremental);
  const Rodada parada = compara("nada mudou, registros ainda recentes", Modo::Incremental);
  EXPECT_TRUE(parada.erro.isEmpty()) << parada.erro.toStdString();

  // The open transaction writes an order nobody else touched, and commits.
  naLonga(QStringLiteral("UPDATE PEDIDOI SET PRECOUNIT = PRECOUNIT + 1.25 WHERE") + doPedido(12));
  naLonga(QStringLiteral("UPDATE PEDIDOC SET FRETE = COALESCE(FRETE, 0) + 2 WHERE") +
          doPedido(14, QStringLiteral("PEDIDOC")));
  longa->commit();
  longa.reset();
  compara("a transação longa gravou", Modo::Incremental);

  // Another one held open; a recent line disappears, nothing else changes.
  longa = std::make_unique<Transaction>(erp, TransactionKind::ReadWrite);
  executa({QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = QUANTIDADE + 1 WHERE") + doPedido(3)});
  compara("linhas recentes", Modo::Incremental);
  executa({QStringLiteral("DELETE FROM PEDIDOI WHERE ITEM = 1 AND") + doPedido(3)});
  compara("linha recente removida", Modo::Incremental);
  compara("nada mudou no fim", Modo::Incremental);
  longa->rollback();
}

// The stock movements under the sale-day cost policies: a movement written
// in the middle of the period changes the cost of the sales of its grade
// from that day on.
TEST_F(IncrementalTest, MovimentosDeEstoque) {
  for (const int tipoCusto : {2, 3}) {
    SCOPED_TRACE("TipoCusto " + std::to_string(tipoCusto));
    sampledb::DemoOptions opcoes;
    opcoes.seed = 47;
    opcoes.items = 1200;
    opcoes.tipoCusto = tipoCusto;
    cria(opcoes);
    abre("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
    compara("primeira", Modo::Completa);
    // The grade sold most, a movement on an early day with a price of its
    // own.
    const QString grade = QStringLiteral(
        "(SELECT FIRST 1 I.CODPROD FROM PEDIDOI I WHERE I.CODEMPRESA = '01' GROUP BY I.CODPROD,"
        " I.CODGRADE ORDER BY COUNT(*) DESC)");
    executa({QStringLiteral("INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO,"
                            " SEQUENCIA, TIPOMOV, QUANTIDADE, PRECOCUSTO, PRECOMEDIO) SELECT FIRST"
                            " 1 '01', I.CODPROD, I.CODGRADE, '2024-03-10', 999, 'E', 5, 123.4567,"
                            " 98.7654 FROM PEDIDOI I WHERE I.CODEMPRESA = '01' AND I.CODPROD = ") +
             grade});
    compara("movimento novo", Modo::Incremental);
    // A movement changed: every sale of its grade.
    executa(
        {QStringLiteral("UPDATE MVGERAL SET PRECOCUSTO = 77.7, PRECOMEDIO = 66.6 WHERE"
                        " SEQUENCIA = 999")});
    compara("movimento alterado", Modo::Qualquer);
    compara("nada mudou", Modo::Incremental);
  }
}

// What can change every figure reads the whole period: a row of a small
// table the calculation reads, the cost policy, the day, the settings, a
// memory an hour old, saved settings.
TEST_F(IncrementalTest, LeituraCompleta) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 53;
  opcoes.items = 700;
  opcoes.gerarRecDataFatura = "S";  // receivables fall due from the day of the refresh
  cria(opcoes);
  abre("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
  compara("primeira", Modo::Completa);
  compara("nada mudou", Modo::Incremental);

  executa({QStringLiteral("UPDATE VENDEND SET COMISSAO = COMISSAO + 1")});
  compara("comissão dos vendedores", Modo::Completa);
  executa({QStringLiteral("UPDATE CONDPAG SET TXEMISSAOBOLETO = TXEMISSAOBOLETO + 1")});
  compara("condições de pagamento", Modo::Completa);
  executa(
      {QStringLiteral("UPDATE COMPPROD SET PRECOCUSTO = PRECOCUSTO * 1.01 WHERE CODEMPRESA"
                      " = '01' AND CODPROD = (SELECT MIN(CODPROD) FROM COMPPROD)")});
  compara("custo de um produto", Modo::Completa);
  executa({QStringLiteral("UPDATE PARARENTABILIDADE SET TIPOCUSTO = 4")});
  compara("política de custo", Modo::Completa);
  compara("nada mudou", Modo::Incremental);

  hoje_ = kHoje.addDays(1);
  gadget_->setHoje(hoje_);
  compara("outro dia", Modo::Completa);
  compara("nada mudou", Modo::Incremental);

  config_->MostraPedidos = QStringLiteral("0");
  compara("outros pedidos", Modo::Completa);
  config_->Periodo = QStringLiteral("2");
  compara("outro período", Modo::Completa);
  compara("nada mudou", Modo::Incremental);

  gadget_->memoria().setValidadeMs(0);
  compara("memória velha", Modo::Completa);
  gadget_->memoria().setValidadeMs(TAtualizacaoIncremental::kValidadeMs);
  compara("nada mudou", Modo::Incremental);
  gadget_->memoria().pedeLeituraCompleta();
  compara("configurações salvas", Modo::Completa);
}

// A changed order that now fails (an item of quantity 0): the refresh fails
// on the same order and product, with the same message, as one that reads
// the whole period; the next one reads it all again.
TEST_F(IncrementalTest, ErroNoPedidoAlterado) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 59;
  opcoes.items = 600;
  cria(opcoes);
  abre("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
  compara("primeira", Modo::Completa);
  executa({QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = 0 WHERE ITEM = 1 AND") + doPedido(6)});
  const Rodada erro = compara("quantidade zero", Modo::Completa);
  EXPECT_TRUE(erro.erro.contains(QStringLiteral("CODPEDIDO="))) << erro.erro.toStdString();
  executa({QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = 2 WHERE QUANTIDADE = 0")});
  compara("corrigido", Modo::Completa);
  compara("nada mudou", Modo::Incremental);
}

// Where the rows of a changed order go among the others, and which order's
// first row gets the freight: orders sharing CODPEDIDO under two kinds,
// headers with nulls, codes with trailing blanks, products sorting first and
// last.
TEST_F(IncrementalTest, OrdemDasLinhasEFrete) {
  using test::item;
  using test::pedido;
  criaPequeno(pedido("01", "V", "100", "2024-02-10", "S", 10, 300) +
              item("01", "V", "100", 1, "P2", "1", 2, 100) +
              item("01", "V", "100", 2, "P3", "2", 1, 100) +
              pedido("01", "V", "101", "2024-02-12", "S", 0, 0.03) +
              item("01", "V", "101", 1, "P1", "1", 3, 0.01) +
              pedido("01", "W", "102", "2024-03-01", "S", 5, 200) +
              item("01", "W", "102", 1, "P1", "1", 1, 200) +
              pedido("01", "V", "103", "2024-03-05", "S", 2, 90) +
              item("01", "V", "103", 1, "P3", "1", 9, 10));
  abre("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
  compara("primeira", Modo::Completa);

  // Order 102 of kind W shares its number with a new order of kind A, whose
  // row comes first (same product, "A" before "W"): the freight goes to it.
  executa({pedido("01", "A", "102", "2024-03-02", "S", 7, 50),
           item("01", "A", "102", 1, "P1", "1", 1, 50)});
  compara("mesmo número, outro tipo", Modo::Incremental);
  // And back when it goes.
  executa({QStringLiteral("DELETE FROM PEDIDOI WHERE TIPOPEDIDO = 'A'"),
           QStringLiteral("DELETE FROM PEDIDOC WHERE TIPOPEDIDO = 'A'")});
  compara("mesmo número removido", Modo::Incremental);

  // Nulls in the header, a code with a trailing blank, a product that sorts
  // before every other and one after.
  executa({QStringLiteral("INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC, COMISSAO) VALUES"
                          " ('0', 'ZERO', 2, 1)"),
           QStringLiteral("INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC, COMISSAO) VALUES"
                          " ('Z9', 'ULTIMO', 0, 0)")});
  compara("produtos novos", Modo::Completa);
  executa({QStringLiteral("INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO,"
                          " CODVENDEDOR, CODPRAZO, TOTALPEDIDO, FATURADO) VALUES ('01', 'V',"
                          " '104 ', '2024-03-07', NULL, 'AV', 40, 'S')"),
           item("01", "V", "104", 1, "0", "1", 1, 20), item("01", "V", "104", 2, "Z9", "1", 1, 20),
           item("01", "V", "104", 3, "P2", "1", 1, 0)});
  compara("nulos e brancos", Modo::Incremental);
  executa({QStringLiteral("UPDATE PEDIDOC SET FRETE = 3, COMISSAO = 1 WHERE CODPEDIDO = '104'")});
  compara("cabeçalho alterado", Modo::Incremental);
  // A line of that order, whose code has no blank: the database takes it
  // for the header's "104 ", and so must the search for the changed order.
  executa(
      {QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = 2 WHERE CODPEDIDO = '104' AND ITEM = 3"),
       QStringLiteral("UPDATE PEDIDOI SET PRECOUNIT = 5 WHERE CODPEDIDO = '104' AND ITEM = 3")});
  compara("linha do código com branco", Modo::Incremental);
  compara("nada mudou", Modo::Incremental);
}

// A code outside ASCII decides where a new row goes: the ordering of the
// stored bytes is unknown, so the whole period is read - and gives the same
// figures.
TEST_F(IncrementalTest, CodigoForaDoAscii) {
  using test::item;
  using test::pedido;
  criaPequeno(pedido("01", "V", "200", "2024-02-10", "S", 0, 100) +
              item("01", "V", "200", 1, "P1", "1", 1, 100) +
              QStringLiteral("INSERT INTO PRODUTO (CODPROD, DESCRICAO) VALUES ('PÇ', 'PEÇA');\n"));
  abre("Empresa=01\nPeriodo=3\nMostraPedidos=2\n");
  compara("primeira", Modo::Completa);
  executa({pedido("01", "V", "201", "2024-02-11", "S", 0, 50),
           QStringLiteral("INSERT INTO PEDIDOI (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, ITEM, CODPROD,"
                          " CODGRADE, QUANTIDADE, PRECOUNIT, DESCONTOVLR) VALUES ('01', 'V', '201',"
                          " 1, 'PÇ', '1', 1, 50, 0)")});
  compara("produto com cedilha", Modo::Completa);
  compara("nada mudou", Modo::Incremental);
}

// Without the list of every line's figures the memory keeps less, and still
// gives the same totals and the gadget's figures.
TEST_F(IncrementalTest, SemALista) {
  guardarItens_ = false;
  sampledb::DemoOptions opcoes;
  opcoes.seed = 61;
  opcoes.items = 900;
  cria(opcoes);
  abre("Empresa=\nPeriodo=3\nMostraPedidos=2\n");
  compara("primeira", Modo::Completa);
  executa({QStringLiteral("UPDATE PEDIDOI SET PRECOUNIT = PRECOUNIT + 0.01 WHERE ITEM = 1 AND") +
           doPedido(2)});
  compara("linha", Modo::Incremental);
  compara("nada mudou", Modo::Incremental);
  // The last row of the period's rows goes: the new last one gives the
  // gadget's figures.
  executa({QStringLiteral("DELETE FROM PEDIDOI WHERE CODPROD = (SELECT MAX(CODPROD) FROM"
                          " PEDIDOI)"),
           QStringLiteral("UPDATE PEDIDOC SET FRETE = 0")});
  compara("última linha removida", Modo::Qualquer);
  compara("nada mudou depois", Modo::Incremental);
}

// The base for the next refresh is read on an attachment of its own: a
// refresh that fails or is closed while it reads stops it where it is rather
// than wait for a base it will not use (a close would otherwise wait the
// whole read, past the program's deadline to end). On a database whose read
// takes many statements, the read taken to the end is the control.
TEST_F(IncrementalTest, LeituraDaBaseAbandonadaParaOndeEsta) {
  sampledb::DemoOptions opcoes;
  opcoes.seed = 67;
  opcoes.items = 20000;
  opcoes.branches = 1;
  cria(opcoes);
  TMonitorAlteracoes::Periodo periodo;
  periodo.MostraPedidos = QStringLiteral("2");
  periodo.Data1 = QDate(kHoje.year(), 1, 1);
  periodo.Data2 = QDate(kHoje.year(), 12, 31);
  const auto leitura = [&] {
    return std::make_unique<TMonitorAlteracoes::LeituraParalela>(
        banco_, QStringLiteral("SYSDBA"), QStringLiteral("masterkey"), periodo);
  };

  TMonitorAlteracoes monitor;
  auto ateOFim = leitura();
  ASSERT_TRUE(ateOFim->iniciada());
  ateOFim->le();
  ASSERT_NO_THROW(monitor.defineBase(*ateOFim));
  EXPECT_TRUE(monitor.temBase());

  for (const bool pedida : {true, false}) {
    SCOPED_TRACE(pedida ? "reading" : "never asked to read");
    auto abandonada = leitura();
    ASSERT_TRUE(abandonada->iniciada());
    if (pedida) abandonada->le();
    abandonada->abandona();
    try {
      monitor.defineBase(*abandonada);
      ADD_FAILURE() << "the abandoned read gave a base";
    } catch (const DatabaseError& erro) {
      EXPECT_EQ(erro.cancelled(), pedida) << erro.what();
    }
    EXPECT_FALSE(monitor.temBase());
    // A second call, and the destructor after it, have nothing left to do.
    abandonada->abandona();
  }
}

// A memory is kept only while it pays: a refresh from memory that costs more
// than twice a full read (and more than the negligible cost) stops it for
// that key, until full reads grow to half its cost or the key changes.
TEST(CustoDaMemoria, SoEGuardadaEnquantoCompensa) {
  TAtualizacaoIncremental memoria;
  TAtualizacaoIncremental::Chave dia;
  dia.Empresa = QStringLiteral("01");
  dia.Data1 = dia.Data2 = dia.hoje = QDate(2024, 6, 3);
  TAtualizacaoIncremental::Chave outroDia = dia;
  outroDia.hoje = outroDia.Data1 = outroDia.Data2 = QDate(2024, 6, 4);

  struct Passo {
    const char* quando;
    const TAtualizacaoIncremental::Chave* chave;
    bool incremental;
    qint64 ms;
    bool compensa;  // afterwards, for `chave`
  };
  const Passo passos[] = {
      {"a first full read", &dia, false, 20, true},
      {"from memory, negligible", &dia, true, 45, true},
      {"from memory, dearer than twice the full read", &dia, true, 300, false},
      {"a full read still cheap", &dia, false, 25, false},
      {"the period grew: a full read half the memory's cost", &dia, false, 150, true},
      {"from memory, cheaper again", &dia, true, 200, true},
      {"from memory, dear", &dia, true, 400, false},
      {"another day measures afresh", &outroDia, false, 20, true},
  };
  EXPECT_TRUE(memoria.compensa(dia)) << "nothing measured yet";
  for (const Passo& p : passos) {
    SCOPED_TRACE(p.quando);
    memoria.registraCusto(*p.chave, p.incremental, p.ms);
    EXPECT_EQ(memoria.compensa(*p.chave), p.compensa);
  }
}

}  // namespace
}  // namespace margivo
