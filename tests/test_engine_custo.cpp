// The cost price policies, the commission of a line, the order item total
// and the trade-in value.
#include <gtest/gtest.h>

#include "framework/datetime.h"
#include "tests/test_engine_comum.h"

namespace margivo::test {
namespace {

TDateTime Dia(int ano, int mes, int dia) { return toTDateTime(QDate(ano, mes, dia)); }

// Product P1 at branch 01: current cost 10, average 9; managerial cost of
// grade A 7 (grade B has none); movements of grade A on 05/03 (sequences 4
// and 9) and 10/03; grade B never moved. The same at branch 02 with other
// figures, and a product whose code holds a single quote.
const char* kCustos =
    "INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P1', '01', 10, 9);"
    "INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P1', '02', 50, "
    "49);"
    "INSERT INTO CUSTOGERENCIAL VALUES ('P1', '01', 'A', 7);"
    "INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, SEQUENCIA, PRECOCUSTO,"
    " PRECOMEDIO) VALUES ('01', 'P1', 'A', '2024-03-05', 4, 11, 10.5);"
    "INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, SEQUENCIA, PRECOCUSTO,"
    " PRECOMEDIO) VALUES ('01', 'P1', 'A', '2024-03-05', 9, 12, 11.5);"
    "INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, SEQUENCIA, PRECOCUSTO,"
    " PRECOMEDIO) VALUES ('01', 'P1', 'A', '2024-03-10', 1, 20, 19);"
    "INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, SEQUENCIA, PRECOCUSTO,"
    " PRECOMEDIO) VALUES ('02', 'P1', 'A', '2024-03-06', 1, 60, 59);"
    "INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P''X', '01', 3, "
    "2);"
    "INSERT INTO MVGERAL (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, SEQUENCIA, PRECOCUSTO,"
    " PRECOMEDIO) VALUES ('01', 'P''X', 'A', '2024-03-01', 1, 4, 3.5);";

TEST(CostPrice, EachPolicyTakesItsFigure) {
  AmbienteEngine amb(QString::fromLatin1(kCustos));
  auto dm = amb.novoModulo();
  struct Caso {
    const char* nome;
    const char* tipoCusto;  // SQL value of ParaRentabilidade.TipoCusto
    const char* empresa;
    const char* produto;
    const char* grade;
    TDateTime venda;
    double custo;
  };
  const Caso casos[] = {
      {"current cost", "1", "01", "P1", "A", Dia(2024, 3, 8), 10},
      {"0 is the current cost", "0", "01", "P1", "A", Dia(2024, 3, 8), 10},
      {"unknown policy is the current cost", "7", "01", "P1", "A", Dia(2024, 3, 8), 10},
      {"null policy is the current cost", "NULL", "01", "P1", "A", Dia(2024, 3, 8), 10},
      {"current cost ignores the grade", "1", "01", "P1", "B", Dia(2024, 3, 8), 10},
      {"current cost of the branch", "1", "02", "P1", "A", Dia(2024, 3, 8), 50},
      {"current average", "4", "01", "P1", "A", Dia(2024, 3, 8), 9},
      {"managerial", "5", "01", "P1", "A", Dia(2024, 3, 8), 7},
      {"managerial without a row", "5", "01", "P1", "B", Dia(2024, 3, 8), 0},
      {"cost on the sale day: highest sequence of the last day", "2", "01", "P1", "A",
       Dia(2024, 3, 8), 12},
      {"average on the sale day", "3", "01", "P1", "A", Dia(2024, 3, 8), 11.5},
      {"a movement on the sale day counts", "2", "01", "P1", "A", Dia(2024, 3, 10), 20},
      {"only the date of the sale counts", "2", "01", "P1", "A", Dia(2024, 3, 10) + 0.75, 20},
      {"no movement up to the sale day: current cost", "2", "01", "P1", "A", Dia(2024, 3, 4), 10},
      {"no movement up to the sale day: current average", "3", "01", "P1", "A", Dia(2024, 3, 4), 9},
      {"grade never moved: current cost", "2", "01", "P1", "B", Dia(2024, 3, 8), 10},
      {"movements of another branch do not count", "2", "02", "P1", "A", Dia(2024, 3, 5), 50},
      {"a code with a quote matches literally", "2", "01", "P'X", "A", Dia(2024, 3, 8), 4},
      {"a code with a quote, average", "3", "01", "P'X", "A", Dia(2024, 3, 8), 3.5},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    // The policy is read anew for every item.
    amb.db().exec(QStringLiteral("UPDATE PARARENTABILIDADE SET TIPOCUSTO = %1").arg(c.tipoCusto));
    EXPECT_DOUBLE_EQ(dm->FPrecoCusto(c.empresa, QString::fromUtf8(c.produto), c.grade, c.venda),
                     c.custo);
  }
}

TEST(CostPrice, NoParameterRowMeansCurrentCost) {
  AmbienteEngine amb(QString::fromLatin1(kCustos) + "DELETE FROM PARARENTABILIDADE;");
  auto dm = amb.novoModulo();
  EXPECT_DOUBLE_EQ(dm->FPrecoCusto("01", "P1", "A", Dia(2024, 3, 8)), 10);
}

// Order 200 of branch 01: one line of P1 worth 200 (2 x 100), seller V1;
// commission percentages of order, seller and product are set per case.
const char* kComissao =
    "INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC, COMISSAO) VALUES ('P1', 'P1', 0, 0);"
    "INSERT INTO VENDEND (CODVENDEDOR, NOME, COMISSAO) VALUES ('V1', 'Vendedor', 0);"
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, CODVENDEDOR, COMISSAO,"
    " TOTALPEDIDO, FRETE, VLRACRESCIMO) VALUES ('01', 'V', '200', '2024-03-08', 'V1', 0, 200, 30, "
    "0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '200', 1, 'P1', 'A', 2, 100, 0);"
    // 201: a line with a negative net value, -100.
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, CODVENDEDOR, COMISSAO,"
    " TOTALPEDIDO, FRETE, VLRACRESCIMO) VALUES ('01', 'V', '201', '2024-03-08', 'V1', 0, 100, 0, "
    "0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '201', 1, 'P1', 'A', 10, 10, 20);";

TEST(Commission, TypeAndFlagChooseThePercentage) {
  AmbienteEngine amb(QString::fromLatin1(kComissao));
  struct Caso {
    const char* nome;
    const char* flag;  // PARAPDV.IncluiComissaoRentabilidade
    const char* tipo;  // PARARENTABILIDADE.TipoComissao, SQL value
    double pedido, vendedor, produto;
    const char* pedidoCodigo;
    const char* opcao;
    double comissao;
  };
  const Caso casos[] = {
      {"1: first positive of product, order, seller", "S", "'1'", 5, 3, 0, "200", "Produto", 10},
      {"1: the product's wins", "S", "'1'", 5, 3, 4, "200", "Produto", 8},
      {"1: the seller's when the others are 0", "S", "'1'", 0, 3, 0, "200", "Produto", 6},
      {"1: none positive", "S", "'1'", 0, 0, 0, "200", "Produto", 0},
      {"1: negative percentages", "S", "'1'", -5, -3, -1, "200", "Produto", 0},
      {"3: the seller's, even 0", "S", "'3'", 5, 0, 4, "200", "Produto", 0},
      {"3: the seller's", "S", "'3'", 5, 3, 4, "200", "Produto", 6},
      {"2: the order's even with a product percentage", "S", "'2'", 5, 3, 4, "200", "Produto", 10},
      {"unknown type", "S", "'9'", 5, 3, 4, "200", "Produto", 0},
      {"no type", "S", "NULL", 5, 3, 4, "200", "Produto", 0},
      {"flag in lower case", "s", "'1'", 5, 3, 4, "200", "Produto", 0},
      {"flag N", "N", "'1'", 5, 3, 4, "200", "Produto", 0},
      {"freight: the base is the freight value", "S", "'2'", 5, 3, 4, "200", "Frete", 1.5},
      {"freight: product of the row", "S", "'1'", 5, 3, 4, "200", "Frete", 1.2},
      {"negative line under 2", "S", "'2'", 5, 3, 4, "201", "Produto", -5},
      {"negative line under 3", "S", "'3'", 5, 3, 4, "201", "Produto", -3},
      {"negative line under 1", "S", "'1'", 5, 3, 4, "201", "Produto", 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    amb.db().exec(QStringLiteral("UPDATE PARAPDV SET INCLUICOMISSAORENTABILIDADE = '%1';"
                                 "UPDATE PARARENTABILIDADE SET TIPOCOMISSAO = %2;"
                                 "UPDATE PEDIDOC SET COMISSAO = %3;"
                                 "UPDATE VENDEND SET COMISSAO = %4;"
                                 "UPDATE PRODUTO SET COMISSAO = %5;")
                      .arg(c.flag, c.tipo)
                      .arg(c.pedido)
                      .arg(c.vendedor)
                      .arg(c.produto));
    // PARAPDV is read once per module, as once per refresh.
    auto dm = amb.novoModulo();
    auto qry = amb.itens(c.pedidoCodigo);
    Figuras f;
    Calcula(*dm, "Ped", c.opcao, *qry, f);
    EXPECT_DOUBLE_EQ(f.MComissao, c.comissao);
    EXPECT_DOUBLE_EQ(f.MTotComissao, 0);
  }
}

TEST(Commission, FlagIsReadOncePerModule) {
  AmbienteEngine amb("UPDATE PARAPDV SET INCLUICOMISSAORENTABILIDADE = 'S';");
  auto dm = amb.novoModulo();
  EXPECT_TRUE(dm->FIncluiComissaoRentabilidade());
  amb.db().exec("UPDATE PARAPDV SET INCLUICOMISSAORENTABILIDADE = 'N';");
  EXPECT_TRUE(dm->FIncluiComissaoRentabilidade());
  EXPECT_FALSE(amb.novoModulo()->FIncluiComissaoRentabilidade());
}

// Order 300: lines (10.00 - 1.00) x 3 and 5.00 x 2; order 301 has two lines
// of the same product and grade and one discounted beyond its price; order
// 302 has no lines. Quotes: 900 is a trade-in of branch 01.
const char* kTotais =
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO) VALUES ('01', 'V', '300', "
    "'2024-03-08');"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '300', 1, 'P1', 'A', 3, 10, 1);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '300', 2, 'P2', 'A', 2, 5, 0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'T', '300', 1, 'P1', 'A', 1, 1000, 0);"
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO) VALUES ('01', 'V', '301', "
    "'2024-03-08');"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '301', 1, 'P1', 'A', 2, 10, 0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '301', 2, 'P1', 'A', 3, 20, 0);"
    "INSERT INTO PEDIDOI VALUES ('01', 'V', '301', 3, 'P2', 'A', 1, 5, 8);"
    "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO) VALUES ('01', 'V', '302', "
    "'2024-03-08');"
    "INSERT INTO ORCCABE (CODEMPRESA, CODORC, TOTALORCAMENTO) VALUES ('01', '900', 250);"
    "INSERT INTO ORCCABE (CODEMPRESA, CODORC, TOTALORCAMENTO) VALUES ('02', '901', 80);";

