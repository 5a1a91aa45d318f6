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

}  // namespace

int PeriodoConfigurado(const TConfig& Config) {
  try {
    return textToInt(Config.Periodo);
  } catch (const ConversionError&) {
    valorInvalido(Config, QStringLiteral("Periodo"), Config.Periodo,
                  QStringLiteral("esperado um número inteiro (0 a 3)"));
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
  // The same pattern AtualizaDatas writes: day, month, four-digit year, joined
  // by the regional date separator. Reading with the locale's short-date
  // order instead would swap day and month under month-first settings.
  const QStringList partes = texto.trimmed().split(regionalSettings().dateSeparator);
  QDate data;
  if (partes.size() == 3 && partes[0].size() <= 2 && partes[1].size() <= 2 &&
      partes[2].size() == 4) {
    bool okDia = false, okMes = false, okAno = false;
    const int dia = partes[0].toInt(&okDia);
    const int mes = partes[1].toInt(&okMes);
    const int ano = partes[2].toInt(&okAno);
    if (okDia && okMes && okAno) data = QDate(ano, mes, dia);
  }
  if (!data.isValid()) {
    throw ConversionError(
        QStringLiteral("Data inválida \"%1\" em \"%2\": esperado dia%3mês%3ano (dd%3mm%3aaaa)")
            .arg(texto, chave, QString(regionalSettings().dateSeparator))
            .toStdString());
  }
  return data;
}

std::pair<QDate, QDate> DatasDoPeriodo(const TConfig& Config) {
  return {LerDataPeriodo(Config.DataInicial, QStringLiteral("DataInicial")),
          LerDataPeriodo(Config.DataFinal, QStringLiteral("DataFinal"))};
}

}  // namespace margivo
