// TdmRentabilidade: the profitability calculation engine.
//
// One data module serves one refresh of the gadget: it owns the engine's
// queries and two working amounts, and reaches the database connection, the
// settings and "today" through the gadget it serves (ggtRent). For every line
// of a sales document the gadget calls PCalculaValoresRentabilidade, which
// fills the line's figures and adds them into the gadget's running totals.
//
// The engine only reads the ERP database. Its queries run without a
// transaction of their own: inside the attachment's current read scope (the
// refresh's snapshot) or, when none is open, in short read-committed ones.
//
// Errors: methods that are not noexcept may throw. PCalculaValoresRentabilidade
// throws CalculationError, whose message names the document, the product and
// the step at fault. The other public methods throw the database layer's
// DatabaseError, the conversion layer's ConversionError or ArithmeticError
// (a division by zero) without that context.
//
// REQUIRES: calls on one module never overlap (the steps share the module's
// queries); a single thread uses the module.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "engine/ligacaogadget.h"
#include "framework/datetime.h"
#include "framework/db/query.h"

namespace margivo {

class TCalculoRentabilidade;
class TConsultasRentabilidade;
struct SqlCondition;
struct TCondPag;
struct TContribuicaoChamada;

// A floating-point division by zero met in the calculation. The engine never
// lets a division by zero pass as an infinity or an undefined number.
class ArithmeticError : public std::runtime_error {
 public:
  explicit ArithmeticError(const QString& message);
  QString message() const { return QString::fromUtf8(what()); }
};

// The error that ends a call of PCalculaValoresRentabilidade. Its message
// names the document (the order's CODEMPRESA, TIPOPEDIDO and CODPEDIDO, or
// "orçamento CODEMPRESA=01 CODORC=77" for a quote), the line's CODPROD and
// the step, for example
//   Divisão por zero no cálculo do pedido CODEMPRESA=01 TIPOPEDIDO=V
//   CODPEDIDO=123, produto CODPROD=456 (rateio do desconto)
// (one line), and for a database or conversion error the same context
// followed by ": " and the underlying message.
class CalculationError : public std::runtime_error {
 public:
  enum class Kind {
    Arithmetic,      // a division by zero
    Database,        // DatabaseError of a look-up
    Conversion,      // a text that does not convert (a date, a number)
    NotImplemented,  // a document kind whose calculation does not exist yet
  };
  CalculationError(Kind kind, const QString& message);
  Kind kind() const noexcept { return kind_; }
  QString message() const { return QString::fromUtf8(what()); }

 private:
  Kind kind_;
};

// Number of installments the payment-terms steps work with (entries 0..6).
inline constexpr int kNumParcelas = 7;

// How many records of one order of the period the period's look-ups found:
// its lines (PEDIDOI), its closing records (EnceFat) and, when read, its
// pre-dated cheques (PreTerc of `empresaDosCheques` with the document number
// `documento`).
struct TContagensDoPedido {
  QString CODEMPRESA, TIPOPEDIDO, CODPEDIDO;
  int linhas = 0;
  int fechamentos = 0;
  std::optional<int> cheques;
  QString empresaDosCheques, documento;
};

class TdmRentabilidade {
 public:
  // Builds the six queries, unbound. The gadget then calls AdicionaGadget and
  // AssociaConexoes before the first calculation.
  TdmRentabilidade();
  ~TdmRentabilidade();
  TdmRentabilidade(const TdmRentabilidade&) = delete;
  TdmRentabilidade& operator=(const TdmRentabilidade&) = delete;

  // The module's creation handler; it does nothing.
  void DataModuleCreate(void* Sender = nullptr) noexcept;
  // Stores the gadget this module serves. Borrowed; REQUIRES: it outlives the
  // module.
  void AdicionaGadget(TGadgetRentabilidade* Gadget) noexcept;
  // Binds the six queries to the gadget's connection (no explicit
  // transaction) and opens ParaTlm. REQUIRES: AdicionaGadget was called and
  // the connection is attached. Throws DatabaseError (e.g. no PARATLM table).
  void AssociaConexoes();

  // Answers repeated look-ups of the calculation from memory (each distinct
  // look-up runs once) while on. The answers are those of the snapshot they
  // were read in: REQUIRES on only while the calls read one snapshot (one
  // refresh). Off by default; turning it off forgets every answer.
  void usaCacheDeConsultas(bool ativo);

  // Reads ahead, in a few set-based statements, the answers of the look-ups
  // a refresh asks for the orders `pedidos` selects (the orders' closing
  // records, item totals, cheques, financing, agreement documents and
  // installments, and the payment, commission and cost tables), so that the
  // refresh runs about the same few statements whatever its number of
  // orders. `pedidos` is a condition on the order header PEDIDOC, without an
  // alias, and selects at least the orders the refresh calculates; none of
  // them is dated after `ultimoDia`. The tables are read for the gadget's
  // configured branch (Config()->Empresa; empty: every branch). Each answer
  // is the one the look-up's own statement gives in the same snapshot; a
  // look-up the statements cannot answer exactly (e.g. a key with two rows
  // where the look-up reads the first) still runs its own statement when
  // asked.
  // REQUIRES: usaCacheDeConsultas(true) and the refresh's snapshot is the
  // attachment's current transaction; the condition's parameter names
  // neither begin with MGV_ nor name a column the look-ups read. Throws
  // std::logic_error when the cache is off, std::invalid_argument when a
  // parameter name is taken; a statement that fails only leaves its
  // look-ups to themselves.
  void carregaConsultasDoPeriodo(const SqlCondition& pedidos, TDateTime ultimoDia);

