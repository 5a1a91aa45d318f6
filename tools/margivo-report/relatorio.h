// margivo-report: runs the profitability gadget's refresh once, headless, on
// the settings of the gadget, and prints it.
//
//   margivo-report [--config FILE] [--today YYYY-MM-DD] [--empresa CODE]
//                  [--periodo N] [--mostra-pedidos N] [--format text|json]
//                  [--items] [--path fast|per-item] [--fetch-only] [--timing]
//
// The settings file (default: the gadget's own) is read, never written. The
// gadget's start-up defaults apply in memory (an empty Empresa reads "00"),
// then --empresa, --periodo and --mostra-pedidos replace Empresa, Periodo and
// MostraPedidos for this run (--empresa "" selects every branch). --today
// fixes the day the period and the calculation count from.
//
// --path per-item runs every look-up of the calculation for every item (the
// reference); the default, fast, runs each distinct look-up once per refresh.
// --fetch-only runs and fetches the order-items query of the period alone and
// prints its row count. --timing prints the elapsed time (connection
// included) on stderr.
#pragma once

#include <QStringList>
#include <cstdio>

namespace margivo::relatorio {

// Exit statuses.
inline constexpr int kSucesso = 0;
// The refresh failed: the database, or the Firebird client library that
// could not be loaded.
inline constexpr int kFalhaAtualizacao = 1;
inline constexpr int kUsoIncorreto = 2;  // bad usage, a missing or unreadable settings file

// Runs the tool with `argumentos` (program name first): the report goes to
// `saida`, errors (and progress, when `erros` is a terminal) to `erros`; with
// --format json an error also goes to `saida` as {"error": "<message>"}.
// Returns the exit status. REQUIRES: a QCoreApplication exists.
int executar(const QStringList& argumentos, std::FILE* saida, std::FILE* erros);

}  // namespace margivo::relatorio
