// Internal to the engine. The working state of one call of
// TdmRentabilidade::PCalculaValoresRentabilidade and the steps that share it.
//
// A call builds one TCalculoRentabilidade: the call's parameters (the
// figures by reference, the installment arrays as the call's own copies)
// and its locals, all starting at zero or empty. The steps that the ERP
// nests inside the calculation (the order's payment terms, its closing
// record, the receivables' base date, the commission) are its methods and
// read and write that state directly.
#pragma once

#include <QString>
#include <vector>

#include "engine/consultas/consultas_p.h"
#include "engine/dmrent.h"
#include "framework/datetime.h"

namespace margivo {

class Query;

class TCalculoRentabilidade {
 public:
  // --- The module the call runs on and its look-ups.
  TdmRentabilidade& dm;
  TConsultasRentabilidade& consultas;

  // --- Parameters.
  const QString& VfOrcamentoOuPedido;
  const QString& VfOpcaoDeCalculo;
  double VfCustoOp, VfCustoVd, VfCustoFn;
  std::vector<double> VfVlrParcelas;  // the call's own copies, seven entries
  std::vector<TDateTime> VfDtParcelas;
  const Query& qryItem;
  const Query& qryVendasCabec;
  double& MAquisicao;
  double& MValorDaVenda;
  double& MQtdeVendida;
  double& MOperacional;
  double& MCustoParcVd;
  double& MComissao;
  double& MImpostos;
  double& MDescontoPV;
  double& MTxEmissaoBoleto;
  double& MOutros;
  double& MCustoTotVd;
  double& MMargemBrtLcr;
  double& MMargemOpLcr;
  double& MPercLucroBrt;
  double& MPercLucroOpe;
  double& MTotCustoParcVd;
  double& MTotValorDaVenda;
  double& MTotComissao;
  double& MTotImpostos;
  double& MTotDescontoPV;
  double& MTotTxEmissaoBoleto;
  double& MTotOutros;
  double& MTotCustoTotVd;
  double& MTotMargemBrtLcr;
  double& MTotMargemOpLcr;
  double& MTotPercLucroBrt;
  double& MTotPercLucroOpe;
  double MTotTroca;

  // --- Locals of the call.
  double MCustoOpProd = 0;     // the product's own operating-cost percentage
  double MCustoAcumulado = 0;  // unit cost: acquisition + operating
  double MDescontoValor = 0;   // discount to prorate over the document's lines
  double MValorPresente = 0;   // financing ratio: cost / amount received
  int MNumParelas = 0;         // installments of the order's condition
  double MPVParcial = 0;       // cost of one payment step
  QString MCodPlano{}, MDescFormaPgto{};
  double MVlrMensalidade = 0;
  // Quote path only.
  int MIndice = 0;
  double MTotParcelas = 0, MTxEmiBoleto1 = 0, MTxEmiBoleto2 = 0, MValorOrcamento = 0;

  // The order's closing record as the last FBuscaValoresFinanciados read it
  // (what the calculation reads from qryTemp "on EnceFat").
  TEnceFat enceFatAtual{};
  bool enceFatLido = false;
  // The condition fbAbreDadosFinanc opened last lives in the module.

  // The step being run, named in the error that may end the call.
  QString etapa{};

  // How the order path set the percentages (steps 17 to 20): the line's own
  // when its sale value was positive, the total ones, over the divisor, when
  // the order's total plus freight was.
  bool percentuaisDoItem = false;
  bool percentuaisTotais = false;
  double divisorTotal = 0;

  // --- The order path and the quote path.
  void calculaPedido();
  void calculaOrcamento();
  // The rounding step that ends every call.
  void arredonda();
  // Steps both paths share: the unit operating cost and the unit cost
  // (MOperacional, MCustoAcumulado), and the present-value discount, other
  // costs, total cost and both margins with their running totals.
  void custoOperacionalPorUnidade();
  void custosEMargens();

  // --- Steps nested in the calculation.
  // Opens the order's closing record (EnceFat) and keeps it in enceFatAtual.
  void FBuscaValoresFinanciados();
  // Financial cost of all the ways the order is paid; leaves the order's
  // boleto fees in MTxEmissaoBoleto. Result: MPreValorPresente.
  double FTrataValorPrezenteTxEmiBoletoPed(const QString& VfCodPrazo,
                                           const QString& VfPrazoUmOuDois);
  // The date text from which the order's own receivables fall due.
  QString FDataReceber();
  // The line's commission in money.
  double FCalculaComissoesPDV();
  // Financial cost of one payment term of the quote ("1": CodPrazo and the
  // installments of the call's arrays, "2": CodPrazo2 and Vlrparc01_2); sets
  // MTxEmissaoBoleto to that term's boleto fee when it has one. Result:
  // MPreValorPresente.
  double FTrataValorPrezenteTxEmiBoletoOrc(const QString& VfCodPrazo,
                                           const QString& VfPrazoUmOuDois);
  // TotalOrcamento of the quote's trade-in quote (ORCVENDATROCA); 0 without
  // a trade-in or when that quote is not found.
  double valorDaTrocaOrcamento();

  // The configured company code, or the order's own when none is configured
  // (every branch is then calculated, each under its own code).
  QString empresaConfigurada() const;

  // Header and item columns of the current rows.
  double cabecFloat(const char* coluna) const;
  QString cabecTexto(const char* coluna) const;
  TDateTime cabecData(const char* coluna) const;
  double itemFloat(const char* coluna) const;
  QString itemTexto(const char* coluna) const;

  // "pedido CODEMPRESA=01 TIPOPEDIDO=V CODPEDIDO=123, produto CODPROD=456":
  // the document and line the call is about, for error messages.
  QString contexto() const;
};

}  // namespace margivo
