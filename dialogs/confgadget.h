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
//   ppbMostraPedidos <-> MostraPedidos  "0" Apenas Faturados, "1" Apenas Gravados, "2" Todos os Pedidos
//   ppbOpacidade     <-> Transparencia  "100", "80", "60", "40", "20"
//   ckbSempreVisivel <-> SempreVisivel  "1" checked, "0" unchecked
// A setting the dialog cannot show (a code that is not an active branch, an
// opacity that is not one of the five, a period or kind of order outside the
// list, an empty value) leaves its control at the first item, which "Salvar"
// then stores. A setting that is not a whole number is reported, naming the
// key, and its control also stays at the first item, so that the dialog can
// still be used to repair it.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "dialogs/posicao.h"

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

// Setting -> control, for one setting each. nullopt: the value cannot be
// shown (empty, out of the list) and the control keeps its selection.
// Throw ConversionError naming the key and the value when it is not a whole
// number (surrounding blanks are ignored).
std::optional<int> PosicaoPeriodo(const QString& Periodo);
std::optional<int> PosicaoMostraPedidos(const QString& MostraPedidos);
std::optional<int> PosicaoOpacidade(const QString& Transparencia);
bool SempreVisivelMarcado(const QString& SempreVisivel);  // empty: unchecked
// The position of the first branch whose code equals Empresa exactly.
std::optional<int> PosicaoEmpresa(const QList<TFilial>& filiais, const QString& Empresa);

// Control -> setting.
QString PeriodoDaPosicao(int posicao);                      // -1: "0"
QString MostraPedidosDaPosicao(int posicao);                // -1: "0"
std::optional<QString> TransparenciaDaPosicao(int posicao);  // -1: unchanged
QString SempreVisivelDoEstado(bool marcado);
QString EmpresaDaPosicao(const QList<TFilial>& filiais, int posicao);  // -1: ""

// The controls' state for `config`, starting from `estado` (the controls as
// they are at creation). The settings of the gadget section are taken only
// when the settings file exists; MostraPedidos always. Returns one message per
// setting that is not a whole number; those settings leave their control as
// it was.
QStringList CarregaEstado(const TConfig& config, bool arquivoExiste,
                          const QList<TFilial>& filiais, EstadoConfiguracao& estado);
// Writes the five settings of `estado` into `config` (memory only).
void GravaEstado(const EstadoConfiguracao& estado, const QList<TFilial>& filiais,
                 TConfig& config);

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
