// The settings dialog (TFrmConfiguracao, unit UConfGadGet): the branch, the
// reporting period, which orders count, the opacity of the face and whether
// the gadget stays above other windows.
//
// The dialog lists the active branches of the ERP database once, when it is
// created, and fills its controls from the settings at that moment; it is
// kept for the whole run, so every later opening shows the controls as the
// user last left them (after "Cancelar" that includes unsaved edits).
// "Salvar" stores the choices in the settings, writes the settings file,
// reconnects to the database (so the figures that follow are current) and
// runs the gadget's refresh.
//
// Mapping between the controls and the settings (all settings are text):
//   ppbEmpresas      <-> Empresa        the branch's CODEMPRESA; empty when no branch is listed
//   ppbPeriodo       <-> Periodo        "0" Diário, "1" Semanal, "2" Mensal, "3" Anual
//   ppbMostraPedidos <-> MostraPedidos  "0" Apenas Faturados, "1" Apenas Gravados, "2" Todos os
//   Pedidos ppbOpacidade     <-> Transparencia  "100", "80", "60", "40", "20" ckbSempreVisivel <->
//   SempreVisivel  "1" checked, "0" unchecked
// Settings the lists cannot show:
//   Empresa that is not an active branch, or empty: the first branch stays
//     selected (and is what "Salvar" stores);
//   Transparencia other than the five, or empty: "100%" stays selected;
//   Periodo outside 0..3: nothing is selected, and "Salvar" leaves Periodo as
//     it is (such a period keeps the dates of the file); empty: "Diário" stays;
//   MostraPedidos other than "0" and "1": "Todos os Pedidos", which is what
//     the order query makes of any other value; empty: the first item stays.
// A setting that is not a whole number is reported in one message box naming
// the key and the value, and the dialog still opens, so that it can be used
// to repair the setting: its control keeps its first item, except
// MostraPedidos, which shows "Todos os Pedidos" (what the order query makes
// of such a value), and SempreVisivel, which stays unchecked.
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
  bool SempreVisivel = false;
};

// Setting -> control. Each throws ConversionError naming the key and the
// value when the value is not a whole number (surrounding blanks are
// ignored). nullopt: the control is left as it is.
std::optional<int> PosicaoPeriodo(const QString& Periodo);  // 0..3; other numbers -1; empty nullopt
std::optional<int> PosicaoMostraPedidos(const QString& MostraPedidos);  // 0, 1; other numbers 2
std::optional<int> PosicaoOpacidade(
    const QString& Transparencia);                        // "100" 0 ... "20" 4; else nullopt
bool SempreVisivelMarcado(const QString& SempreVisivel);  // the number 1; empty: false
// The first branch whose code equals Empresa exactly; nullopt for an empty
// Empresa or a code that is not listed.
std::optional<int> PosicaoEmpresa(const QList<TFilial>& filiais, const QString& Empresa);

// Control -> setting. nullopt: the setting is left as it is.
std::optional<QString> PeriodoDaPosicao(int posicao);        // -1: nullopt
QString MostraPedidosDaPosicao(int posicao);                 // -1: "0"
std::optional<QString> TransparenciaDaPosicao(int posicao);  // -1: nullopt
QString SempreVisivelDoEstado(bool marcado);
QString EmpresaDaPosicao(const QList<TFilial>& filiais, int posicao);  // -1: ""

// The controls' state for `config`, starting from `estado` (the controls as
// they are at creation). Empresa, Periodo, Transparencia and SempreVisivel
// are taken only when the settings file exists; MostraPedidos always. Returns
// the error message of every setting that is not a whole number.
QStringList CarregaEstado(const TConfig& config, bool arquivoExiste, const QList<TFilial>& filiais,
                          EstadoConfiguracao& estado);
// Writes the five settings of `estado` into `config` (memory only).
void GravaEstado(const EstadoConfiguracao& estado, const QList<TFilial>& filiais, TConfig& config);

class TFrmConfiguracao : public QDialog {
  Q_OBJECT

 public:
  // FormCreate: builds the controls, lists the active branches through the
  // connection (qryBusca) and fills the controls from `config`; a setting
  // that is not a whole number is reported in a message box (see above).
  // REQUIRES: config and conexao outlive the dialog; conexao is connected.
  // Throws DatabaseError when the branches cannot be listed.
  TFrmConfiguracao(TConfig& config, TConexao& conexao, QWidget* parent = nullptr);
  ~TFrmConfiguracao() override;

  // The gadget's refresh (its IniciarGadget), run after every save. It may
  // throw; its error is then shown in a message box and the dialog stays open
  // (the settings are already saved).
  void AdicionaGadget(std::function<void()> IniciarGadget);

  // VerificaPosForm over the face, then VerificaMargens.
  void Posiciona(const GeometriaGadget& geometria);

  // The branches listed, in the order the database returned them.
  const QList<TFilial>& filiais() const noexcept { return filiais_; }
  // The controls' state, and setting it (tests, and the save).
  EstadoConfiguracao estado() const;
  void setEstado(const EstadoConfiguracao& estado);

 public Q_SLOTS:
  // "Salvar": settings, SalvarIni, conectarBanco, the refresh, then closes.
  // A settings file that cannot be written is reported in a message box
  // naming the file; the dialog then stays open with the user's choices.
  void btnSalvarConfClick();
  // "Cancelar": closes; nothing is saved, the controls keep their state.
  void BtnCancelarConfClick();

 private:
  void CriaQueryBusca();
  void CarregaEmpresas();
  void FormCreate();

  TConfig& config_;
  TConexao& conexao_;
  std::unique_ptr<Query> qryBusca;
  QList<TFilial> filiais_;
  std::function<void()> IniciarGadget_;

  QComboBox* ppbEmpresas = nullptr;
  QComboBox* ppbPeriodo = nullptr;
  QComboBox* ppbMostraPedidos = nullptr;
  QComboBox* ppbOpacidade = nullptr;
  QCheckBox* ckbSempreVisivel = nullptr;
  QPushButton* btnSalvarConf = nullptr;
  QPushButton* BtnCancelarConf = nullptr;
};

// The settings button of the caption strip (the gadget's RConfClick): creates
// the dialog at the first call, as a window of `host` (kept until the host is
// destroyed), hands it the refresh, places it over the face and shows it
// modally; returns when it is closed. Never throws: an error while creating
// the dialog (the branch list cannot be read) is shown in a message box and
// the next call tries again.
// REQUIRES: the same config and conexao at every call for one host.
void AbreConfiguracao(TConfig& config, TConexao& conexao, QWidget* host,
                      const GeometriaGadget& geometria, std::function<void()> IniciarGadget);

// The dialog AbreConfiguracao keeps (FrmConfiguracao), nullptr before its
// first opening or after its host was destroyed.
TFrmConfiguracao* FrmConfiguracao();

}  // namespace margivo
