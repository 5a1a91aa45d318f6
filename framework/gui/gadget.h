// TGadget: the frame every gadget of the family is built on - a panel on the
// transparent host form with a narrow caption strip beside it (close,
// maximise/minimise, settings, about, move) that shows while the mouse is
// over the gadget and fades out a second after it leaves. The frame drags
// the panel and remembers where it was left, applies the opacity and
// always-on-top settings, keeps the notification-area icon and the taskbar
// state, and runs the periodic refresh. TGadgetSimples adds the one face
// rectangle a single-panel gadget draws on.
//
// Events of the strip and of the controls wired by AssociaEventosComuns go
// through the virtual slots, so a concrete gadget that overrides one of them
// receives the event.
//
// Refresh. Atualiza runs one refresh (the virtual IniciarGadget) and is the
// one way refreshes start: at the first activation, at every tick of the
// refresh timer and after a save of the settings dialog. The timer runs from
// the first refresh on, every `AtualizaDados` minutes (0 or less: no
// periodic refresh); a drag stops it while it lasts and restarts it at the
// end. A concrete gadget may do the slow part of its refresh on a worker
// thread (IniciaTrabalho): the panel stays responsive, shows a busy sign
// when the work takes longer than a moment, and its figures change only at
// the end. While a refresh's work runs, or its error box is open, or a
// dialog that uses the connection is open, a timer tick does nothing; so
// error boxes never pile up. Once the end of the program is asked for
// (shutdown.h) no refresh starts and nothing waiting for the work runs: the
// program ends as soon as the work under way has stopped.
//
// Errors: the slots may throw (a setting that is not a whole number, a
// settings file that cannot be written, the autostart entry); the form's
// event dispatch and Atualiza catch them and show one error box.
//
// A refresh that fails shows its error box once: while refreshes keep
// failing with the same message (its main text), no further box opens; a
// different message, or a failure after a refresh that worked, opens one
// again. The frame keeps how the last refresh ended (estadoAtualizacao) for
// the face to show, and tells the concrete gadget when it changes.
//
// The face (the controls wired by AssociaEventosComuns) also has a context
// menu - "Atualizar agora", "Configurações…", "Sobre…", "Fechar" - and a
// double click on it refreshes at once. A refresh asked for while one runs
// is not queued: the menu and a tooltip say that one is running.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QPoint>
#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <vector>

#include "framework/gui/elementos.h"
#include "framework/gui/estadomenu.h"
#include "framework/mensagemerro.h"

class QAction;
class QMenu;
class QThread;
class QTimer;

namespace margivo {

class TConexao;
class TConfig;
class TInicializacao;
struct GeometriaGadget;

// Where PosicionaGadGet puts a panel `larguraGadget` wide: at (PosX, PosY)
// when the settings hold both, otherwise with its right edge on the right
// edge of a screen `larguraTela` wide and its top 20 pixels down. `config`
// may be null (no settings: the default place). Throws ConversionError
// naming the key, its value and the settings file when a saved coordinate is
// not a whole number.
QPoint PosicaoInicialGadget(const TConfig* config, int larguraTela, int larguraGadget);

// The busy sign of a refresh that takes longer than a moment: a turning arc.
class TIndicadorOcupado : public TElemento {
  Q_OBJECT

 public:
  explicit TIndicadorOcupado(TElemento* pai);
  void avanca();  // the next frame of the animation
  int passo() const noexcept { return passo_; }

  void desenha(QPainter& painter) const override;
  bool desenhaAlgo() const override { return true; }

 private:
  int passo_ = 0;
};

// How the refreshes went so far.
struct EstadoAtualizacao {
  // When the last refresh that worked began (invalid: none has worked yet).
  QDateTime ultimoSucesso;
  // The last refresh failed: when it began, and its message.
  bool falhou = false;
  QDateTime ultimaFalha;
  MensagemErro erro;
};

// The mark of a refresh that failed: a small red disc with a white "!".
class TIndicadorFalha : public TElemento {
  Q_OBJECT

 public:
  explicit TIndicadorFalha(TElemento* pai);

  void desenha(QPainter& painter) const override;
  QPainterPath forma() const override;
  bool desenhaAlgo() const override { return true; }
};

class TGadget : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kTituloPadrao = "Velmoor Gadgets";
  static constexpr const char* kVersaoPadrao = "17.04bb";
  // How long a refresh's work runs before the busy sign shows.
  static constexpr int kAtrasoIndicadorMs = 400;
  // The context menu's entries, and what it and the tooltip of a refresh
  // asked for meanwhile say while one is running.
  static constexpr const char* kMenuAtualizar = "Atualizar agora";
  static constexpr const char* kMenuAtualizando = "Atualizar agora (já em andamento)";
  static constexpr const char* kMenuConfiguracoes = "Configurações…";
  static constexpr const char* kMenuSobre = "Sobre…";
  static constexpr const char* kMenuFechar = "Fechar";
  static constexpr const char* kAtualizacaoEmAndamento = "Uma atualização já está em andamento.";

