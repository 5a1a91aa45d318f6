// The reporting period of the profitability gadget: the kind of period of the
// settings turned into a first and last day counted from today, and the
// caption the panel shows for it.
//
// `Periodo` (text holding a decimal integer):
//   "0" daily   - today only
//   "1" weekly  - the week holding today, Sunday to Saturday
//   "2" monthly - the calendar month holding today
//   "3" yearly  - the calendar year holding today
//   any other integer: the dates stay as the settings hold them (loaded from
//   the file or left by an earlier refresh) and the caption is not changed.
//
// The days travel as the texts `DataInicial` and `DataFinal` of the settings,
// in the pattern "dd/mm/yyyy" with the date separator of the regional
// settings, and are read back in that same pattern (DatasDoPeriodo), so they
// round-trip under any regional settings, whatever their short-date order.
//
// Errors: functions that read `Periodo` or the date texts throw
// ConversionError naming the settings key and its value.
#pragma once

#include <QDate>
#include <QString>
#include <optional>
#include <utility>

namespace margivo {

class TConfig;

// `Periodo` of Config as an integer. Throws ConversionError naming the key,
// its value and the settings file when it is not a decimal integer (empty
// included).
int PeriodoConfigurado(const TConfig& Config);

// Recomputes the period from Hoje: writes DataInicial and DataFinal of Config
// (in memory only; the file is never saved here). `Periodo` is converted
// before anything changes, so a bad value leaves both texts as they were.
void AtualizaDatas(TConfig& Config, const QDate& Hoje);

// The period caption for Config as AtualizaDatas left it:
//   "Período: Diário (<DataInicial>)", "Período: Semanal (<DataInicial> a
//   <DataFinal>)", likewise "Mensal" and "Anual"; nothing for a `Periodo`
//   outside 0-3 (the label keeps its previous text). Throws like
//   PeriodoConfigurado.
std::optional<QString> LegendaPeriodo(const TConfig& Config);

// One date text in the period pattern "dd/mm/yyyy" with the regional date
// separator (day and month may have one digit). Throws ConversionError naming
// `chave` and the text when it is not a valid date in that pattern.
QDate LerDataPeriodo(const QString& texto, const QString& chave);

// The first and last day of the period held by Config's DataInicial and
// DataFinal. Throws ConversionError (see LerDataPeriodo); for a `Periodo`
// outside 0-3, whose days are those texts as the settings hold them, the
// error names `Periodo`, its value, the valid kinds and the settings file.
std::pair<QDate, QDate> DatasDoPeriodo(const TConfig& Config);

}  // namespace margivo
