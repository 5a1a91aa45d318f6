// The reporting period: the range each kind of period gives for a day, the
// caption, the kinds that keep the dates, and the texts round-tripping under
// regional settings that are not day-month-year.
#include <gtest/gtest.h>

#include <QDate>
#include <QString>

#include "framework/config.h"
#include "framework/regional.h"
#include "gadget/periodo.h"

namespace margivo {
namespace {

class PeriodoTest : public ::testing::Test {
 protected:
  void SetUp() override { setRegionalSettings(RegionalSettings::brazilian()); }
  void TearDown() override { setRegionalSettings(RegionalSettings::brazilian()); }
};

struct CasoPeriodo {
  const char* nome;
  const char* periodo;
  QDate hoje;
  const char* inicial;
  const char* final_;
  const char* legenda;
};

TEST_F(PeriodoTest, CadaTipoDePeriodoDaOIntervaloEALegenda) {
  const CasoPeriodo casos[] = {
      {"diario", "0", QDate(2024, 2, 14), "14/02/2024", "14/02/2024",
       "Período: Diário (14/02/2024)"},
      {"semanal num domingo", "1", QDate(2024, 3, 10), "10/03/2024", "16/03/2024",
       "Período: Semanal (10/03/2024 a 16/03/2024)"},
      {"semanal num sabado", "1", QDate(2024, 3, 16), "10/03/2024", "16/03/2024",
       "Período: Semanal (10/03/2024 a 16/03/2024)"},
      {"semanal numa quarta", "1", QDate(2024, 3, 13), "10/03/2024", "16/03/2024",
       "Período: Semanal (10/03/2024 a 16/03/2024)"},
      {"semana que atravessa o ano", "1", QDate(2025, 1, 1), "29/12/2024", "04/01/2025",
       "Período: Semanal (29/12/2024 a 04/01/2025)"},
      {"mensal fevereiro bissexto", "2", QDate(2024, 2, 14), "01/02/2024", "29/02/2024",
       "Período: Mensal (01/02/2024 a 29/02/2024)"},
      {"mensal fevereiro comum", "2", QDate(2023, 2, 28), "01/02/2023", "28/02/2023",
       "Período: Mensal (01/02/2023 a 28/02/2023)"},
      {"mensal de 31 dias", "2", QDate(2024, 12, 1), "01/12/2024", "31/12/2024",
       "Período: Mensal (01/12/2024 a 31/12/2024)"},
      {"anual", "3", QDate(2024, 7, 4), "01/01/2024", "31/12/2024",
       "Período: Anual (01/01/2024 a 31/12/2024)"},
  };
  for (const CasoPeriodo& caso : casos) {
    SCOPED_TRACE(caso.nome);
    TConfig config(QStringLiteral("Trovesk"));
    config.Periodo = QString::fromUtf8(caso.periodo);
    config.DataInicial = QStringLiteral("01/01/2000");
    config.DataFinal = QStringLiteral("01/01/2000");
    AtualizaDatas(config, caso.hoje);
    EXPECT_EQ(config.DataInicial, QString::fromUtf8(caso.inicial));
    EXPECT_EQ(config.DataFinal, QString::fromUtf8(caso.final_));
    EXPECT_EQ(LegendaPeriodo(config).value_or(QStringLiteral("<nenhuma>")),
              QString::fromUtf8(caso.legenda));
    const auto [inicial, final_] = DatasDoPeriodo(config);
    EXPECT_EQ(
        inicial.toString(Qt::ISODate),
        QDate::fromString(QString::fromUtf8(caso.inicial), "dd/MM/yyyy").toString(Qt::ISODate));
    EXPECT_EQ(
        final_.toString(Qt::ISODate),
        QDate::fromString(QString::fromUtf8(caso.final_), "dd/MM/yyyy").toString(Qt::ISODate));
  }
}

TEST_F(PeriodoTest, DoisDiasDeUmLadoEDoOutroDaMeiaNoiteDaoIntervalosDiferentes) {
  TConfig config(QStringLiteral("Trovesk"));
  config.Periodo = QStringLiteral("1");
  AtualizaDatas(config, QDate(2024, 3, 16));
  EXPECT_EQ(config.DataInicial, QStringLiteral("10/03/2024"));
  AtualizaDatas(config, QDate(2024, 3, 17));
  EXPECT_EQ(config.DataInicial, QStringLiteral("17/03/2024"));
  EXPECT_EQ(config.DataFinal, QStringLiteral("23/03/2024"));
}

TEST_F(PeriodoTest, PeriodoForaDeZeroATresMantemDatasESemLegenda) {
  for (const char* periodo : {"4", "-1", "99"}) {
    SCOPED_TRACE(periodo);
    TConfig config(QStringLiteral("Trovesk"));
    config.Periodo = QString::fromUtf8(periodo);
    config.DataInicial = QStringLiteral("05/01/2020");
    config.DataFinal = QStringLiteral("20/01/2020");
    AtualizaDatas(config, QDate(2024, 2, 14));
    EXPECT_EQ(config.DataInicial, QStringLiteral("05/01/2020"));
    EXPECT_EQ(config.DataFinal, QStringLiteral("20/01/2020"));
    EXPECT_FALSE(LegendaPeriodo(config).has_value());
    const auto [inicial, final_] = DatasDoPeriodo(config);
    EXPECT_EQ(inicial, QDate(2020, 1, 5));
    EXPECT_EQ(final_, QDate(2020, 1, 20));
  }
}

// A kind outside 0-3 without dates to use (none stored, or one that is not a
// date) is reported as the kind of period it is: the key, its value, the
// valid kinds and the file, then the date that is missing.
TEST_F(PeriodoTest, PeriodoForaDeZeroATresSemDatasNomeiaOPeriodo) {
  struct Caso {
    const char* periodo;
    const char* inicial;
    const char* final_;
    const char* chave;
  };
  for (const Caso& caso : {Caso{"9", "", "", "\"DataInicial\""},
                           Caso{"4", "05/01/2020", "31/02/2020", "\"DataFinal\""},
                           Caso{"-1", "x", "20/01/2020", "\"DataInicial\""}}) {
    SCOPED_TRACE(caso.periodo);
    TConfig config(QStringLiteral("Trovesk"), QStringLiteral("/tmp/caso/ConfigGadGet.Ini"));
    config.Periodo = QString::fromUtf8(caso.periodo);
    config.DataInicial = QString::fromUtf8(caso.inicial);
    config.DataFinal = QString::fromUtf8(caso.final_);
    AtualizaDatas(config, QDate(2024, 2, 14));
    try {
      DatasDoPeriodo(config);
      ADD_FAILURE() << "no error";
    } catch (const ConversionError& erro) {
      const QString mensagem = QString::fromUtf8(erro.what());
      for (const QString& parte :
           {QStringLiteral("\"Periodo\""), QStringLiteral("\"%1\"").arg(caso.periodo),
            QStringLiteral("/tmp/caso/ConfigGadGet.Ini"),
            QStringLiteral("0 (diário), 1 (semanal), 2 (mensal) ou 3 (anual)"),
            QString::fromUtf8(caso.chave)}) {
        EXPECT_TRUE(mensagem.contains(parte)) << parte.toStdString() << " in " << erro.what();
      }
      EXPECT_TRUE(mensagem.startsWith(
          QStringLiteral("Valor inválido \"%1\" na chave \"Periodo\"").arg(caso.periodo)))
          << erro.what();
    }
  }
}

TEST_F(PeriodoTest, PeriodoQueNaoEInteiroFalhaAntesDeMudarAsDatas) {
  for (const char* periodo : {"", "abc", "1.5", " 1"}) {
    SCOPED_TRACE(periodo);
    TConfig config(QStringLiteral("Trovesk"), QStringLiteral("/tmp/caso/ConfigGadGet.Ini"));
    config.Periodo = QString::fromUtf8(periodo);
    config.DataInicial = QStringLiteral("05/01/2020");
    config.DataFinal = QStringLiteral("20/01/2020");
    try {
      AtualizaDatas(config, QDate(2024, 2, 14));
      ADD_FAILURE() << "no error";
    } catch (const ConversionError& erro) {
      const QString mensagem = QString::fromUtf8(erro.what());
      EXPECT_TRUE(mensagem.contains(QStringLiteral("\"Periodo\""))) << erro.what();
      EXPECT_TRUE(mensagem.contains(QStringLiteral("\"%1\"").arg(config.Periodo))) << erro.what();
      EXPECT_TRUE(mensagem.contains(QStringLiteral("/tmp/caso/ConfigGadGet.Ini"))) << erro.what();
    }
    EXPECT_EQ(config.DataInicial, QStringLiteral("05/01/2020"));
    EXPECT_EQ(config.DataFinal, QStringLiteral("20/01/2020"));
    EXPECT_THROW(LegendaPeriodo(config), ConversionError);
  }
}

// Under month-first settings with another separator the texts keep the
// day-month-year pattern and read back as the same days, also past the 12th.
TEST_F(PeriodoTest, DatasVoltamComoEramSobOrdemMesDiaAno) {
  RegionalSettings americanas = RegionalSettings::brazilian();
  americanas.shortDateOrder = DateOrder::MonthDayYear;
  americanas.dateSeparator = QLatin1Char('-');
  setRegionalSettings(americanas);

  TConfig config(QStringLiteral("Trovesk"));
  config.Periodo = QStringLiteral("2");
  AtualizaDatas(config, QDate(2024, 2, 14));
  EXPECT_EQ(config.DataInicial, QStringLiteral("01-02-2024"));
  EXPECT_EQ(config.DataFinal, QStringLiteral("29-02-2024"));
  EXPECT_EQ(LegendaPeriodo(config).value(),
            QStringLiteral("Período: Mensal (01-02-2024 a 29-02-2024)"));
  const auto [inicial, final_] = DatasDoPeriodo(config);
  EXPECT_EQ(inicial, QDate(2024, 2, 1));
  EXPECT_EQ(final_, QDate(2024, 2, 29));
}

TEST_F(PeriodoTest, DataDoPeriodoInvalidaNomeiaAChave) {
  for (const char* texto : {"", "31/02/2024", "2024-02-14", "14/02/24", "14/02/2024x"}) {
    SCOPED_TRACE(texto);
    TConfig config(QStringLiteral("Trovesk"));
    config.DataInicial = QStringLiteral("01/02/2024");
    config.DataFinal = QString::fromUtf8(texto);
    try {
      DatasDoPeriodo(config);
      ADD_FAILURE() << "no error";
    } catch (const ConversionError& erro) {
      EXPECT_TRUE(QString::fromUtf8(erro.what()).contains(QStringLiteral("\"DataFinal\"")))
          << erro.what();
    }
  }
}

}  // namespace
}  // namespace margivo
