// The settings dialog (TFrmConfiguracao, unit UConfGadGet): the branch, the
// reporting period, which orders count, the opacity of the face, the refresh
// interval and whether the gadget stays above other windows.
//
// The dialog lists the active branches of the ERP database once, when it is
// created, and fills its controls from the settings at that moment; it is
// kept for the whole run, so every later opening shows the controls as the
// user last left them (after "Cancelar" that includes unsaved edits).
// "Salvar" (also Enter) stores the choices in the settings, writes the
// settings file, reconnects to the database (so the figures that follow are
// current) and runs the gadget's refresh; "Cancelar" (also Esc) closes it.
//
// The dialog opens at once, also while a refresh of the gadget is working
// on the connection: what needs the connection waits for the refresh's end.
// A first opening then shows the branch list as loading and fills it when
// the refresh is over; "Salvar" pressed meanwhile shows the busy cursor and
// saves when the refresh is over.
//
// Mapping between the controls and the settings (all settings are text):
//   ppbEmpresas      <-> Empresa        the branch's CODEMPRESA; empty when no branch is listed
//   ppbPeriodo       <-> Periodo        "0" Diário, "1" Semanal, "2" Mensal, "3" Anual
//   ppbMostraPedidos <-> MostraPedidos  "0" Apenas Faturados, "1" Apenas Gravados,
//                                       "2" Todos os Pedidos
//   ppbOpacidade     <-> Transparencia  "100", "80", "60", "40", "20"
//   spbAtualizaDados <-> AtualizaDados  whole minutes from 0 to 1440; 0 ("Desligada"): no
//                                       periodic refresh
//   ckbSempreVisivel <-> SempreVisivel  "1" checked, "0" unchecked
// Settings the controls cannot show:
//   Empresa that is not an active branch, or empty: the first branch stays
//     selected (and is what "Salvar" stores);
//   Transparencia other than the five, or empty: "100%" stays selected;
//   Periodo outside 0..3: nothing is selected, and "Salvar" leaves Periodo as
//     it is (such a period keeps the dates of the file); empty: "Diário" stays;
//   MostraPedidos other than "0" and "1": "Todos os Pedidos", which is what
//     the order query makes of any other value; empty: the first item stays;
//   AtualizaDados below 0: 0, which means the same (no periodic refresh);
//     above 1440: 1440; empty: 1, the program's default.
// A setting that is not a whole number is reported in one message box naming
// the key and the value, and the dialog still opens, so that it can be used
// to repair the setting: its control keeps its first item, except
// MostraPedidos, which shows "Todos os Pedidos" (what the order query makes
// of such a value), SempreVisivel, which stays unchecked, and AtualizaDados,
// which shows 1 minute.
//
// The branch list keeps each branch's code with its name, so two branches of
// the same name stay apart: the one selected is the one stored.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "framework/gui/posicao.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;

namespace margivo {

class Query;
class TConexao;
class TConfig;

// One row of the branch list: FILIAIS.CODEMPRESA and NOMEEMPRESA.
struct TFilial {
  QString Codigo;
  QString Nome;
};

// What the controls show, as positions in their lists (-1: nothing selected).
struct EstadoConfiguracao {
  int Empresa = 0;
  int Periodo = 0;
  int MostraPedidos = 0;
  int Opacidade = 0;
  int AtualizaDados = 1;  // minutes
  bool SempreVisivel = false;
};

// The refresh interval the dialog offers, in whole minutes: 0 (no periodic
// refresh) to one day.
inline constexpr int kMaximoMinutosAtualizacao = 1440;

// Setting -> control. Each throws ConversionError naming the key and the
// value when the value is not a whole number (surrounding blanks are
// ignored). nullopt: the control is left as it is.
std::optional<int> PosicaoPeriodo(const QString& Periodo);  // 0..3; other numbers -1; empty nullopt
std::optional<int> PosicaoMostraPedidos(const QString& MostraPedidos);  // 0, 1; other numbers 2
std::optional<int> PosicaoOpacidade(
    const QString& Transparencia);                        // "100" 0 ... "20" 4; else nullopt
bool SempreVisivelMarcado(const QString& SempreVisivel);  // the number 1; empty: false
// 0..kMaximoMinutosAtualizacao (numbers outside are brought to the nearest
// end); empty: nullopt.
std::optional<int> MinutosAtualizacao(const QString& AtualizaDados);
// The first branch whose code equals Empresa exactly; nullopt for an empty
// Empresa or a code that is not listed.
std::optional<int> PosicaoEmpresa(const QList<TFilial>& filiais, const QString& Empresa);

// Control -> setting. nullopt: the setting is left as it is.
std::optional<QString> PeriodoDaPosicao(int posicao);        // -1: nullopt
QString MostraPedidosDaPosicao(int posicao);                 // -1: "0"
std::optional<QString> TransparenciaDaPosicao(int posicao);  // -1: nullopt
QString SempreVisivelDoEstado(bool marcado);
QString AtualizaDadosDosMinutos(int minutos);  // kept within 0..kMaximoMinutosAtualizacao
QString EmpresaDaPosicao(const QList<TFilial>& filiais, int posicao);  // -1: ""

// The controls' state for `config`, starting from `estado` (the controls as
// they are at creation). Empresa, Periodo, Transparencia and SempreVisivel
// are taken only when the settings file exists; MostraPedidos and
// AtualizaDados always. Returns the error message of every setting that is
// not a whole number.
QStringList CarregaEstado(const TConfig& config, bool arquivoExiste, const QList<TFilial>& filiais,
                          EstadoConfiguracao& estado);
// Writes the six settings of `estado` into `config` (memory only).
void GravaEstado(const EstadoConfiguracao& estado, const QList<TFilial>& filiais, TConfig& config);

class TFrmConfiguracao : public QDialog {
  Q_OBJECT

