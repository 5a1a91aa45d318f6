// TConexao: the program's connection to the ERP database, built from the
// database section of the settings file.
#pragma once

#include <QString>
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

class TConexao {
 public:
  // Attach attempts made by conectarBanco before it gives up, and the pause
  // between two of them. A server that is down, a wrong path or a wrong
  // password fail every attempt, so a failed connect costs about 2 s.
  static constexpr int kTentativas = 3;
  static constexpr int kPausaEntreTentativasMs = 1000;

  TConexao();
  ~TConexao();  // detaches
  TConexao(const TConexao&) = delete;
  TConexao& operator=(const TConexao&) = delete;

  void setConfiguracao(const QString& Tipo, const QString& Prot, const QString& Serv,
                       const QString& CamBanco, const QString& Usu, const QString& Senha);

  // Detaches if attached, then attaches with the stored settings (user name
  // and password only, no character set), trying kTentativas times. True
  // when attached. Never throws; a failure reports nothing and returns false.
  bool conectarBanco() noexcept;
  bool conectado() const noexcept;

  // The attachment; borrowed, owned by this object.
  Database* getBancoDados() const noexcept;
  // The read scope open on the attachment (a refresh's snapshot), or nullptr
  // when none is: queries then use short transactions of their own.
  Transaction* getTransaction() const noexcept;

  // The database name of the last conectarBanco (empty before the first,
  // and after one whose settings give no name).
  QString nomeBanco() const;
  // Attach attempts made by the last conectarBanco: 1 when the first one
  // worked, kTentativas after a failure, 0 when no name could be built.
  int tentativasUltimaConexao() const noexcept;

 private:
  QString FLocRem, FProtocolo, FServidor, FCaminhoBanco, FUsuario, FSenha;
  std::unique_ptr<Database> FIBDataVelmoor;
  QString nomeBanco_;
  int tentativas_ = 0;
};

}  // namespace margivo
