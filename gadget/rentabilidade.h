// TRentabilidade: the profitability gadget on the desktop - its face (a grey
// rounded body with the title, the "Faturamento" and "Custos" blocks, the
// branch and period lines and a dark-cyan band of four totals) on the frame
// of TGadgetSimples, its refresh, and the settings and about actions of its
// caption strip.
//
// The refresh runs the framework part on the GUI thread, then the data part
// (TAtualizacaoRentabilidade: branch name, period, order items, engine) on a
// worker thread on a copy of the settings, so the panel stays responsive;
// the figures, the branch and the period change only when a refresh works
// to its end. A database error makes the next refresh reconnect first (once
// per refresh). A refresh after a successful one re-reads only the orders
// that changed (TAtualizacaoIncremental); a save of the settings makes the
// next one read the whole period.
//
// What the face says about its figures: until a refresh has worked the
// eight values show a dash; beside the title, discreetly, the time the
// figures were read ("Atualizado às 14:32"). While the last refresh failed
// the face keeps the last good figures, dimmed, shows a red mark beside that
// time, and the failure's message on hover (mark, time and figures). Every
// value fits its box from "0,00" to "-999.999.999,99": a value too wide for
// its font is drawn in a smaller one. The branch, period and time lines keep
// their contrast at any opacity of the face (a light rim and an opacity
// floor). Every figure's title and value explain the figure on hover.
#pragma once

#include <QDate>
#include <QPointF>
#include <QString>
#include <array>
#include <memory>

#include "framework/gui/gadget.h"

namespace margivo {

struct ResultadoAtualizacao;
class TAtualizacaoIncremental;

// The label style of the dark-cyan texts (title, branch and period lines).
inline constexpr const char* kEstiloTitulo = "lblTituloStyle1";
// What a value label shows until a refresh has worked.
inline constexpr const char* kSemValor = "–";

class TRentabilidade : public TGadgetSimples {
  Q_OBJECT

 public:
  // Builds the face on `AOwner` and registers the program to start at logon
  // (a failure to register is reported in an error box; the gadget goes on).
  explicit TRentabilidade(TFormTransparente* AOwner);
  ~TRentabilidade() override;

  // The settings dialog, at once also while a refresh works (its save then
  // waits for the refresh's end).
  void RConfClick(QObject* Sender) override;
  // The about box.
  void RAboutClick(QObject* Sender) override;
  // The refresh (see the top of this file). Throws what the framework part
  // throws; the data part's errors are reported when its work ends.
  void IniciarGadget(QObject* Sender) override;

  // Sets, in this order: font family, font size, font style, alignment,
  // text, width, word wrap, auto-size, X, Y.
  void ConfigLabel(TLabel* lblOwner, const QString& Fonte, const QString& Texto, int Tamanho,
                   TEstilosFonte Estilo, double X, double Y, double Width, TAlinhamento Alinhamento,
                   bool WordWrap, bool AutoSize);

  // The day refreshes count as today; an invalid date (the default) means
  // the system date at each refresh.
  void setHoje(const QDate& dia) { hoje_ = dia; }

  // The eight value labels, in the order of kFigurasPainel.
  std::array<TLabel*, 8> rotulosDeValor() const;

  // The start and stop of the vertical gradients: bottom centre to top centre.
  QPointF PosGradIni, PosGradFim;

  TRoundRect *rrtFatTit, *rrtFatVal, *rrtCustTit, *rrtCustVal;
  TRectangle* rtgTotais;
  TLine *lnSeparador1, *lnSeparador2, *lnSeparador3;
  TLabel *lblTitGadget, *lblTitFat, *lblTitVendaFat, *lblTitCustoFat, *lblValorVendaFat,
      *lblValorCustoFat, *lblTitCusto, *lblTitAquisCusto, *lblTitVendaCusto, *lblValorAquisCusto,
      *lblValorVendaCusto, *lblNomeFilial, *lblPeriodo, *lblTitMrgBruta, *lblTitMrgOper,
      *lblTitRtbBruta, *lblTitRtbOper, *lblValorMrgBruta, *lblValorMrgOper, *lblValorRtbBruta,
      *lblValorRtbOper;
  TImage* imgLogo;
  // When the figures were read, and the mark of a failed refresh beside it.
  TLabel* lblAtualizado;
  TIndicadorFalha* imgFalha;

 protected:
  MensagemErro descreveErro(std::exception_ptr erro) const override;
  void estadoAtualizacaoMudou() override;

 private:
  // Writes what a refresh wrote onto the labels.
  void aplicaResultado(const ResultadoAtualizacao& resultado);

  QDate hoje_;
  bool reconectar_ = false;
  // What each refresh keeps for the next one; used by one refresh at a time.
  std::shared_ptr<TAtualizacaoIncremental> memoria_;
};

}  // namespace margivo
