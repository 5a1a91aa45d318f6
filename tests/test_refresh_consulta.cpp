// The order-items query on a real database file: which orders count for each
// MostraPedidos, the grouping of lines, the inclusive date range and the
// branch filter (an empty branch selects every branch).
#include <gtest/gtest.h>

#include <QDate>
#include <QStringList>
#include <algorithm>
#include <memory>

#include "framework/db/query.h"
#include "framework/regional.h"
#include "gadget/itenspedidos.h"
#include "tests/support/testdb.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

using test::item;
using test::pedido;

class ConsultaItensPedidosTest : public ::testing::Test {
 protected:
  void SetUp() override { setRegionalSettings(RegionalSettings::brazilian()); }

  // Sorted "CODEMPRESA/TIPOPEDIDO/CODPEDIDO/CODPROD" of every row.
  QStringList linhas(const QString& empresa, const QString& mostraPedidos,
                     const QDate& data1 = QDate(2024, 2, 1),
                     const QDate& data2 = QDate(2024, 2, 29)) {
    Query qry(&db_->database());
    ConsultaItensPedidos(qry, empresa, mostraPedidos, data1, data2);
    QStringList lista;
    for (qry.first(); !qry.eof(); qry.next()) {
      lista << QStringList{qry.fieldByName("codempresa").asString(),
                           qry.fieldByName("TipoPedido").asString(),
                           qry.fieldByName("CODPEDIDO").asString(),
                           qry.fieldByName("CodProd").asString()}
                   .join('/');
    }
    lista.sort();
    return lista;
  }

  void cria(const QString& pedidos) {
    db_ = std::make_unique<test::TestDatabase>(test::kParametros + pedidos);
  }

  std::unique_ptr<test::TestDatabase> db_;
};

TEST_F(ConsultaItensPedidosTest, MostraPedidosEscolheOsPedidosPeloFaturado) {
  cria(pedido("01", "V", "S1", "2024-02-10", "S", 0, 10) +
       item("01", "V", "S1", 1, "P1", "1", 1, 10) +
       pedido("01", "V", "N1", "2024-02-10", "N", 0, 10) +
       item("01", "V", "N1", 1, "P1", "1", 1, 10) +
       pedido("01", "V", "G1", "2024-02-10", "G", 0, 10) +
       item("01", "V", "G1", 1, "P1", "1", 1, 10) +
       pedido("01", "V", "X1", "2024-02-10", "X", 0, 10) +
       item("01", "V", "X1", 1, "P1", "1", 1, 10) +
       pedido("01", "V", "Z1", "2024-02-10", nullptr, 0, 10) +
       item("01", "V", "Z1", 1, "P1", "1", 1, 10));

  struct Caso {
    const char* mostraPedidos;
    QStringList esperado;
  };
  const QStringList todos{"01/V/G1/P1", "01/V/N1/P1", "01/V/S1/P1"};
  const Caso casos[] = {
      {"0", {"01/V/S1/P1"}}, {"1", {"01/V/G1/P1", "01/V/N1/P1"}},
      {"2", todos},          {"", todos},
      {"abc", todos},        {" 0", todos},  // only exactly "0" means invoiced only
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(QStringLiteral("MostraPedidos \"%1\"").arg(caso.mostraPedidos).toStdString());
    EXPECT_EQ(linhas("01", caso.mostraPedidos), caso.esperado);
  }
}