 public:
  // Runs `acao` now when no refresh of the gadget is working, otherwise at
  // the end of the refresh's work (before the next one starts).
  using AposAtualizacao = std::function<void(std::function<void()> acao)>;

  // FormCreate: builds the controls, fills them from `config` and, when
  // `listarFiliais`, lists the active branches through the connection
  // (qryBusca) and selects the settings' one; otherwise the branch list
  // shows as loading until ListaFiliais. A setting that is not a whole
  // number is reported in a message box (see above).
  // REQUIRES: config and conexao outlive the dialog; conexao is connected.
  // Throws DatabaseError when the branches cannot be listed.
  TFrmConfiguracao(TConfig& config, TConexao& conexao, QWidget* parent = nullptr,
                   bool listarFiliais = true);
  ~TFrmConfiguracao() override;

  // The gadget's refresh (its IniciarGadget), run after every save. It may
  // throw; its error is then shown in a message box and the dialog stays open
  // (the settings are already saved). `aposAtualizacao` is how the dialog
  // waits for a refresh at work before it uses the connection; empty: the
  // gadget never refreshes on its own (the dialog never waits).
  void AdicionaGadget(std::function<void()> IniciarGadget, AposAtualizacao aposAtualizacao = {});

  // Lists the active branches and selects the one of Empresa (the first
  // when Empresa is not listed). Throws DatabaseError.
  void ListaFiliais();
  // The branch list was read.
  bool filiaisListadas() const noexcept { return filiaisListadas_; }
  // A save waits for the end of a refresh.
  bool salvamentoPendente() const noexcept { return salvamentoPendente_; }

  // VerificaPosForm over the face, then VerificaMargens.
  void Posiciona(const GeometriaGadget& geometria);

  // The branches listed, in the order the database returned them.
  const QList<TFilial>& filiais() const noexcept { return filiais_; }
  // The controls' state, and setting it (tests, and the save).
  EstadoConfiguracao estado() const;
  void setEstado(const EstadoConfiguracao& estado);

 public Q_SLOTS:
  // "Salvar": settings, SalvarIni, conectarBanco, the refresh, then closes.
  // While a refresh works it waits for its end, with the busy cursor and the
  // dialog disabled, then saves the choices as they were when it was
  // pressed. A settings file that cannot be written is reported in a message
  // box naming the file; the dialog then stays open with the user's choices.
  void btnSalvarConfClick();
  // "Cancelar": closes; nothing is saved, the controls keep their state.
  void BtnCancelarConfClick();

 private:
  void CriaQueryBusca();
  void CarregaEmpresas();
  void FormCreate(bool listarFiliais);
  void salva(const EstadoConfiguracao& escolhido);
  void fimDaEspera();

  TConfig& config_;
  TConexao& conexao_;
  std::unique_ptr<Query> qryBusca;
  QList<TFilial> filiais_;
  bool filiaisListadas_ = false;
  bool salvamentoPendente_ = false;
  std::function<void()> IniciarGadget_;
  AposAtualizacao aposAtualizacao_;

  QComboBox* ppbEmpresas = nullptr;
  QComboBox* ppbPeriodo = nullptr;
  QComboBox* ppbMostraPedidos = nullptr;
  QComboBox* ppbOpacidade = nullptr;
  QSpinBox* spbAtualizaDados = nullptr;
  QCheckBox* ckbSempreVisivel = nullptr;
  QPushButton* btnSalvarConf = nullptr;
  QPushButton* BtnCancelarConf = nullptr;
};

// The settings button of the caption strip (the gadget's RConfClick): creates
// the dialog at the first call, as a window of `host` (kept until the host is
// destroyed), hands it the refresh, places it over the face and shows it
// modally; returns when it is closed. A first opening during a refresh lists
// the branches at the refresh's end (see the top of this file). Never throws:
// an error while listing the branches is shown in a message box, the dialog
// closes and is not kept, and the next call tries again.
// REQUIRES: the same config and conexao at every call for one host.
void AbreConfiguracao(TConfig& config, TConexao& conexao, QWidget* host,
                      const GeometriaGadget& geometria, std::function<void()> IniciarGadget,
                      TFrmConfiguracao::AposAtualizacao aposAtualizacao = {});

// The dialog AbreConfiguracao keeps (FrmConfiguracao), nullptr before its
// first opening or after its host was destroyed.
TFrmConfiguracao* FrmConfiguracao();

}  // namespace margivo
