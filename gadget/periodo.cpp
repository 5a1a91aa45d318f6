#include "gadget/periodo.h"

#include <QStringList>

#include "framework/config.h"
#include "framework/datetime.h"
#include "framework/regional.h"

namespace margivo {

namespace {

QString nomeArquivo(const TConfig& Config) {
  return Config.arquivo().isEmpty() ? CaminhoArquivoConfig() : Config.arquivo();
}

[[noreturn]] void valorInvalido(const TConfig& Config, const QString& chave, const QString& valor,
                                const QString& esperado) {
  throw ConversionError(QStringLiteral("Valor inválido \"%1\" na chave \"%2\" de %3: %4")
                            .arg(valor, chave, nomeArquivo(Config), esperado)
                            .toStdString());
}

QString textoData(const QDate& data) { return formatDate(toTDateTime(data)); }

const char* const kPeriodosValidos = "0 (diário), 1 (semanal), 2 (mensal) ou 3 (anual)";

// The date pattern as the user reads it: dd/mm/aaaa with the regional
// separator.
QString padraoData() {
  const QString separador(regionalSettings().dateSeparator);
  return QStringLiteral("dd%1mm%1aaaa").arg(separador);
}

// The date of `texto` in the period pattern, or an invalid date.
QDate dataDoTexto(const QString& texto) {
  // The same pattern AtualizaDatas writes: day, month, four-digit year, joined
  // by the regional date separator. Reading with the locale's short-date
  // order instead would swap day and month under month-first settings.
  const QStringList partes = texto.trimmed().split(regionalSettings().dateSeparator);
  if (partes.size() != 3 || partes[0].size() > 2 || partes[1].size() > 2 || partes[2].size() != 4)
    return QDate();
  bool okDia = false, okMes = false, okAno = false;
  const int dia = partes[0].toInt(&okDia);
  const int mes = partes[1].toInt(&okMes);
  const int ano = partes[2].toInt(&okAno);
  return okDia && okMes && okAno ? QDate(ano, mes, dia) : QDate();
}

}  // namespace

int PeriodoConfigurado(const TConfig& Config) {
  try {
    return textToInt(Config.Periodo);
  } catch (const ConversionError&) {
    valorInvalido(Config, QStringLiteral("Periodo"), Config.Periodo,
                  QStringLiteral("esperado %1").arg(QString::fromUtf8(kPeriodosValidos)));
  }
}

void AtualizaDatas(TConfig& Config, const QDate& Hoje) {
  const int periodo = PeriodoConfigurado(Config);
  QDate inicial, final_;
  switch (periodo) {
    case 0:
      inicial = final_ = Hoje;
      break;
    case 1: {
      // Weeks run Sunday to Saturday: d is 1 on Sunday ... 7 on Saturday
      // (Qt counts Monday as 1 and Sunday as 7).
      const int d = Hoje.dayOfWeek() % 7 + 1;
      inicial = Hoje.addDays(1 - d);
      final_ = Hoje.addDays(7 - d);
      break;
    }
    case 2:
      inicial = QDate(Hoje.year(), Hoje.month(), 1);
      final_ = QDate(Hoje.year(), Hoje.month(), Hoje.daysInMonth());
      break;
    case 3:
      inicial = QDate(Hoje.year(), 1, 1);
      final_ = QDate(Hoje.year(), 12, 31);
      break;
    default:
      // Any other kind keeps the dates the settings already hold.
      return;
  }
  Config.DataInicial = textoData(inicial);
  Config.DataFinal = textoData(final_);
}

std::optional<QString> LegendaPeriodo(const TConfig& Config) {
  const QString intervalo = Config.DataInicial + QStringLiteral(" a ") + Config.DataFinal;
  switch (PeriodoConfigurado(Config)) {
    case 0:
      return QStringLiteral("Período: Diário (") + Config.DataInicial + QLatin1Char(')');
    case 1:
      return QStringLiteral("Período: Semanal (") + intervalo + QLatin1Char(')');
    case 2:
      return QStringLiteral("Período: Mensal (") + intervalo + QLatin1Char(')');
    case 3:
      return QStringLiteral("Período: Anual (") + intervalo + QLatin1Char(')');
    default:
      return std::nullopt;
  }
}

QDate LerDataPeriodo(const QString& texto, const QString& chave) {
  const QDate data = dataDoTexto(texto);
  if (!data.isValid()) {
    throw ConversionError(
        QStringLiteral("Data inválida \"%1\" em \"%2\": esperado dia%3mês%3ano (%4)")
            .arg(texto, chave, QString(regionalSettings().dateSeparator), padraoData())
            .toStdString());
  }
  return data;
}

std::pair<QDate, QDate> DatasDoPeriodo(const TConfig& Config) {
  // A kind of period outside 0-3 takes its days from the settings as they
  // are; when they are not dates, the kind of period is what the user has to
  // mend, so the message names it first.
  std::optional<int> periodo;
  try {
    periodo = textToInt(Config.Periodo);
  } catch (const ConversionError&) {
  }
  if (periodo && (*periodo < 0 || *periodo > 3)) {
    for (const auto& [chave, texto] : {std::pair{QStringLiteral("DataInicial"), Config.DataInicial},
                                       std::pair{QStringLiteral("DataFinal"), Config.DataFinal}}) {
      if (dataDoTexto(texto).isValid()) continue;
      valorInvalido(Config, QStringLiteral("Periodo"), Config.Periodo,
                    QStringLiteral("esperado %1; com outro valor o período é o das chaves "
                                   "DataInicial e DataFinal, e \"%2\" em \"%3\" não é uma "
                                   "data (%4)")
                        .arg(QString::fromUtf8(kPeriodosValidos), texto, chave, padraoData()));
    }
  }
  return {LerDataPeriodo(Config.DataInicial, QStringLiteral("DataInicial")),
          LerDataPeriodo(Config.DataFinal, QStringLiteral("DataFinal"))};
}

}  // namespace margivo
