// TInicializacao: the start-up of a gadget program. It keeps a second copy
// from running, loads the settings, checks that the database settings are
// there, connects, fills in missing settings and writes them back. It owns
// the one TConfig and the one TConexao of the run; the gadget, the dialogs
// and the engine borrow them.
//
// Outcomes (each failure reported in a modal box with one OK button, through
// MostraMensagem):
//   another copy running       nothing shown                     OutraCopia: end at once, status 0
//   settings file missing      warning "Gadgets não configuradas!..."   ArquivoAusente: end
//   CaminhoBanco, Usuario or   warning "Configurações do banco de dados
//   Senha empty                não informadas corretamente!..."  ConfiguracaoIncompleta: end,
//                                                                status 0 (without a gadget
//                                                                the program could do nothing
//                                                                but hold the single-instance
//                                                                lock)
//   no Firebird client library error box naming the libraries
//                              looked for, the system's reasons
//                              as details                        ClienteAusente: end
//   no connection              "Não foi possível conectar ao banco   FalhaConexao: end
//                              de dados "<path>"...", naming the
//                              server and port when remote, and
//                              what to check in the settings file
//   settings file unreadable   error box naming the file         ErroConfiguracao: end
//   the end of the program     nothing more shown (a box open    Interrompido: end at once,
//   asked for meanwhile        is closed)                        status 0
//   all well                   -                                 Sucesso: IniciandoGadget true
// The file is written only on success (the defaults); a failure to write it
// is reported in an error box and the start goes on with the settings in
// memory.
#pragma once

#include <QString>
#include <memory>

class QWidget;

namespace margivo {

class TConexao;
class TConfig;
class InstanceLock;

enum class TResultadoInicio {
  Sucesso,
  OutraCopia,
  ArquivoAusente,
  ConfiguracaoIncompleta,
  ClienteAusente,
  FalhaConexao,
  ErroConfiguracao,
  Interrompido,
};

// The texts of the start-up's boxes.
inline constexpr const char* kMsgGadgetsNaoConfiguradas =
    "Gadgets não configuradas!\r\nInforme as configurações em \"Kelvara\".";
inline constexpr const char* kMsgBancoNaoInformado =
    "Configurações do banco de dados não informadas corretamente!\r\n"
    "Configure-as em \"Kelvara\".";

class TInicializacao {
 public:
  // Runs the start-up. `Form` lends its object name to the single-instance
  // lock ("frmRentabilidade"); SecaoIni is the gadget's section of the
  // settings file and SiglaGgt its code for the defaults.
  TInicializacao(const QWidget& Form, const QString& SecaoIni, const QString& SiglaGgt);
  ~TInicializacao();
  TInicializacao(const TInicializacao&) = delete;
  TInicializacao& operator=(const TInicializacao&) = delete;

  TResultadoInicio resultado() const noexcept { return resultado_; }
  // Whether the program must end now (every outcome but Sucesso), and with
  // which exit status.
  bool deveEncerrar() const noexcept;
  int codigoDeSaida() const noexcept;

  // True from a successful start-up until the first activation of the host
  // window begins creating the gadget.
  bool IniciandoGadget() const noexcept { return FIniciandoGadget; }
  void setIniciandoGadget(bool valor) noexcept { FIniciandoGadget = valor; }

  // Owned; nullptr when the file was missing (configuration) or the
  // database settings were incomplete or the connection failed (connection).
  TConfig* getConfiguracao() const noexcept { return FConfiguracao.get(); }
  TConexao* getConexao() const noexcept { return FConexao.get(); }

 private:
  void Inicia(const QString& NomeForm, const QString& SecaoIni, const QString& SiglaGgt);

  bool FIniciandoGadget = false;
  std::unique_ptr<TConfig> FConfiguracao;
  std::unique_ptr<TConexao> FConexao;
  std::unique_ptr<InstanceLock> trava_;
  TResultadoInicio resultado_ = TResultadoInicio::Sucesso;
};

}  // namespace margivo
