// margivo-report: runs the profitability gadget's refresh once, headless, on
// the settings of the gadget, and prints it.
//
//   margivo-report [--config FILE] [--today YYYY-MM-DD] [--empresa CODE]
//                  [--periodo N] [--mostra-pedidos N] [--format text|json]
//                  [--items] [--path fast|per-item] [--fetch-only] [--timing]
//                  [--refreshes N [--interval SECONDS]] [--no-incremental]
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
// prints its row count. --timing prints, on stderr, the elapsed time of each
// refresh (the first one with the connection), its statements and whether it
// read the whole period ("full") or only what changed since the previous one
// ("incremental").
//
// --refreshes N runs N refreshes in one process, SECONDS apart (--interval,
// default 0): each refresh after the first re-reads only the orders changed
// since the one before, unless --no-incremental. With --format json each
// refresh prints one compact JSON object on its own line; text output sets
// the refreshes apart by an empty line. A local database file is held only
// during a refresh, so another process can write to it meanwhile. A refresh
// that fails prints its error and the next one still runs; the exit status is
// then that of the failure.
//
// Exit status: 0 success; 1 the refresh failed or the report could not be
// written out whole; 2 bad usage or bad settings (the constants below).
#pragma once

#include <QStringList>
#include <cstdio>

namespace margivo::relatorio {

// Exit statuses, as --help and the README give them.
inline constexpr int kSucesso = 0;
// The refresh failed (the database unreachable, a database or calculation
// error, the Firebird client library that could not be loaded), or the
// report could not be written out whole.
inline constexpr int kFalhaAtualizacao = 1;
// Bad usage: an unknown option or a bad value on the command line.
inline constexpr int kUsoIncorreto = 2;
// Bad settings, reported like bad usage: the settings file missing or
// unreadable, a database key missing, a value the refresh cannot use.
inline constexpr int kConfiguracaoInvalida = 2;

// Runs the tool with `argumentos` (program name first): the report goes to
// `saida`, errors (and progress, when `erros` is a terminal) to `erros`; with
// --format json an error also goes to `saida` as {"error": "<message>"}.
// Every write is checked: when `saida` does not take the report (a full
// disk, a pipe its reader closed) the status is kFalhaAtualizacao and
// mensagemFalhaSaida() goes to `erros`. Returns the exit status.
// REQUIRES: a QCoreApplication exists; SIGPIPE is ignored, so that a closed
// pipe fails the write instead of ending the process.
int executar(const QStringList& argumentos, std::FILE* saida, std::FILE* erros);

// "Não foi possível escrever a saída: <the cause, errno's name>."
QString mensagemFalhaSaida(int erro);

// Closes `saida` at the end of the run: a close that fails (the last of the
// data did not reach the file) turns a success into kFalhaAtualizacao, with
// mensagemFalhaSaida() on `erros`. Returns the final status.
int fechaSaida(std::FILE* saida, std::FILE* erros, int status);

}  // namespace margivo::relatorio