  // Makes every later call on the order path ("Ped") that ends without error
  // write into `destino` what it did to the figures before its rounding step
  // (engine/contribuicao.h); nullptr stops it. Borrowed; REQUIRES: it
  // outlives the calls. Calls on other paths leave it as it was.
  void registraContribuicao(TContribuicaoChamada* destino) noexcept { contribuicao_ = destino; }

  // Makes carregaConsultasDoPeriodo tell `f` how many records of each order
  // of the period it found, as it reads them (nothing when its orders'
  // statement fails). REQUIRES: usaCacheDeConsultas(true); the cache is
  // where `f` is kept, so turning it off forgets `f`.
  void contaRegistrosDoPeriodo(std::function<void(const TContagensDoPedido&)> f);

  // The profitability of one line of a sales document.
  //   VfOrcamentoOuPedido: "Ped" (sales order), "Orc" (quote: qryVendasCabec
  //     stands on the quote's OrcCabe row, qryItem on its item row with
  //     CodProd, CodGrade, PrecoUnit, DescontoVlr, Quantidade), anything
  //     else: only the rounding step runs.
  //   VfOpcaoDeCalculo: "Produto", "Frete" (the document's freight as a line;
  //     for a quote of quantity QtdFrete01 + QtdFrete02 + QtdFrete03, for an
  //     order of quantity 1), "TaxaServico" (quotes only: the quote's service
  //     fee as a line of quantity 1) or anything else (no line values).
  //   VfCustoOp, VfCustoVd, VfCustoFn: operating-cost, tax and other-costs
  //     percentages (12.5 means 12.5 %).
  //   VfVlrParcelas, VfDtParcelas: installment amounts and due dates; copied,
  //     the caller's arrays never change (shorter than seven entries: the
  //     missing ones count as empty).
  //   qryItem, qryVendasCabec: positioned on the line's row and on the
  //     document's header row (the gadget passes its order-items query twice).
  //   MAquisicao .. MPercLucroOpe: the line's figures, overwritten.
  //   MTotCustoParcVd .. MTotPercLucroOpe: running totals, added to (never
  //     cleared here).
  //   MTotComissao: orders: a running total (never added to); quotes: the
  //     quote's whole commission, which the call spreads over the lines in
  //     proportion to their net value when PARAPDV includes commissions.
  //   MTotTroca: the order's trade-in credit, taken off its closing discount.
  // A quote's first payment term is costed from the installments passed in
  // entries 0..5 (ParcelasDoOrcamento fills them from the quote header); a
  // caller that passes them empty gets no cost and no boleto fee for them.
  // Where the quote's financing ratio cannot be worked out (its installments
  // add up to 0) the line carries no present-value discount.
  // Every figure and total passed is rounded to two decimals at the end.
  // On failure throws CalculationError: figures already assigned keep their
  // new values and the rounding step does not run.
  void PCalculaValoresRentabilidade(
      const QString& VfOrcamentoOuPedido, const QString& VfOpcaoDeCalculo, double VfCustoOp,
      double VfCustoVd, double VfCustoFn, std::vector<double> VfVlrParcelas,
      std::vector<TDateTime> VfDtParcelas, const Query& qryItem, const Query& qryVendasCabec,
      double& MAquisicao, double& MValorDaVenda, double& MQtdeVendida, double& MOperacional,
      double& MCustoParcVd, double& MComissao, double& MImpostos, double& MDescontoPV,
      double& MTxEmissaoBoleto, double& MOutros, double& MCustoTotVd, double& MMargemBrtLcr,
      double& MMargemOpLcr, double& MPercLucroBrt, double& MPercLucroOpe, double& MTotCustoParcVd,
      double& MTotValorDaVenda, double& MTotComissao, double& MTotImpostos, double& MTotDescontoPV,
      double& MTotTxEmissaoBoleto, double& MTotOutros, double& MTotCustoTotVd,
      double& MTotMargemBrtLcr, double& MTotMargemOpLcr, double& MTotPercLucroBrt,
      double& MTotPercLucroOpe, double MTotTroca);

  // The unit cost of grade VfCodGrade of product VfCodProd at branch
  // VfCodEmpresa under the cost policy of ParaRentabilidade.TipoCusto:
  // 1 (and 0, no row, any other value) current cost price, 2 cost price on
  // the sale day, 3 average cost on the sale day, 4 current average cost,
  // 5 managerial cost. Only the date part of VfDataVenda counts.
  double FPrecoCusto(const QString& VfCodEmpresa, const QString& VfCodProd,
                     const QString& VfCodGrade, TDateTime VfDataVenda);