  // Builds the panel (rtgGadget) on `AOwner`, the strip with its buttons and
  // the timers. The elements are owned by the form.
  explicit TGadget(TFormTransparente* AOwner);
  // Stops a refresh's work still under way and waits for it.
  ~TGadget() override;
  TGadget(const TGadget&) = delete;
  TGadget& operator=(const TGadget&) = delete;

  // The slots, in their order. RFecharClick removes the autostart entry and
  // the icon, saves IniWindows=0 and closes the form; a step that fails is
  // reported in an error box and the close goes on.
  virtual void RFecharClick(QObject* Sender);
  virtual void RFecharMouseEnter(QObject* Sender);
  virtual void RFecharMouseLeave(QObject* Sender);
  virtual void RMaximizarClick(QObject* Sender);
  virtual void RMinimizarClick(QObject* Sender);
  virtual void RConfClick(QObject* Sender);
  virtual void RAboutClick(QObject* Sender);
  virtual void IniciarGadget(QObject* Sender);

  // Drag: the left button down on the move button or a wired control starts
  // it, the moves carry the panel along with the cursor (it may leave the
  // screen), the release brings it back within reach when more than half of
  // it is off the screens (mantemNaTela) and saves the position (PosX, PosY)
  // at once.
  void RMoverMouseDown(QObject* Sender, const TEventoMouse& evento);
  void RMoverMouseMove(QObject* Sender, const TEventoMouse& evento);
  void RMoverMouseUp(QObject* Sender, const TEventoMouse& evento);
  // The second after a leave is over: the strip fades out.
  void tmrEscMenuTimer();

  // Borrowed references, set right after construction.
  void setInicializacao(TInicializacao* inic) noexcept { FIni = inic; }
  void setConfig(TConfig* config) noexcept { FConfig = config; }
  void setConexao(TConexao* conexao) noexcept { FConexao = conexao; }
  TInicializacao* Inic() const noexcept { return FIni; }
  TConfig* Config() const noexcept { return FConfig; }
  TConexao* Conexao() const noexcept { return FConexao; }

  // Title, version, equivalent ERP routine and description, shown by the
  // about box. An empty title or version reads as the family's defaults.
  void setInformacoes(const QString& Titulo, const QString& Versao, const QString& RelCons,
                      const QString& Desc);
  QString getTitulo() const;
  QString getVersao() const;
  QString getRelCons() const { return FRelCons; }
  QString getDescricao() const { return FDescricao; }

  // Initial placement of the panel (PosicaoInicialGadget), then
  // mantemNaTela.
  void PosicionaGadGet();
  // Brings the panel back within reach when more than half of it lies off
  // the screens its form covers (PosicaoDentroDasTelas), and then saves the
  // new position (PosX, PosY). Runs at start-up, at the end of a drag and
  // when the screens change. True when the panel moved. Throws what
  // SalvarIni throws.
  bool mantemNaTela();
  // Fits the panel and the strip around the face `RectBase`: the face at
  // (0, 0), the strip 5 pixels to its right; optionally RetiraMaxMin.
  void AjustaGadget(TElemento* RectBase, bool RetiraMaxMin);
  // Hides maximise/minimise and moves settings, about and move up into
  // their place (close 0, settings 21, about 42, move 63).
  void RetiraMaxMin();
  // Makes `Rectang` and every element below it a drag handle and a hover
  // area (replacing the handlers they had).
  void AssociaEventosComuns(TElemento* Rectang);

  // Runs one refresh started by `Sender` (see the top of this file). Never
  // throws: an error is shown in one error box.
  void Atualiza(QObject* Sender);
  // A refresh's work is under way.
  bool atualizando() const noexcept { return thread_ != nullptr; }
  // How the refreshes went so far.
  const EstadoAtualizacao& estadoAtualizacao() const noexcept { return estado_; }
  // A refresh asked for by the user (the context menu, a double click): it
  // starts at once, or, while one is running, a tooltip at `posicaoTela`
  // says so.
  void atualizarAgora(QObject* Sender, const QPoint& posicaoTela);
  // The face's context menu, at `posicaoTela` (it does not wait for the
  // choice). Its first entry says when a refresh is running.
  void abreMenuContexto(const QPoint& posicaoTela);
  // The context menu, made at its first use; owned by the gadget.
  QMenu* menuContexto();
  // The strip's state as the mouse left it.
  const TEstadoMenu& estadoMenu() const noexcept { return estadoMenu_; }
  // The refresh interval in ms the last refresh set (0: none).
  int intervaloAtualizacao() const noexcept { return intervalo_; }

  // While alive, a dialog that uses the connection is open: timer ticks do
  // nothing (the dialog's own save starts its refresh).
  class TDialogoAberto {
   public:
    explicit TDialogoAberto(TGadget& gadget) : gadget_(gadget) { ++gadget_.dialogosAbertos_; }
    ~TDialogoAberto() { --gadget_.dialogosAbertos_; }
    TDialogoAberto(const TDialogoAberto&) = delete;
    TDialogoAberto& operator=(const TDialogoAberto&) = delete;