TEST(OrderItemTotal, SumsEveryLineOfTheOrder) {
  AmbienteEngine amb(QString::fromLatin1(kTotais));
  auto dm = amb.novoModulo();
  struct Caso {
    const char* pedido;
    double total;
  };
  // 300: 9 x 3 + 5 x 2 (the type-T order of the same number does not count);
  // 301: 20 + 60 + (5 - 8); 302: no lines.
  const Caso casos[] = {{"300", 37}, {"301", 77}, {"302", 0}};
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.pedido);
    Query q(&amb.banco());
    q.sql() << "SELECT CODEMPRESA, CODPEDIDO, TIPOPEDIDO FROM PEDIDOC WHERE CODPEDIDO = :P";
    q.setString("P", c.pedido);
    q.open();
    EXPECT_DOUBLE_EQ(dm->FCalculaTotalItensPed(q), c.total);
  }
}

TEST(TradeIn, BranchAndNumberMustMatch) {
  AmbienteEngine amb(QString::fromLatin1(kTotais));
  auto dm = amb.novoModulo();
  EXPECT_DOUBLE_EQ(dm->SelecionaValorDaTroca("01", "900"), 250);
  EXPECT_DOUBLE_EQ(dm->SelecionaValorDaTroca("01", "901"), 0);  // a quote of branch 02
  EXPECT_DOUBLE_EQ(dm->SelecionaValorDaTroca("01", ""), 0);
}

}  // namespace
}  // namespace margivo::test
