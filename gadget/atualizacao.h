// The data side of the profitability gadget's refresh, shared by the desktop
// panel and the report tool: branch name, reporting period, the order items
// of the period fed to the calculation engine (every item once, the freight of
// every order once), the running totals and the eight figure texts of the
// panel.
//
// A refresh reads the database through one read-only snapshot that it commits
// as soon as its reads are over (also when it fails), so two refreshes see the
// orders that arrived between them.
//
// Errors: IniciarGadget may throw ConversionError (a `Periodo` or date text of
// the settings that does not convert), IniFileError or DatabaseError (the
// branch name's look-up, the connection, the order-items query),
// CalculationError (an engine call; its message names the
// order, the product and the step) and ArithmeticError (the period's sale
// total is 0 although orders were found).
#pragma once

#include <QDate>
#include <QSet>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/ligacaogadget.h"
#include "framework/datetime.h"

namespace margivo {

class Query;
class TdmRentabilidade;
class TAtualizacaoIncremental;

// The figures of the line the engine calculated last (after its rounding
// step). MTxCondPag is the line's share of the boleto fees.
struct FigurasItem {
  double MAquisicao = 0, MValorDaVenda = 0, MQtdeVendida = 0, MOperacional = 0, MCustoParcVd = 0,
         MComissao = 0, MImpostos = 0, MDescontoPV = 0, MTxCondPag = 0, MOutros = 0,
         MCustoTotVd = 0, MMargemBrtLcr = 0, MMargemOpLcr = 0, MPercLucroBrt = 0, MPercLucroOpe = 0;
  bool operator==(const FigurasItem&) const = default;
};

// The running totals of one refresh, as the engine leaves them (rounded to
// two decimals after every call). MTotTxCondPag totals the boleto fees;
// MTotComissao is only rounded on the order path, never added to;
// MTotPercLucroBrt/Ope relate the running margins to the total of the order
// calculated last.
struct TotaisRentabilidade {
  double MTotCustoParcVd = 0, MTotValorDaVenda = 0, MTotComissao = 0, MTotImpostos = 0,
         MTotDescontoPV = 0, MTotTxCondPag = 0, MTotOutros = 0, MTotCustoTotVd = 0,
         MTotMargemBrtLcr = 0, MTotMargemOpLcr = 0, MTotPercLucroBrt = 0, MTotPercLucroOpe = 0;
  bool operator==(const TotaisRentabilidade&) const = default;
};

// Field names in their report order, for renderers.
inline constexpr std::array<std::pair<const char*, double FigurasItem::*>, 15> kCamposItem{{
    {"MAquisicao", &FigurasItem::MAquisicao},
    {"MValorDaVenda", &FigurasItem::MValorDaVenda},
    {"MQtdeVendida", &FigurasItem::MQtdeVendida},
    {"MOperacional", &FigurasItem::MOperacional},
    {"MCustoParcVd", &FigurasItem::MCustoParcVd},
    {"MComissao", &FigurasItem::MComissao},
    {"MImpostos", &FigurasItem::MImpostos},
    {"MDescontoPV", &FigurasItem::MDescontoPV},
    {"MTxCondPag", &FigurasItem::MTxCondPag},
    {"MOutros", &FigurasItem::MOutros},
    {"MCustoTotVd", &FigurasItem::MCustoTotVd},
    {"MMargemBrtLcr", &FigurasItem::MMargemBrtLcr},
    {"MMargemOpLcr", &FigurasItem::MMargemOpLcr},
    {"MPercLucroBrt", &FigurasItem::MPercLucroBrt},
    {"MPercLucroOpe", &FigurasItem::MPercLucroOpe},
}};
inline constexpr std::array<std::pair<const char*, double TotaisRentabilidade::*>, 12>
    kCamposTotais{{
        {"MTotCustoParcVd", &TotaisRentabilidade::MTotCustoParcVd},
        {"MTotValorDaVenda", &TotaisRentabilidade::MTotValorDaVenda},
        {"MTotComissao", &TotaisRentabilidade::MTotComissao},
        {"MTotImpostos", &TotaisRentabilidade::MTotImpostos},
        {"MTotDescontoPV", &TotaisRentabilidade::MTotDescontoPV},
        {"MTotTxCondPag", &TotaisRentabilidade::MTotTxCondPag},
        {"MTotOutros", &TotaisRentabilidade::MTotOutros},
        {"MTotCustoTotVd", &TotaisRentabilidade::MTotCustoTotVd},
        {"MTotMargemBrtLcr", &TotaisRentabilidade::MTotMargemBrtLcr},
        {"MTotMargemOpLcr", &TotaisRentabilidade::MTotMargemOpLcr},
        {"MTotPercLucroBrt", &TotaisRentabilidade::MTotPercLucroBrt},
        {"MTotPercLucroOpe", &TotaisRentabilidade::MTotPercLucroOpe},
    }};

// One call of the engine: its option ("Produto" or "Frete"), the row's order
// and product, and the line's figures after the call.
struct ItemCalculado {
  QString opcao;
  QString CODEMPRESA, TIPOPEDIDO, CODPEDIDO, CODPROD, CODGRADE;
  FigurasItem figuras;
};

// What a refresh has to show. A label text that is empty (nullopt) was not
// written by this refresh and keeps the text it had: every label after a
// failure that came before it, and lblPeriodo for a `Periodo` outside 0-3.
struct ResultadoAtualizacao {
  std::optional<QString> lblNomeFilial, lblPeriodo;
  std::optional<QString> lblValorVendaFat, lblValorCustoFat, lblValorAquisCusto, lblValorVendaCusto,
      lblValorMrgBruta, lblValorMrgOper, lblValorRtbBruta, lblValorRtbOper;
  // The period's texts as the settings hold them after the period step.
  QString DataInicial, DataFinal;
  int rows = 0;             // rows of the order-items query
  int chamadasProduto = 0;  // engine calls of the product pass
  int chamadasFrete = 0;    // engine calls of the freight pass
  TotaisRentabilidade totais;
  // Every engine call in call order, only when OpcoesAtualizacao::guardarItens.
  std::vector<ItemCalculado> itens;
  // The refresh re-read only what changed since the one before and took the
  // rest from it (OpcoesAtualizacao::incremental); false when it read the
  // whole period. The figures are the same either way.
  bool incremental = false;
};

// The eight figures of the panel: label name, block title (empty for the
// totals band), figure title (UTF-8) and the result's text.
struct FiguraPainel {
  const char* rotulo;
  const char* bloco;
  const char* titulo;
  std::optional<QString> ResultadoAtualizacao::*texto;
};
inline constexpr std::array<FiguraPainel, 8> kFigurasPainel{{
    {"lblValorVendaFat", "Faturamento", "Venda (R$)", &ResultadoAtualizacao::lblValorVendaFat},
    {"lblValorCustoFat", "Faturamento", "Custo (R$)", &ResultadoAtualizacao::lblValorCustoFat},
    {"lblValorAquisCusto", "Custos", "Aquisição (%)", &ResultadoAtualizacao::lblValorAquisCusto},
    {"lblValorVendaCusto", "Custos", "Venda (%)", &ResultadoAtualizacao::lblValorVendaCusto},
    {"lblValorMrgBruta", "", "Mrg. Bruta (R$)", &ResultadoAtualizacao::lblValorMrgBruta},
    {"lblValorMrgOper", "", "Mrg. Oper. (R$)", &ResultadoAtualizacao::lblValorMrgOper},
    {"lblValorRtbBruta", "", "Rtb. Bruta (%)", &ResultadoAtualizacao::lblValorRtbBruta},
    {"lblValorRtbOper", "", "Rtb. Oper. (%)", &ResultadoAtualizacao::lblValorRtbOper},
}};

struct OpcoesAtualizacao {
  // Keep every engine call in ResultadoAtualizacao::itens.
  bool guardarItens = false;
  // The period's look-ups are read ahead in set-based statements, each
  // distinct look-up runs at most once per refresh and is answered from
  // memory afterwards (the refresh reads one snapshot, so the figures are the
  // same), and the order-items rows are read forward only, as they are
  // calculated. Off: every call runs all its look-ups, each statement
  // prepared anew, over rows kept in memory - the reference the fast path is
  // checked against.
  bool caminhoRapido = true;
  // On the fast path, a refresh after a successful one re-reads only the
  // orders whose rows changed since then and takes every other order's
  // figures from it, unless something that can change every figure changed
  // (see TMemoriaAtualizacao). Off: every refresh reads the whole period.
  bool incremental = true;
  // Called as the passes walk the rows: `feitas` of `total` steps, where the
  // total is twice the rows (the product pass, then the freight pass). On
  // the fast path the rows are read as the product pass goes, so until its
  // end `total` is 0 and `feitas` the rows done. Runs on the refreshing
  // thread; it must not touch the database.
  std::function<void(int feitas, int total)> progresso;
};

// The gadget's data side: the link the engine works through (connection,
// settings, today) and the refresh itself.
class TAtualizacaoRentabilidade final : public TGadgetRentabilidade {
 public:
  // REQUIRES: conexao and config outlive this object. IniciarGadget uses
  // conexao for the refresh (ScopedAttachment): attaches it when it is not
  // attached, and in local mode lets the file go when the refresh ends.
  TAtualizacaoRentabilidade(TConexao& conexao, TConfig& config);
  ~TAtualizacaoRentabilidade() override;
  TAtualizacaoRentabilidade(const TAtualizacaoRentabilidade&) = delete;
  TAtualizacaoRentabilidade& operator=(const TAtualizacaoRentabilidade&) = delete;