TEST_F(ConsultaItensPedidosTest, LinhasDoMesmoProdutoEGradeSomamNumaLinha) {
  cria(pedido("01", "V", "100", "2024-02-10", "S", 15, 200) +
       item("01", "V", "100", 1, "P1", "1", 2, 10, 1) +
       item("01", "V", "100", 2, "P1", "1", 3, 12, 2) +
       item("01", "V", "100", 3, "P1", "2", 1, 50) + item("01", "V", "100", 4, "P2", "1", 4, 5));
  Query qry(&db_->database());
  ConsultaItensPedidos(qry, "01", "2", QDate(2024, 2, 1), QDate(2024, 2, 29));

  const QStringList colunas{
      "CODPROD",     "CODGRADE",  "QUANTIDADE",  "PRECOUNIT",    "DESCONTOVLR", "COMISSAO",
      "CODVENDEDOR", "CODPEDIDO", "TIPOPEDIDO",  "CODEMPRESA",   "DATAPEDIDO",  "DATAENTREGA",
      "FRETE",       "CODPRAZO",  "TOTALPEDIDO", "VLRACRESCIMO", "DESCRICAO"};
  ASSERT_EQ(qry.fieldCount(), colunas.size());
  for (int i = 0; i < colunas.size(); ++i) EXPECT_EQ(qry.fieldName(i).toUpper(), colunas[i]);

  ASSERT_EQ(qry.recordCount(), 3);
  bool achou = false;
  for (qry.first(); !qry.eof(); qry.next()) {
    // Every row repeats the order's header.
    EXPECT_DOUBLE_EQ(qry.fieldByName("FRETE").asFloat(), 15);
    EXPECT_DOUBLE_EQ(qry.fieldByName("TOTALPEDIDO").asFloat(), 200);
    if (qry.fieldByName("CODPROD").asString() == "P1" &&
        qry.fieldByName("CODGRADE").asString() == "1") {
      achou = true;
      EXPECT_DOUBLE_EQ(qry.fieldByName("QUANTIDADE").asFloat(), 5);
      EXPECT_DOUBLE_EQ(qry.fieldByName("PRECOUNIT").asFloat(), 22);
      EXPECT_DOUBLE_EQ(qry.fieldByName("DESCONTOVLR").asFloat(), 3);
      EXPECT_EQ(qry.fieldByName("DESCRICAO").asString(), "PRODUTO UM");
    }
  }
  EXPECT_TRUE(achou);
}

TEST_F(ConsultaItensPedidosTest, PrimeiroEUltimoDiaDoPeriodoEntram) {
  cria(pedido("01", "V", "JAN31", "2024-01-31", "S", 0, 10) +
       item("01", "V", "JAN31", 1, "P1", "1", 1, 10) +
       pedido("01", "V", "FEV01", "2024-02-01", "S", 0, 10) +
       item("01", "V", "FEV01", 1, "P1", "1", 1, 10) +
       pedido("01", "V", "FEV29", "2024-02-29", "S", 0, 10) +
       item("01", "V", "FEV29", 1, "P1", "1", 1, 10) +
       pedido("01", "V", "MAR01", "2024-03-01", "S", 0, 10) +
       item("01", "V", "MAR01", 1, "P1", "1", 1, 10));
  EXPECT_EQ(linhas("01", "0"), (QStringList{"01/V/FEV01/P1", "01/V/FEV29/P1"}));
  EXPECT_EQ(linhas("01", "0", QDate(2024, 2, 29), QDate(2024, 2, 29)),
            (QStringList{"01/V/FEV29/P1"}));
}

TEST_F(ConsultaItensPedidosTest, FilialVaziaSelecionaTodasAsFiliais) {
  cria(
      pedido("01", "V", "A", "2024-02-10", "S", 0, 10) + item("01", "V", "A", 1, "P1", "1", 1, 10) +
      pedido("02", "V", "B", "2024-02-10", "S", 0, 10) + item("02", "V", "B", 1, "P2", "1", 1, 10));
  EXPECT_EQ(linhas("01", "0"), (QStringList{"01/V/A/P1"}));
  EXPECT_EQ(linhas("02", "0"), (QStringList{"02/V/B/P2"}));
  EXPECT_EQ(linhas("", "0"), (QStringList{"01/V/A/P1", "02/V/B/P2"}));
  EXPECT_TRUE(linhas("03", "0").isEmpty());
}

}  // namespace
}  // namespace margivo
