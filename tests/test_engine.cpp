// The per-item calculation on the order path: line values, operating cost,
// discount proration, freight, the closing rounding step and the errors that
// end a call.
#include <gtest/gtest.h>

#include "tests/test_engine_comum.h"

namespace margivo::test {
namespace {

// Orders of branch 01, type V, dated 08/03/2024, all without freight unless
// said otherwise. Product P1 costs 30.00 and has an own operating cost of
// 3 %; P2 costs 20.00 and has none; P3 has a negative one.
const char* kPedidos =
    "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC) VALUES ('P1', 'Produto 1', 3);"
    "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC) VALUES ('P2', 'Produto 2', 0);"
    "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC) VALUES ('P3', 'Produto 3', -2);"
    "INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P1', '01', 30, "
    "28);"
    "INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P2', '01', 20, "
    "19);"
    "INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P3', '01', "
    "10.1234, 10);"
    // 123: one line of P1, 4 x 50.00.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO, FATURADO) VALUES ('01', 'V', '123', '2024-03-08', 200, 0, 0, 'S');"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '123', 1, 'P1', 'A', 4, 50, 0);"
    // 124: one line of P2, 4 x 50.00; 125: one line of P3, 4 x 50.00.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO, FATURADO) VALUES ('01', 'V', '124', '2024-03-08', 200, 0, 0, 'S');"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '124', 1, 'P2', 'A', 4, 50, 0);"
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO, FATURADO) VALUES ('01', 'V', '125', '2024-03-08', 200, 0, 0, 'S');"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '125', 1, 'P3', 'A', 4, 50, 0);"
    // 126: lines worth 40 (P1) and 60 (P2), closing discount 10, freight 30.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO, FATURADO) VALUES ('01', 'V', '126', '2024-03-08', 90, 30, 0, 'S');"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '126', 1, 'P1', 'A', 1, 40, 0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '126', 2, 'P2', 'A', 2, 31, 1);"
    "INSERT INTO ENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRRECEBER, VLRCONVENIO, VLRFINANC,"
    " VLRCHPREDATADO, VLRCHEQUE, VLRDINHEIRO, VLRDESCONTO, VLRTROCO)"
    " VALUES ('01', 'V', '126', 0, 0, 0, 0, 0, 120, 10, 0);"
    // 127: freight 1.00, for the rounding of running totals.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO, FATURADO) VALUES ('01', 'V', '127', '2024-03-08', 10, 1, 0, 'S');"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '127', 1, 'P2', 'A', 1, 10, 0);"
    // 128: no closing record, but a pre-dated cheque due in 30 days.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO, FATURADO) VALUES ('01', 'V', '128', '2024-03-08', 200, 0, 0, 'S');"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '128', 1, 'P2', 'A', 4, 50, 0);"
    "INSERT INTO PRETERC (CODEMPRESA, NUMDOCORIG, SEQUENCIA, VLRCHEQUE, DT_ENTRADA)"
    " VALUES ('01', 'V128', 1, 200, '2024-04-07');";

class OrderPathTest : public ::testing::Test {
 protected:
  OrderPathTest() : amb(QString::fromLatin1(kPedidos)), dm(amb.novoModulo()) {}
  AmbienteEngine amb;
  std::unique_ptr<TdmRentabilidade> dm;
};

TEST_F(OrderPathTest, ProductLineFillsEveryFigure) {
  auto qry = amb.itens("123");
  Figuras f;
  Entradas e;
  e.VfCustoVd = 10;
  e.VfCustoFn = 2;
  Calcula(*dm, "Ped", "Produto", *qry, f, e);
  EXPECT_DOUBLE_EQ(f.MAquisicao, 30);
  EXPECT_DOUBLE_EQ(f.MValorDaVenda, 200);
  EXPECT_DOUBLE_EQ(f.MQtdeVendida, 4);
  EXPECT_DOUBLE_EQ(f.MOperacional, 1.5);  // 3 % of 200 over 4 units
  EXPECT_DOUBLE_EQ(f.MCustoParcVd, 126);
  EXPECT_DOUBLE_EQ(f.MComissao, 0);
  EXPECT_DOUBLE_EQ(f.MImpostos, 20);
  EXPECT_DOUBLE_EQ(f.MOutros, 4);
  EXPECT_DOUBLE_EQ(f.MCustoTotVd, 150);
  EXPECT_DOUBLE_EQ(f.MMargemBrtLcr, 74);
  EXPECT_DOUBLE_EQ(f.MMargemOpLcr, 50);
  EXPECT_DOUBLE_EQ(f.MPercLucroBrt, 37);
  EXPECT_DOUBLE_EQ(f.MPercLucroOpe, 25);
  EXPECT_DOUBLE_EQ(f.MTotValorDaVenda, 200);
  EXPECT_DOUBLE_EQ(f.MTotCustoParcVd, 126);
  EXPECT_DOUBLE_EQ(f.MTotImpostos, 20);
  EXPECT_DOUBLE_EQ(f.MTotOutros, 4);
  EXPECT_DOUBLE_EQ(f.MTotCustoTotVd, 150);
  EXPECT_DOUBLE_EQ(f.MTotMargemBrtLcr, 74);
  EXPECT_DOUBLE_EQ(f.MTotMargemOpLcr, 50);
  EXPECT_DOUBLE_EQ(f.MTotPercLucroBrt, 37);
  EXPECT_DOUBLE_EQ(f.MTotPercLucroOpe, 25);
  EXPECT_DOUBLE_EQ(f.MTotComissao, 0);  // the order path never adds the commission
}

TEST_F(OrderPathTest, OperatingCostPrefersTheProductsOwnPositivePercentage) {
  struct Caso {
    const char* pedido;
    double VfCustoOp;
    double MOperacional;
  };
  const Caso casos[] = {
      {"123", 0, 1.5},  // own 3 %: 3 % of 200 over 4 units
      {"123", 5, 1.5},  // the own percentage wins over the general one
      {"124", 5, 2.5},  // own 0: the general 5 %
      {"125", 5, 2.5},  // own -2: only a positive own percentage counts
      {"124", 0, 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(std::string("pedido ") + c.pedido + " VfCustoOp " + std::to_string(c.VfCustoOp));
    auto qry = amb.itens(c.pedido);
    Figuras f;
    Entradas e;
    e.VfCustoOp = c.VfCustoOp;
    Calcula(*dm, "Ped", "Produto", *qry, f, e);
    EXPECT_DOUBLE_EQ(f.MOperacional, c.MOperacional);
  }
}

TEST_F(OrderPathTest, ClosingDiscountIsProratedByTheLinesShareOfTheItemTotal) {
  // Items total 40 + 2 x (31 - 1) = 100; the closing discount of 10 takes 4
  // off the line worth 40. A trade-in of 4 was part of that discount.
  auto qry = amb.itens("126", "P1");
  Figuras f;
  Calcula(*dm, "Ped", "Produto", *qry, f);
  EXPECT_DOUBLE_EQ(f.MValorDaVenda, 36);
  EXPECT_DOUBLE_EQ(f.MTotValorDaVenda, 36);

  Figuras g;
  Entradas e;
  e.MTotTroca = 4;
  Calcula(*dm, "Ped", "Produto", *qry, g, e);
  EXPECT_DOUBLE_EQ(g.MValorDaVenda, 37.6);  // 40 - (10 - 4) / 100 x 40
}

TEST_F(OrderPathTest, FreightIsALineOfQuantityOneCostingItsValue) {
  auto qry = amb.itens("126");
  Figuras f;
  f.MOperacional = 9;  // left from an earlier line
  Calcula(*dm, "Ped", "Frete", *qry, f);
  EXPECT_DOUBLE_EQ(f.MAquisicao, 30);
  EXPECT_DOUBLE_EQ(f.MValorDaVenda, 30);
  EXPECT_DOUBLE_EQ(f.MQtdeVendida, 1);
  EXPECT_DOUBLE_EQ(f.MOperacional, 0);
  EXPECT_DOUBLE_EQ(f.MCustoParcVd, 30);
  EXPECT_DOUBLE_EQ(f.MMargemBrtLcr, 0);
  EXPECT_DOUBLE_EQ(f.MTotValorDaVenda, 30);
}

TEST_F(OrderPathTest, OrderWithoutClosingRecordHasNoFinancingRatio) {
  // The cheque costs something, but without a closing record there is no
  // amount received to relate it to.
  auto qry = amb.itens("128");
  Figuras f;
  Calcula(*dm, "Ped", "Produto", *qry, f);
  EXPECT_GT(dm->MPreValorPresente, 5);
  EXPECT_DOUBLE_EQ(f.MDescontoPV, 0);
  EXPECT_DOUBLE_EQ(f.MValorDaVenda, 200);
}

TEST_F(OrderPathTest, ZeroSaleValueLeavesThePercentagesAsTheyWere) {
  auto qry = amb.itens("124");
  Figuras f;
  f.MPercLucroBrt = 12.5;
  f.MPercLucroOpe = 7.25;
  Calcula(*dm, "Ped", "Outra", *qry, f);  // no line values: sale value 0
  EXPECT_DOUBLE_EQ(f.MValorDaVenda, 0);
  EXPECT_DOUBLE_EQ(f.MPercLucroBrt, 12.5);
  EXPECT_DOUBLE_EQ(f.MPercLucroOpe, 7.25);
}

TEST_F(OrderPathTest, UnknownDocumentKindOnlyRounds) {
  auto qry = amb.itens("123");
  Figuras f;
  f.MAquisicao = 1.236;
  f.MValorDaVenda = 55.555;
  f.MQtdeVendida = 3;
  f.MComissao = -0.125;
  f.MTotValorDaVenda = 10.004;
  f.MTotPercLucroOpe = 33.3333;
  Calcula(*dm, "Xyz", "Produto", *qry, f);
  EXPECT_DOUBLE_EQ(f.MAquisicao, 1.24);
  EXPECT_DOUBLE_EQ(f.MValorDaVenda, 0);
  EXPECT_DOUBLE_EQ(f.MQtdeVendida, 0);
  EXPECT_DOUBLE_EQ(f.MComissao, -0.13);
  EXPECT_DOUBLE_EQ(f.MTotValorDaVenda, 10);
  EXPECT_DOUBLE_EQ(f.MTotPercLucroOpe, 33.33);
}

TEST_F(OrderPathTest, RunningTotalsAreRoundedAfterEveryCall) {
  // A tax of 0.4 % on a freight of 1.00 adds 0.004 per call: each call
  // rounds the running total back to 0, where one rounding of the sum would
  // give 0.01.
  auto qry = amb.itens("127");
  Figuras f;
  Entradas e;
  e.VfCustoVd = 0.4;
  Calcula(*dm, "Ped", "Frete", *qry, f, e);
  Calcula(*dm, "Ped", "Frete", *qry, f, e);
  EXPECT_DOUBLE_EQ(f.MTotImpostos, 0);
  EXPECT_DOUBLE_EQ(f.MTotValorDaVenda, 2);
}

TEST_F(OrderPathTest, QuoteKindNeedsAQuoteHeader) {
  // An order row handed to the quote path lacks the quote's columns.
  auto qry = amb.itens("123");
  Figuras f;
  try {
    Calcula(*dm, "Orc", "Produto", *qry, f);
    FAIL() << "no error";
  } catch (const CalculationError& e) {
    EXPECT_EQ(e.kind(), CalculationError::Kind::Database);
    EXPECT_TRUE(e.message().contains(QStringLiteral("orçamento CODEMPRESA=01"))) << e.what();
    EXPECT_TRUE(e.message().contains(QStringLiteral("(cabeçalho do orçamento)"))) << e.what();
  }
}

// Orders whose figures cannot be computed: a division by zero where the
// calculation has no guard.
const char* kPedidosComErro =
    "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC) VALUES ('P1', 'Produto 1', 0);"
    "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC) VALUES ('P2', 'Produto 2', 0);"
    "INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO) VALUES ('P1', '01', 10.1234);"
    // 130: P1 sold in quantity 0 beside a line worth 10.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO) VALUES ('01', 'V', '130', '2024-03-08', 10, 0, 0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '130', 1, 'P1', 'A', 0, 10, 0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '130', 2, 'P2', 'A', 1, 10, 0);"
    // 131: the only line is discounted to nothing, the item total is 0.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO) VALUES ('01', 'V', '131', '2024-03-08', 0, 0, 0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '131', 1, 'P1', 'A', 1, 10, 10);"
    // 132: a negative freight cancels the order total in the boleto share.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO) VALUES ('01', 'V', '132', '2024-03-08', 100, -100, 0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '132', 1, 'P1', 'A', 1, 100, 0);"
    // 133: the surcharge equals the order total plus freight.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, TOTALPEDIDO, FRETE,"
    " VLRACRESCIMO) VALUES ('01', 'V', '133', '2024-03-08', 100, 0, 100);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '133', 1, 'P1', 'A', 1, 100, 0);";

TEST(OrderPathErrors, DivisionByZeroNamesOrderProductAndStep) {
  AmbienteEngine amb(QString::fromLatin1(kPedidosComErro));
  auto dm = amb.novoModulo();
  struct Caso {
    const char* pedido;
    const char* etapa;
  };
  const Caso casos[] = {
      {"130", "custo operacional por unidade"},
      {"131", "rateio do desconto"},
      {"132", "rateio da taxa de emissão de boletos"},
      {"133", "rentabilidade bruta total"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.pedido);
    auto qry = amb.itens(c.pedido, "P1");
    Figuras f;
    try {
      Calcula(*dm, "Ped", "Produto", *qry, f);
      ADD_FAILURE() << "no error";
    } catch (const CalculationError& e) {
      EXPECT_EQ(e.kind(), CalculationError::Kind::Arithmetic);
      EXPECT_EQ(e.message(), QStringLiteral("Divisão por zero no cálculo do pedido CODEMPRESA=01 "
                                            "TIPOPEDIDO=V CODPEDIDO=%1, produto CODPROD=P1 (%2)")
                                 .arg(QString::fromLatin1(c.pedido), QString::fromUtf8(c.etapa)));
    }
    // The rounding step did not run: the cost price keeps its four decimals.
    EXPECT_DOUBLE_EQ(f.MAquisicao, 10.1234);
  }
}

TEST(OrderPathErrors, FiguresAssignedBeforeTheErrorKeepTheirValues) {
  AmbienteEngine amb(QString::fromLatin1(kPedidosComErro));
  auto dm = amb.novoModulo();
  auto qry = amb.itens("133");
  Figuras f;
  f.MTotValorDaVenda = 0.5;
  f.MTotPercLucroBrt = 42;
  EXPECT_THROW(Calcula(*dm, "Ped", "Produto", *qry, f), CalculationError);
  EXPECT_DOUBLE_EQ(f.MValorDaVenda, 100);
  EXPECT_DOUBLE_EQ(f.MTotValorDaVenda, 100.5);
  EXPECT_DOUBLE_EQ(f.MMargemBrtLcr, 100 - 10.1234);
  EXPECT_DOUBLE_EQ(f.MTotMargemBrtLcr, 100 - 10.1234);
  EXPECT_DOUBLE_EQ(f.MTotPercLucroBrt, 42);  // the failing step assigned nothing
}

TEST(OrderPathErrors, DatabaseErrorNamesOrderProductAndStep) {
  // Commissions are on, but the sellers' table is missing.
  AmbienteEngine amb(QString::fromLatin1(kPedidosComErro) +
                     "UPDATE PARAPDV SET INCLUICOMISSAORENTABILIDADE = 'S';"
                     "DROP TABLE VENDEND;");
  auto dm = amb.novoModulo();
  auto qry = amb.itens("130", "P2");
  Figuras f;
  try {
    Calcula(*dm, "Ped", "Produto", *qry, f);
    FAIL() << "no error";
  } catch (const CalculationError& e) {
    EXPECT_EQ(e.kind(), CalculationError::Kind::Database);
    EXPECT_TRUE(e.message().startsWith(
        "Erro de banco de dados no cálculo do pedido CODEMPRESA=01 TIPOPEDIDO=V CODPEDIDO=130, "
        "produto CODPROD=P2 (comissão): "))
        << e.what();
    EXPECT_TRUE(e.message().contains("Vendend", Qt::CaseInsensitive)) << e.what();
  }
}

TEST(DataModule, MissingParaTlmFailsTheSetUp) {
  AmbienteEngine amb("DROP TABLE PARATLM;");
  TdmRentabilidade dm;
  dm.AdicionaGadget(&amb);
  EXPECT_THROW(dm.AssociaConexoes(), DatabaseError);
}

}  // namespace
}  // namespace margivo::test