  TConexao* Conexao() const override { return conexao_; }
  TConfig* Config() const override { return config_; }
  // The day this refresh counts as today: the fixed day when one is set, else
  // the system date taken when the refresh started.
  QDate Hoje() const override;

  // Fixes the day the period and the calculation count from (the report
  // tool's --today). An invalid date goes back to the system date.
  void setHoje(const QDate& dia) { hojeFixo_ = dia; }

  // The memory a refresh keeps for the next one (OpcoesAtualizacao::
  // incremental). Each object has its own; a caller that makes one object
  // per refresh hands each the same memory. REQUIRES: refreshes that share
  // a memory never run at the same time.
  void setMemoria(std::shared_ptr<TAtualizacaoIncremental> memoria);
  // The memory in use; never null.
  TAtualizacaoIncremental& memoria() const { return *incremental_; }

  // The refresh. Clears `resultado`, then writes into it as it goes, so that
  // after a failure it holds what the panel shows: the labels written before
  // the failure.
  // Order: branch name (Empresa empty: "Todas as Filiais"; otherwise
  // NomeFilial through the settings file Config() was loaded from), period
  // dates and caption, then in one read snapshot the order-items query, the
  // product pass and the freight pass, then the eight figures. With rows
  // found and a sale total of 0 the two "Faturamento" figures are written,
  // the other six show zero and ArithmeticError is thrown. Throws as listed
  // at the top; an exception thrown by the progress callback (to cancel)
  // passes through unchanged, the snapshot ended.
  void IniciarGadget(ResultadoAtualizacao& resultado, const OpcoesAtualizacao& opcoes = {});