  // True when PARAPDV.IncluiComissaoRentabilidade is exactly "S".
  bool FIncluiComissaoRentabilidade();

  // Sum over every item line of the order of (unit price - unit discount) x
  // quantity; VFQry stands on a row with the order's codempresa, codpedido
  // and tipopedido. 0 for an order without lines.
  double FCalculaTotalItensPed(const Query& VFQry);

  // TotalOrcamento of quote VfCodTroca of branch VfCodEmpresa; 0 when none.
  double SelecionaValorDaTroca(const QString& VfCodEmpresa, const QString& VfCodTroca);

  // Opens the CONDPAG row of VfCodPrazo in qryAuxiliar (left open; a missing
  // row reads as zeros) and says whether it is a financed sale (TIPOVENDA of
  // 2 or more).
  bool fbAbreDadosFinanc(const QString& VfCodPrazo);

  // Spreads VfTotalReceber over the installments of the condition opened
  // last by fbAbreDadosFinanc, due Prazo1..Prazo7 days after the date text
  // VfDataReceber (system date format). Writes MNumParelas and entries
  // 0..MNumParelas-1; the installments add up to VfTotalReceber exactly, the
  // last one taking every rounding difference. Throws ConversionError when
  // the date text does not parse.
  void ColocaDadosNasParcelas(double VfTotalReceber, std::vector<double>& VfVlrParcelas,
                              std::vector<TDateTime>& VfDtParcelas, int& MNumParelas,
                              const QString& VfDataReceber);

  // The first payment term of the quote header qryOrcCabe (an OrcCabe row)
  // as the installment arrays PCalculaValoresRentabilidade costs for a quote:
  // entry k (0..5) gets Vlrparc0<k+1> and its due date VencParc0<k+1>; an
  // installment whose due date is null, or a row without the VencParc
  // columns, falls due on the quote's DataOrcamento (it costs nothing).
  // Entry 6 and every date of an empty installment are 0. Resizes both
  // arrays to seven entries. Throws DatabaseError when a Vlrparc column is
  // missing, ConversionError for a column that does not convert.
  static void ParcelasDoOrcamento(const Query& qryOrcCabe, std::vector<double>& VfVlrParcelas,
                                  std::vector<TDateTime>& VfDtParcelas);

  // Empties entries 0..6 of both arrays (extending them to seven entries).
  void LimpaArray(std::vector<double>& VfVlrParcelas, std::vector<TDateTime>& VfDtParcelas);

  // The financial cost, in money, of one financing plan ("F") or one
  // agreement document ("C") of an order ("Ped") or a quote ("Orc"); sets
  // MVlrTxRentencao to the retention fee of every financing or agreement
  // branch; the quote branch adds into MPreValorPresente and returns it.
  // A payment of P received d days late at daily rate i costs
  // P - P / (1 + i)^d. A plan with no installments under scheme "3" has no
  // payment to cost and costs 0.
  double PreCalculoValorPresente(const QString& VfOpcao, std::vector<double> VfVlrParcelas,
                                 const QString& VfVendaTroca, const QString& VfOrcVendaTroca,
                                 const QString& VfPrazoUmOuDois, const QString& VfTipoIntegracao,
                                 const QString& VfCartConOuFinanceira, double VfVlrDoFinanc,
                                 double VfTxRentencao, double VfValorParc02, double VfTxJurosDia,
                                 double VfDiasCompensacao, double VfVlrParcFinanc,
                                 int VfNumParcelas, const QString& VfPossuiEntrada);

  // The engine's queries, owned; bound to the connection by AssociaConexoes.
  Query qryParaPDV;     // "SELECT *" / "FROM PARAPDV"
  Query qryAuxiliar;    // scratch of the look-ups; the CONDPAG row after fbAbreDadosFinanc
  Query qryTemp;        // the order's closing record (EnceFat) and plan/agreement rows
  Query ParaTlm;        // "select * from paratlm" / ""; opened by AssociaConexoes
  Query qryAux;         // the order's agreement documents or ParcPedC row
  Query qrySelecaoOrc;  // "Select * From OrcCabe" / "Where CodOrc = :CodOrc" / ...

  // The gadget this module serves; borrowed.
  TGadgetRentabilidade* ggtRent = nullptr;
  // Retention fee of the payment term priced last.
  double MVlrTxRentencao = 0;
  // Present-value cost accumulated by the payment-terms steps, in money.
  double MPreValorPresente = 0;

 private:
  // The working state of one call and its steps (calculo_p.h), and the
  // look-ups, one method per kind (consultas/consultas_p.h).
  friend class TCalculoRentabilidade;
  friend class TConsultasRentabilidade;

  std::unique_ptr<TConsultasRentabilidade> consultas_;
  TContribuicaoChamada* contribuicao_ = nullptr;
  // The CONDPAG row fbAbreDadosFinanc opened last in qryAuxiliar; empty once
  // another look-up has reused qryAuxiliar.
  std::unique_ptr<TCondPag> condPagAberta_;
};

}  // namespace margivo
