// What a failed operation tells its user: one sentence in Portuguese that a
// store manager can act on - what failed (the database and where it is, the
// settings file and key), why, and what to do - and, apart from it, the
// technical details (the database engine's own words, the statement), for
// whoever looks further. The GUI shows the details behind the details button
// of its error box; the report tool prints them after the main text.
#pragma once

#include <QString>
#include <exception>

namespace margivo {

class TConfig;

struct MensagemErro {
  QString texto;     // the sentence for the user; never empty
  QString detalhes;  // what the database or the system said; empty when nothing more
  bool operator==(const MensagemErro&) const = default;
};

// The program's database as the settings name it, for a user:
//   local file              o banco de dados "/dados/erp.fdb"
//   LocRem "R", TCP/IP      o banco de dados "/dados/erp.fdb" no servidor "srv", porta 3050
//                           (the port written in Servidor as "srv/3051", else 3050)
//   LocRem "R", other       o banco de dados "/dados/erp.fdb" no servidor "srv"
QString descreveBanco(const TConfig& config);

// The message of an error of the framework's kinds:
//   DatabaseError   what could not be done with the database (connect, read,
//                   read a branch's name), why in plain words (the file is
//                   missing, the server does not answer, the connection was
//                   lost, user or password refused, no permission, a table
//                   the program reads is missing, the database is busy or
//                   shut down) and what to do; the engine's text and the
//                   statement as details;
//   IniFileError    the settings file that could not be read or written; the
//                   system's reason as details;
//   ConversionError its own message when it names the key and the file (the
//                   settings' conversions do), otherwise a general sentence
//                   with the message as details;
//   other std::exception its message, no details; anything else a general
//                   sentence.
// `config` (may be null) names the database and the settings file.
MensagemErro descreveErro(std::exception_ptr erro, const TConfig* config);

// The message of a DatabaseError's text (see descreveErro).
MensagemErro descreveErroDoBanco(const QString& textoDoErro, const TConfig* config);

// The message of a connection to the database of `config` that could not be
// made: the database named, why when `motivo` (what the database said; may
// be empty) tells, and what to check in the settings file.
MensagemErro descreveFalhaDeConexao(const TConfig& config, const QString& motivo);

}  // namespace margivo
