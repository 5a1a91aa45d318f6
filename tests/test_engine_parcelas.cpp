// Payment conditions, the installment schedule and the present value of
// financing plans and agreement documents.
#include <gtest/gtest.h>

#include "framework/datetime.h"
#include "tests/test_engine_comum.h"

namespace margivo::test {
namespace {

// Conditions: terms in days and percentages of each installment.
const char* kCondicoes =
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, PRAZO1, PRAZO2, PRAZO3, PRAZO4, PRAZO5, PRAZO6,"
    " PRAZO7, PERCENT1, PERCENT2, PERCENT3) VALUES ('306090', 1, 30, 60, 90, 0, 0, 0, 0, 0, 0, 0);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, PRAZO1) VALUES ('30', 1, 30);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, PRAZO1) VALUES ('AVISTA', 0, 0);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, PRAZO1, PRAZO2, PRAZO3, PRAZO4)"
    " VALUES ('BURACO', 1, 30, 60, 0, 90);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, PRAZO1, PRAZO2, PERCENT1, PERCENT2)"
    " VALUES ('3030', 2, 30, 60, 30, 30);"
    "INSERT INTO CONDPAG (CODPRAZO, TIPOVENDA, PRAZO1, PRAZO2, PRAZO3, PERCENT1)"
    " VALUES ('50', 3, 10, 20, 30, 50);"
    "INSERT INTO CONDPAG (CODPRAZO, PRAZO1, PRAZO2, PRAZO3, PRAZO4, PRAZO5, PRAZO6, PRAZO7)"
    " VALUES ('SETE', 1, 2, 3, 4, 5, 6, 7);";

TEST(Installments, SpreadTheTotalOverTheConditionsTerms) {
  AmbienteEngine amb(QString::fromLatin1(kCondicoes));
  auto dm = amb.novoModulo();
  const TDateTime base = toTDateTime(QDate(2024, 3, 1));
  struct Caso {
    const char* prazo;
    double total;
    bool financiado;
    std::vector<double> valores;
    std::vector<int> dias;
  };
  const Caso casos[] = {
      {"306090", 100, false, {33.33, 33.33, 33.34}, {30, 60, 90}},
      {"30", 100, false, {100}, {30}},
      {"AVISTA", 100, false, {100}, {0}},
      // A zero term between two others is an installment due on the base date.
      {"BURACO", 100, false, {25, 25, 25, 25}, {30, 60, 0, 90}},
      {"3030", 1000, true, {300, 700}, {30, 60}},
      // The last installment absorbs the difference, here downwards.
      {"50", 900, true, {450, 300, 150}, {10, 20, 30}},
      {"SETE", 70, false, {10, 10, 10, 10, 10, 10, 10}, {1, 2, 3, 4, 5, 6, 7}},
      // An unknown condition: one installment of the whole, on the base date.
      {"NAOHA", 100, false, {100}, {0}},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.prazo);
    std::vector<double> valores(7, -1);
    std::vector<TDateTime> datas(7, -1);
    dm->LimpaArray(valores, datas);
    EXPECT_EQ(dm->fbAbreDadosFinanc(c.prazo), c.financiado);
    int n = 0;
    dm->ColocaDadosNasParcelas(c.total, valores, datas, n, "01/03/2024");
    ASSERT_EQ(n, static_cast<int>(c.valores.size()));
    double soma = 0;
    for (int i = 0; i < 7; ++i) {
      SCOPED_TRACE(i);
      if (i < n) {
        EXPECT_NEAR(valores[i], c.valores[i], 1e-9);
        EXPECT_DOUBLE_EQ(datas[i], base + c.dias[i]);
        soma += valores[i];
      } else {
        EXPECT_EQ(valores[i], 0);  // emptied by LimpaArray, not touched
        EXPECT_EQ(datas[i], 0);
      }
    }
    EXPECT_NEAR(soma, c.total, 1e-9);
  }
}

TEST(Installments, BaseDateKeepsItsTimeOfDay) {
  AmbienteEngine amb(QString::fromLatin1(kCondicoes));
  auto dm = amb.novoModulo();
  std::vector<double> valores(7, 0);
  std::vector<TDateTime> datas(7, 0);
  dm->fbAbreDadosFinanc("30");
  int n = 0;
  dm->ColocaDadosNasParcelas(50, valores, datas, n, "01/03/2024 12:00:00");
  EXPECT_DOUBLE_EQ(datas[0], toTDateTime(QDate(2024, 3, 1)) + 30.5);
}

TEST(Installments, BaseDateThatDoesNotParseIsAnError) {
  AmbienteEngine amb(QString::fromLatin1(kCondicoes));
  auto dm = amb.novoModulo();
  std::vector<double> valores(7, 0);
  std::vector<TDateTime> datas(7, 0);
  dm->fbAbreDadosFinanc("30");
  int n = 0;
  EXPECT_THROW(dm->ColocaDadosNasParcelas(50, valores, datas, n, "31/02/2024"), ConversionError);
}

TEST(Installments, FinancedConditionNeedsSaleTypeTwoOrMore) {
  AmbienteEngine amb(QString::fromLatin1(kCondicoes) +
                     "INSERT INTO CONDPAG (CODPRAZO) VALUES ('NULO');");
  auto dm = amb.novoModulo();
  EXPECT_FALSE(dm->fbAbreDadosFinanc("AVISTA"));  // 0
  EXPECT_FALSE(dm->fbAbreDadosFinanc("30"));      // 1
  EXPECT_TRUE(dm->fbAbreDadosFinanc("3030"));     // 2
  EXPECT_TRUE(dm->fbAbreDadosFinanc("50"));       // 3
  EXPECT_FALSE(dm->fbAbreDadosFinanc("NULO"));    // null
}

// --- PreCalculoValorPresente.

struct Pv {
  QString opcao = "Ped";
  std::vector<double> parcelas = std::vector<double>(7, 0.0);
  QString prazoUmOuDois;
  QString tipoIntegracao;
  QString cartConOuFinanceira;
  double vlrDoFinanc = 0, txRentencao = 0, valorParc02 = 0, txJurosDia = 0, dias = 0,
         vlrParcFinanc = 0;
  int numParcelas = 0;
  QString possuiEntrada;
};

double PreCalcula(TdmRentabilidade& dm, const Pv& p) {
  return dm.PreCalculoValorPresente(p.opcao, p.parcelas, QString(), QString(), p.prazoUmOuDois,
                                    p.tipoIntegracao, p.cartConOuFinanceira, p.vlrDoFinanc,
                                    p.txRentencao, p.valorParc02, p.txJurosDia, p.dias,
                                    p.vlrParcFinanc, p.numParcelas, p.possuiEntrada);
}

// P - P / (1 + i)^d at daily rate i.
double T(double P, double d, double i) { return P - P / std::pow(1 + i, d); }

TEST(PresentValue, OrderBranches) {
  AmbienteEngine amb;
  auto dm = amb.novoModulo();
  const double i = 0.001;
  struct Caso {
    const char* nome;
    Pv p;
    double resultado;
    double taxa;  // MVlrTxRentencao afterwards
  };
  auto pv = [&](const char* cc, const char* esquema, double financ, double R, double D, double Q,
                int n, const char* entrada) {
    Pv p;
    p.cartConOuFinanceira = cc;
    p.tipoIntegracao = esquema;
    p.vlrDoFinanc = financ;
    p.txRentencao = R;
    p.dias = D;
    p.vlrParcFinanc = Q;
    p.numParcelas = n;
    p.possuiEntrada = entrada;
    p.txJurosDia = i;
    return p;
  };
  const Caso casos[] = {
      {"agreement paid on the day: the fee alone", pv("C", "3", 1000, 2, 0, 0, 0, ""), 20, 20},
      {"agreement: fee plus the late payment", pv("C", "4", 1000, 2, 30, 0, 0, ""),
       T(980, 30, i) + 20, 20},
      {"agreement without a rate", pv("C", "3", 1000, 0, 30, 0, 0, ""), T(1000, 30, i), 0},
      {"plan 3: one payment per installment", pv("F", "3", 0, 1, 30, 100, 3, ""),
       T(99, 30, i) + T(99, 60, i) + T(99, 90, i), 3},
      {"plan 3 with down payment: the first on the day", pv("F", "3", 0, 1, 30, 100, 3, "S"),
       T(99, 0, i) + T(99, 30, i) + T(99, 60, i), 3},
      {"plan 3, one installment with down payment: at D", pv("F", "3", 0, 1, 30, 100, 1, "S"),
       T(99, 30, i), 1},
      {"plan 3 without installments costs nothing", pv("F", "3", 0, 1, 30, 100, 0, ""), 0, 0},
      {"plan 4: the financed amount at once", pv("F", "4", 500, 2, 30, 100, 5, ""), T(490, 30, i),
       10},
      {"plan with another scheme: fee set, no payment", pv("F", "9", 500, 2, 30, 100, 5, ""), 0,
       10},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    dm->MVlrTxRentencao = -1;
    dm->MPreValorPresente = 123;
    EXPECT_NEAR(PreCalcula(*dm, c.p), c.resultado, 1e-9);
    EXPECT_NEAR(dm->MVlrTxRentencao, c.taxa, 1e-12);
    EXPECT_EQ(dm->MPreValorPresente, 123);  // the order branch leaves it alone
  }
}

TEST(PresentValue, OtherOptionsCostNothingAndChangeNothing) {
  AmbienteEngine amb;
  auto dm = amb.novoModulo();
  const struct {
    const char* opcao;
    const char* cc;
  } casos[] = {{"Xyz", "C"}, {"Ped", "Z"}, {"Orc", "Z"}, {"", "F"}};
  for (const auto& c : casos) {
    SCOPED_TRACE(std::string(c.opcao) + "/" + c.cc);
    Pv p;
    p.opcao = c.opcao;
    p.cartConOuFinanceira = c.cc;
    p.tipoIntegracao = "3";
    p.vlrDoFinanc = 1000;
    p.txRentencao = 2;
    p.dias = 30;
    p.txJurosDia = 0.001;
    p.numParcelas = 2;
    p.vlrParcFinanc = 100;
    dm->MVlrTxRentencao = -1;
    dm->MPreValorPresente = 123;
    EXPECT_EQ(PreCalcula(*dm, p), 0);
    EXPECT_EQ(dm->MVlrTxRentencao, -1);
    EXPECT_EQ(dm->MPreValorPresente, 123);
  }
}

TEST(PresentValue, QuoteBranchesAddIntoTheRunningCost) {
  // The quote header's first installment is 400.
  AmbienteEngine amb(
      "INSERT INTO ORCCABE (CODEMPRESA, CODORC, VLRPARC01) VALUES ('01', '77', 400);");
  auto dm = amb.novoModulo();
  dm->qrySelecaoOrc.setString("CodOrc", "77");
  dm->qrySelecaoOrc.setString("CodEmpresa", "01");
  dm->qrySelecaoOrc.open();
  const double i = 0.001;

  Pv p;
  p.opcao = "Orc";
  p.txJurosDia = i;
  p.txRentencao = 2;
  p.dias = 30;

  // Agreement, term 1, one payment per installment: fee 2 % of 400 off each.
  p.cartConOuFinanceira = "C";
  p.prazoUmOuDois = "1";
  p.tipoIntegracao = "3";
  p.parcelas = {400, 0, 300, 0, 0, 0, 999};  // entry 6 is never read
  dm->MPreValorPresente = 5;
  EXPECT_NEAR(PreCalcula(*dm, p), 5 + T(392, 30, i) + T(292, 90, i), 1e-9);
  EXPECT_NEAR(dm->MVlrTxRentencao, 8, 1e-12);

  // Agreement, term 2: the single installment, no fee deducted or set.
  p.prazoUmOuDois = "2";
  p.valorParc02 = 500;
  dm->MVlrTxRentencao = -1;
  dm->MPreValorPresente = 0;
  EXPECT_NEAR(PreCalcula(*dm, p), T(500, 30, i), 1e-9);
  EXPECT_EQ(dm->MVlrTxRentencao, -1);

  // Financing with a down payment: one installment more, the first on the day.
  p.cartConOuFinanceira = "F";
  p.numParcelas = 2;
  p.vlrParcFinanc = 100;
  p.possuiEntrada = "S";
  dm->MPreValorPresente = 0;
  EXPECT_NEAR(PreCalcula(*dm, p), T(98, 0, i) + T(98, 30, i) + T(98, 60, i), 1e-9);
  EXPECT_NEAR(dm->MVlrTxRentencao, 6, 1e-12);

  // Financing, scheme 4: the header's first installment less the fee.
  p.tipoIntegracao = "4";
  p.possuiEntrada = "";
  dm->MPreValorPresente = 0;
  EXPECT_NEAR(PreCalcula(*dm, p), T(400 - 4, 30, i), 1e-9);
}

}  // namespace
}  // namespace margivo::test
