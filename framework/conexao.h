// TConexao: the program's connection to the ERP database, built from the
// database section of the settings file.
//
// Local mode (LocRem not "R") holds the database file only while it is in
// use: a refresh or a single look-up attaches through a ScopedAttachment and
// detaches when it ends, so that between refreshes the ERP, a backup or
// isql-fb can open the file (the embedded engine keeps a file to itself for
// as long as it is attached). When a Firebird server on this machine already
// holds the file, the embedded engine cannot open it; the file is then
// reached through that server, as "localhost:" and the path (the server's
// port is the client's default, RemoteServicePort of firebird.conf).
// Remote mode keeps its attachment from one use to the next.
#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <optional>

namespace margivo {

class Database;
class Transaction;

// The database name for the settings, or nothing when LocRem is "R" and the
// protocol is not "0", "1" or "2" (exact, case-sensitive comparisons):
//   LocRem not "R"        -> CaminhoBanco unchanged (local file)
//   "R", Protocolo "0"    -> Servidor + ":" + CaminhoBanco (TCP/IP)
//   "R", Protocolo "1"    -> "\\" + Servidor + "\" + CaminhoBanco (named pipe)
//   "R", Protocolo "2"    -> Servidor + "@" + CaminhoBanco (SPX)
std::optional<QString> NomeBancoDados(const QString& LocRem, const QString& Protocolo,
                                      const QString& Servidor, const QString& CaminhoBanco);

// The name that reaches local file `caminho` through a Firebird server on
// this machine, on the client's default port: "localhost:" + caminho.
QString NomeBancoServidorLocal(const QString& caminho);

class TConexao {
 public:
  // Attach attempts made by conectarBanco (and by every attach of local
  // mode) before it gives up, and the pause between two of them. A server
  // that is down, a wrong path or a wrong password fail every attempt, so a
  // failed connect costs about 2 s.
  static constexpr int kTentativas = 3;
  static constexpr int kPausaEntreTentativasMs = 1000;

  TConexao();
  ~TConexao();  // detaches
  TConexao(const TConexao&) = delete;
  TConexao& operator=(const TConexao&) = delete;

  void setConfiguracao(const QString& Tipo, const QString& Prot, const QString& Serv,
                       const QString& CamBanco, const QString& Usu, const QString& Senha);

  // Detaches if attached, then attaches with the stored settings (user name
  // and password only, no character set), trying kTentativas times. Local
  // mode then lets the file go again unless a ScopedAttachment is open: the
  // attach only proved that the settings work. Throws DatabaseError when it
  // cannot: after the last failed attempt the error of that attempt, which
  // carries the database's own message ("cannot attach to database NAME:
  // ..."); at once, with no attempt, when the settings give no database name
  // (no CaminhoBanco, or a remote Protocolo other than "0", "1" or "2"), an
  // error naming that setting.
  // Every attach (this one and a ScopedAttachment's) stops early once the end
  // of the program is asked for (shutdown.h) or interrupt() is called during
  // it: no new attempt starts, the pause between two ends at once, and the
  // error thrown is of kind Cancelled.
  void conectarBanco();
  // Whether the database is attached now (in local mode: only while in use).
  bool conectado() const noexcept;
  // Whether the settings are local ones (LocRem not "R").
  bool local() const noexcept;
  // Detaches; the next ScopedAttachment attaches again.
  void desconectarBanco() noexcept;

  // Stops what the connection is doing, from any thread but a signal
  // handler: the statement running on the attachment fails (see
  // Database::cancel) and an attach under way makes no further attempt. An
  // attempt already waiting on the network ends only when the network
  // answers. The next attach runs as usual. With `abandon`, the
  // attachment's connection is ended as well (Database::abort): the
  // statement fails even when the server would go on with it, and the
  // attachment stays lost until it is attached again.
  void interrupt(bool abandon = false) noexcept;

  // The attachment; borrowed, owned by this object. Attached while a
  // ScopedAttachment is open (and, in remote mode, from conectarBanco on).
  Database* getBancoDados() const noexcept;
  // The read scope open on the attachment (a refresh's snapshot), or nullptr
  // when none is: queries then use short transactions of their own.
  Transaction* getTransaction() const noexcept;

  // The database name of the last conectarBanco or attach (empty before the
  // first, and after one whose settings give no name). In local mode it is
  // the path, also when the file was reached through the local server (see
  // getBancoDados()->name() for the name attached).
  QString nomeBanco() const;
  // Attach attempts made by the last conectarBanco or attach: 1 when the
  // first one worked, kTentativas after a failure, 0 when no name could be
  // built.
  int tentativasUltimaConexao() const noexcept;

 private:
  friend class ScopedAttachment;
  // Attaches with the stored settings (kTentativas attempts). Throws
  // DatabaseError with the database's message for the last attempt, or
  // naming the unknown protocol; one whose cancelled() is true when the
  // attempts were stopped (interrupt(), the end of the program).
  void attach();
  // One attempt on `name`; local mode goes through the local server when a
  // server holds the file.
  void attachOnce(const QString& name);

  QString FLocRem, FProtocolo, FServidor, FCaminhoBanco, FUsuario, FSenha;
  std::unique_ptr<Database> FIBDataVelmoor;
  QString nomeBanco_;
  int tentativas_ = 0;
  int uses_ = 0;  // ScopedAttachment objects open
  std::atomic<bool> interrupted_{false};
};

// The database in use for the life of this object: a refresh, a look-up.
// Attaches the connection when it is not attached; when the last one open
// ends, local mode detaches (remote mode stays attached). Nested uses share
// one attachment. Throws DatabaseError when the database cannot be reached
// (after TConexao::kTentativas attempts).
// REQUIRES: the TConexao outlives it; it is used on one thread at a time.
class ScopedAttachment {
 public:
  explicit ScopedAttachment(TConexao& conexao);
  ~ScopedAttachment();
  ScopedAttachment(const ScopedAttachment&) = delete;
  ScopedAttachment& operator=(const ScopedAttachment&) = delete;

  Database& database() const noexcept;

 private:
  TConexao& conexao_;
};

}  // namespace margivo
