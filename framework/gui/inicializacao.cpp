#include "framework/gui/inicializacao.h"

#include <QFileInfo>
#include <QWidget>
#include <exception>

#include "desktop/desktop.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/fbclient.h"
#include "framework/gui/mensagens.h"
#include "framework/mensagemerro.h"
#include "framework/shutdown.h"

namespace margivo {

TInicializacao::TInicializacao(const QWidget& Form, const QString& SecaoIni,
                               const QString& SiglaGgt) {
  Inicia(Form.objectName(), SecaoIni, SiglaGgt);
}

TInicializacao::~TInicializacao() = default;

void TInicializacao::Inicia(const QString& NomeForm, const QString& SecaoIni,
                            const QString& SiglaGgt) {
  trava_ = desktop().VerificaExeAberto(NomeForm);
  if (!trava_) {
    resultado_ = TResultadoInicio::OutraCopia;
    return;
  }

  // The end of the program asked for (a signal) while the start-up runs:
  // whatever comes next is skipped, a box open is closed by the signal.
  const auto interrompido = [this] {
    if (!shutdownRequested()) return false;
    resultado_ = TResultadoInicio::Interrompido;
    FIniciandoGadget = false;
    return true;
  };
  if (interrompido()) return;

  if (!QFileInfo::exists(CaminhoArquivoConfig())) {
    MostraMensagem(TipoMensagem::Aviso, QString::fromUtf8(kMsgGadgetsNaoConfiguradas));
    resultado_ = TResultadoInicio::ArquivoAusente;
    interrompido();
    return;
  }
  try {
    FConfiguracao = std::make_unique<TConfig>(SecaoIni);
    FConfiguracao->CarregarIni();
  } catch (...) {
    // A file that exists but cannot be read: nothing to start with.
    FConfiguracao.reset();
    MostraErro(std::current_exception());
    resultado_ = TResultadoInicio::ErroConfiguracao;
    interrompido();
    return;
  }

  TConfig& c = *FConfiguracao;
  if (c.CaminhoBanco.isEmpty() || c.Usuario.isEmpty() || c.Senha.isEmpty()) {
    MostraMensagem(TipoMensagem::Aviso, QString::fromUtf8(kMsgBancoNaoInformado));
    resultado_ = TResultadoInicio::ConfiguracaoIncompleta;
    interrompido();
    return;
  }
  if (interrompido()) return;

  bool conectado = false;
  QString motivo;
  try {
    // The client library is loaded here, at the first connection: without
    // it the user learns which library is missing, not just that the
    // database could not be reached.
    firebirdMaster();
    FConexao = std::make_unique<TConexao>();
    FConexao->setConfiguracao(c.LocRem, c.Protocolo, c.Servidor, c.CaminhoBanco, c.Usuario,
                              c.Senha);
    FConexao->conectarBanco();
    conectado = true;
  } catch (const ClientLibraryError& erro) {
    FConexao.reset();
    MostraMensagem(TipoMensagem::Erro, erro.message(), erro.details());
    resultado_ = TResultadoInicio::ClienteAusente;
    interrompido();
    return;
  } catch (const DatabaseError& erro) {
    motivo = erro.message();
  } catch (...) {
    // The box below names the database and what to check.
  }
  // Attempts cut short by the end of the program are no failure to report.
  if (interrompido()) {
    FConexao.reset();
    return;
  }
  if (!conectado) {
    FConexao.reset();
    // Which database, why, and what to check; the database's own words go to
    // the details.
    const MensagemErro mensagem = descreveFalhaDeConexao(c, motivo);
    MostraMensagem(TipoMensagem::Simples, mensagem.texto, mensagem.detalhes);
    resultado_ = TResultadoInicio::FalhaConexao;
    interrompido();
    return;
  }

  c.InstanciaVariaveis(SiglaGgt);
  try {
    c.SalvarIni();
  } catch (...) {
    // The defaults hold in memory for this run; the user learns why the file
    // did not take them.
    MostraErro(std::current_exception());
  }
  FIniciandoGadget = true;
  resultado_ = TResultadoInicio::Sucesso;
  interrompido();
}

bool TInicializacao::deveEncerrar() const noexcept {
  return resultado_ != TResultadoInicio::Sucesso;
}

int TInicializacao::codigoDeSaida() const noexcept {
  switch (resultado_) {
    case TResultadoInicio::Sucesso:
    case TResultadoInicio::ConfiguracaoIncompleta:
    case TResultadoInicio::OutraCopia:
    case TResultadoInicio::Interrompido:
      return 0;
    case TResultadoInicio::ArquivoAusente:
    case TResultadoInicio::ClienteAusente:
    case TResultadoInicio::FalhaConexao:
    case TResultadoInicio::ErroConfiguracao:
      break;
  }
  return 1;
}

}  // namespace margivo
