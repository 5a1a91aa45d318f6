#include "framework/conexao.h"

#include <chrono>
#include <thread>

#include "framework/db/database.h"

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

bool TConexao::conectarBanco() noexcept {
  tentativas_ = 0;
  try {
    // Detaching ends whatever was open on the old attachment: its read
    // scope and its prepared statements.
    FIBDataVelmoor->detach();
    const std::optional<QString> nome =
        NomeBancoDados(FLocRem, FProtocolo, FServidor, FCaminhoBanco);
    // A protocol this program does not know gives no name at all; an older
    // name is never reused, so the connection fails instead of silently
    // reaching the previous database.
    nomeBanco_ = nome.value_or(QString());
    if (!nome) return false;
    for (int tentativa = 1; tentativa <= kTentativas; ++tentativa) {
      tentativas_ = tentativa;
      try {
        FIBDataVelmoor->attach(*nome, FUsuario, FSenha);
        return true;
      } catch (const DatabaseError&) {
        // A server still starting or a file briefly locked may let a later
        // attempt through; the caller only learns the final outcome.
      }
      if (tentativa < kTentativas) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPausaEntreTentativasMs));
      }
    }
  } catch (...) {
  }
  return false;
}

bool TConexao::conectado() const noexcept { return FIBDataVelmoor && FIBDataVelmoor->attached(); }

Database* TConexao::getBancoDados() const noexcept { return FIBDataVelmoor.get(); }

Transaction* TConexao::getTransaction() const noexcept {
  return FIBDataVelmoor ? FIBDataVelmoor->currentTransaction() : nullptr;
}

QString TConexao::nomeBanco() const { return nomeBanco_; }

int TConexao::tentativasUltimaConexao() const noexcept { return tentativas_; }

}  // namespace margivo
