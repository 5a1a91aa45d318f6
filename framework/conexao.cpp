#include "framework/conexao.h"

#include <chrono>

#include "framework/db/database.h"
#include "framework/shutdown.h"

namespace margivo {

std::optional<QString> NomeBancoDados(const QString& LocRem, const QString& Protocolo,
                                      const QString& Servidor, const QString& CaminhoBanco) {
  if (LocRem != QLatin1String("R")) return CaminhoBanco;
  if (Protocolo == QLatin1String("0")) return Servidor + u':' + CaminhoBanco;
  if (Protocolo == QLatin1String("1"))
    return QStringLiteral("\\\\") + Servidor + u'\\' + CaminhoBanco;
  if (Protocolo == QLatin1String("2")) return Servidor + u'@' + CaminhoBanco;
  return std::nullopt;
}

QString NomeBancoServidorLocal(const QString& caminho) {
  return QStringLiteral("localhost:") + caminho;
}

TConexao::TConexao() : FIBDataVelmoor(std::make_unique<Database>()) {}

TConexao::~TConexao() = default;  // the Database detaches

void TConexao::setConfiguracao(const QString& Tipo, const QString& Prot, const QString& Serv,
                               const QString& CamBanco, const QString& Usu, const QString& Senha) {
  FLocRem = Tipo;
  FProtocolo = Prot;
  FServidor = Serv;
  FCaminhoBanco = CamBanco;
  FUsuario = Usu;
  FSenha = Senha;
}

bool TConexao::local() const noexcept { return FLocRem != QLatin1String("R"); }

void TConexao::attachOnce(const QString& name) {
  try {
    FIBDataVelmoor->attach(name, FUsuario, FSenha);
  } catch (const DatabaseError& error) {
    // A server on this machine that serves the file keeps it to itself: the
    // embedded engine is refused, and the server is the way in. Any other
    // failure (no such file, no access) is the file's own.
    if (!local() || error.kind() != DatabaseError::Kind::FileInUse) throw;
    const QString viaServer = NomeBancoServidorLocal(name);
    try {
      FIBDataVelmoor->attach(viaServer, FUsuario, FSenha);
    } catch (const DatabaseError& serverError) {
      throw DatabaseError(QStringLiteral("%1\nthrough the local server (%2): %3")
                              .arg(error.message(), viaServer, serverError.message()));
    }
  }
}

namespace {

[[noreturn]] void attemptsStopped(const QString& nome) {
  throw DatabaseError(QStringLiteral("the attempts to attach to %1 were stopped").arg(nome),
                      DatabaseError::Kind::Cancelled);
}

}  // namespace

void TConexao::attach() {
  tentativas_ = 0;
  interrupted_ = false;
  // Detaching ends whatever was open on the old attachment: its read scope
  // and its prepared statements.
  FIBDataVelmoor->detach();
  const std::optional<QString> nome = NomeBancoDados(FLocRem, FProtocolo, FServidor, FCaminhoBanco);
  // A protocol this program does not know gives no name at all; an older
  // name is never reused, so the connection fails instead of silently
  // reaching the previous database.
  nomeBanco_ = nome.value_or(QString());
  if (!nome) {
    throw DatabaseError(
        QStringLiteral("cannot connect to the database: unknown protocol \"%1\" (Protocolo) for a "
                       "remote database")
            .arg(FProtocolo));
  }
  if (nome->isEmpty()) {
    throw DatabaseError(
        QStringLiteral("cannot connect to the database: no database path (CaminhoBanco)"));
  }
  for (int tentativa = 1;; ++tentativa) {
    if (interrupted_ || shutdownRequested()) attemptsStopped(*nome);
    tentativas_ = tentativa;
    try {
      attachOnce(*nome);
      return;
    } catch (const DatabaseError&) {
      // A server still starting or a file briefly held by another program
      // may let a later attempt through; the last attempt's error is the
      // caller's.
      if (tentativa == kTentativas) throw;
    }
    if (!sleepUnlessShutdown(std::chrono::milliseconds(kPausaEntreTentativasMs), &interrupted_))
      attemptsStopped(*nome);
  }
}

void TConexao::conectarBanco() {
  attach();
  if (local() && uses_ == 0) FIBDataVelmoor->detach();
}

bool TConexao::conectado() const noexcept { return FIBDataVelmoor && FIBDataVelmoor->attached(); }

void TConexao::desconectarBanco() noexcept { FIBDataVelmoor->detach(); }

void TConexao::interrupt(bool abandon) noexcept {
  interrupted_ = true;
  if (abandon) {
    FIBDataVelmoor->abort();
  } else {
    FIBDataVelmoor->cancel();
  }
}

Database* TConexao::getBancoDados() const noexcept { return FIBDataVelmoor.get(); }

Transaction* TConexao::getTransaction() const noexcept {
  return FIBDataVelmoor ? FIBDataVelmoor->currentTransaction() : nullptr;
}

QString TConexao::nomeBanco() const { return nomeBanco_; }

int TConexao::tentativasUltimaConexao() const noexcept { return tentativas_; }

ScopedAttachment::ScopedAttachment(TConexao& conexao) : conexao_(conexao) {
  // Also inside another use: the attachment may have been let go meanwhile
  // (desconectarBanco after a lost connection).
  if (!conexao_.conectado()) conexao_.attach();
  ++conexao_.uses_;
}

ScopedAttachment::~ScopedAttachment() {
  // Local mode lets the file go as soon as the last use ends, so that other
  // programs can open it until the next refresh.
  if (--conexao_.uses_ == 0 && conexao_.local()) conexao_.FIBDataVelmoor->detach();
}

Database& ScopedAttachment::database() const noexcept { return *conexao_.FIBDataVelmoor; }

}  // namespace margivo