  // Sets every running total to 0 (the per-item figures keep their values).
  void ZeraVariaveis();
  // Sets the eight figure texts to 0 in their pattern (0,00 under Brazilian
  // settings).
  static void LimpaCampos(ResultadoAtualizacao& resultado);

  // Percentages handed to the engine as VfCustoOp, VfCustoVd, VfCustoFn. The
  // gadget has no setting for them: they stay 0.
  double MCustoOp = 0, MCustoVd = 0, MCustoFn = 0;
  // Figures of the line calculated last, and the running totals.
  FigurasItem figuras;
  double MTotOperacional = 0;  // cleared with the totals; the engine never writes it
  TotaisRentabilidade totais;
  // Installments handed to the engine, which works on its own copies; the
  // gadget never fills them.
  std::vector<double> VlrParcelas;
  std::vector<TDateTime> DtParcelas;

 private:
  // The one place where a row meets the engine: one call with option `opcao`
  // on the current row of `qry`, its figures into the totals and, when asked,
  // into the result's items.
  void calcularLinha(TdmRentabilidade& dm, const Query& qry, const QString& opcao,
                     ResultadoAtualizacao& resultado, bool guardarItens);
  void passes(Query& qry, TdmRentabilidade& dm, ResultadoAtualizacao& resultado,
              const OpcoesAtualizacao& opcoes);
  // Whether the freight pass calculates the freight at the current row
  // (the first row met of its order); records the order as met.
  static bool CalculaFrete(const Query& qry, QSet<QString>& PedidosVerificados);
  // The same passes over a forward-only query (the fast path).
  void passesEmFluxo(Query& qry, TdmRentabilidade& dm, ResultadoAtualizacao& resultado,
                     const OpcoesAtualizacao& opcoes);
  void escreveFiguras(ResultadoAtualizacao& resultado) const;

  TConexao* conexao_;
  TConfig* config_;
  QDate hojeFixo_;
  QDate hojeDaAtualizacao_;
  std::shared_ptr<TAtualizacaoIncremental> incremental_;
  // Set while a refresh that reads the whole period records its calls.
  bool registrando_ = false;
};

}  // namespace margivo