   private:
    TGadget& gadget_;
  };

  // The form, the elements and the timers (borrowed; the form owns the
  // elements).
  TFormTransparente* frmPrincipal;
  TRectangle* rtgGadget;  // the whole gadget: face plus strip
  TRectangle* rtgMenu;    // the strip
  TRectangle *rtgFechar, *rtgMax, *rtgMin, *rtgConfig, *rtgAbout, *rtgMover;
  TIndicadorOcupado* imgOcupado;  // the busy sign, on the panel
  QTimer* tmrEscMenu;
  QTimer* tmrPrincipal;

  // Drag state.
  bool Capturar = false;
  QPoint MouseDownInic;  // cursor when the drag began, screen pixels
  QPoint MouseDownAtu;   // cursor at the last move
  QPoint PosIniObjeto;   // panel position when the drag began

 Q_SIGNALS:
  // A refresh has ended (also with an error), its figures are on the panel
  // and its error box, if any, was closed.
  void atualizacaoConcluida();

 protected:
  using Trabalho = std::function<void(const std::atomic<bool>& cancelar)>;
  using Conclusao = std::function<void(std::exception_ptr erro)>;
  // Runs `trabalho` on a worker thread, then `conclusao` on this thread with
  // what `trabalho` threw (null when nothing). `cancelar` turns true when the
  // gadget goes away; the work should then end soon (by throwing). When the
  // work may be inside a call that only ends when stopped from outside (a
  // database statement), `interrupt` stops it; it is called on this thread,
  // again and again, until the work has ended.
  // REQUIRES: no work is under way (atualizando() false); the work touches
  // nothing the GUI thread uses meanwhile.
  void IniciaTrabalho(Trabalho trabalho, Conclusao conclusao, std::function<void()> interrupt = {});
  // Runs `acao` now, or at the end of the work under way.
  void AposTrabalho(std::function<void()> acao);
  // Stops the work under way (`cancelar`, then its interrupt every
  // kInterruptIntervalMs) and waits for it. Concrete gadgets whose work
  // uses their own members call it first thing in their destructor.
  void EncerraTrabalho() noexcept;
  static constexpr int kInterruptIntervalMs = 50;
  // Records that the refresh failed with `erro` and shows its error box,
  // unless the last refresh failed with the same message; periodic
  // refreshes wait while the box is open.
  void ReportaErro(std::exception_ptr erro);
  // The message of an error of a refresh: the framework's wording
  // (descreveErro of mensagemerro.h) unless a gadget knows better.
  virtual MensagemErro descreveErro(std::exception_ptr erro) const;
  // Called when a refresh has ended, worked or failed, with
  // estadoAtualizacao() up to date (before the error box, if any).
  virtual void estadoAtualizacaoMudou() {}

  TConfig* FConfig = nullptr;
  TConexao* FConexao = nullptr;
  TInicializacao* FIni = nullptr;

 private:
  void aplicaEstadoMenu();
  void salvaPosicao();
  void opacidadeDasFaces(double opacidade);
  void ticPrincipal();
  void fimDoTrabalho();
  // Waits for the worker thread to end and deletes it. REQUIRES: thread_.
  void esperaTrabalho() noexcept;
  void mostraIndicador();
  void defineIntervalo(int ms);
  void registraSucesso();
  friend class TGadgetSimples;

  QString FTitulo, FVersao, FRelCons, FDescricao;
  TEstadoMenu estadoMenu_;
  QTimer* tmrFade_;
  QTimer* tmrIndicador_;
  QTimer* tmrAnimacao_;
  int intervalo_ = 0;
  int dialogosAbertos_ = 0;
  bool mostrandoErro_ = false;
  bool atualizacaoPendente_ = false;
  QObject* senderPendente_ = nullptr;
  EstadoAtualizacao estado_;
  QDateTime inicioAtualizacao_;
  QMenu* menu_ = nullptr;
  QAction* acaoAtualizar_ = nullptr;

  QThread* thread_ = nullptr;
  std::atomic<bool> cancelar_{false};
  // Stored last by the worker (release), read once it has ended (acquire).
  std::atomic<bool> trabalhoTerminado_{false};
  std::exception_ptr erroTrabalho_;
  Conclusao conclusao_;
  std::function<void()> interrupt_;
  std::vector<std::function<void()>> aposTrabalho_;
};

class TGadgetSimples : public TGadget {
  Q_OBJECT

 public:
  explicit TGadgetSimples(TFormTransparente* AOwner);

  // The framework part of every refresh: the refresh interval, the face's
  // opacity, always-on-top, the notification-area icon and, once the host
  // window was activated, no taskbar button. Throws ConversionError naming
  // the key when AtualizaDados or Transparencia is not a whole number.
  void IniciarGadget(QObject* Sender) override;

  // Where the panel and its face are on the screen, for the dialogs that
  // open over it.
  GeometriaGadget geometria() const;

  TRectangle* rtgPrincipal;  // the face; its size and contents are the concrete gadget's
};

}  // namespace margivo
