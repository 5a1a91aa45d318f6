// Internal to the engine's data access. The rows the look-ups read, as plain
// records, and the readers that fill a record from the current row of a
// query.
//
// The look-ups' own statements and the period's set-based statements name
// their columns alike, so one reader serves both. A column read from a query
// without a current row reads as 0, empty text or the zero date.
// Errors: the readers throw DatabaseError when the row has no such column
// and ConversionError when its text does not convert.
#pragma once

#include <QString>
#include <array>
#include <vector>

#include "framework/datetime.h"

namespace margivo {

class Query;

// A payment condition (CONDPAG row).
struct TCondPag {
  int TipoVenda = 0;
  std::array<int, 7> Prazo{};       // Prazo1..Prazo7, days from the base date
  std::array<double, 7> Percent{};  // Percent1..Percent7, share in percent; 0 = equal
  double TxEmissaoBoleto = 0;       // fee for issuing one boleto
  int TipoIntegracao = 0;           // settlement scheme: 3 per installment, 4 single
  QString TipoIntegracaoTexto;      // the same column read as text ("" without a row)
  QString UtilizaConvenio;          // "S": paid through a card/agreement operator
};

// The order's closing record (EnceFat): how the order was paid.
struct TEnceFat {
  double VlrReceber = 0, VlrConvenio = 0, VlrFinanc = 0, VlrChPreDatado = 0, VlrCheque = 0,
         VlrDinheiro = 0, VlrDesconto = 0;
  double Total = 0;       // the amount received (a computed column)
  bool TotalNulo = true;  // no record, or a null term in the sum
};

struct TChequePreDatado {
  double VlrCheque = 0;
  TDateTime Dt_Entrada = 0;
};

struct TFinanciamento {
  QString CodPlano, DescFormaPgto, CodFinanceira;
  double ValorMensalidade = 0;
};

struct TPlanoFinanc {
  double DiasCompensacao = 0;
  double TaxaRetencao = 0;
  int NumParc = 0;
  QString CodPrazo;
  QString Entrada;
};

// One pair (agreement record of the order, receivable document of the order).
struct TDocumentoConvenio {
  QString Convenio;
  TDateTime Dt_Emissao = 0;
  TDateTime Dt_Vencimento = 0;
  double ValorDocto = 0;
};

struct TCartCon {
  double DiasCompensacao = 0;
  double PercDesc = 0;
  QString CodPrazo;
  double TaxaMensalAntecip = 0;
};

struct TParcelaPedido {
  double VlrParc = 0;
  TDateTime VencParc = 0;
};

// Last movement of a product grade at a branch on or before a day: its day
// and the highest sequence number of that day.
struct TMovimento {
  TDateTime Dt_Movimento = 0;
  qint64 Sequencia = 0;
};

// The quote's financing record, as the quote reads it (no installment amount).
struct TFinanciamentoOrc {
  QString CodPlano, DescFormaPgto, CodFinanceira;
};

// The agreement operator of a quote's payment term, as the quote reads it.
struct TCartConOrc {
  double DiasCompensacao = 0, PercDesc = 0;
};

// A financing plan as the quote reads it.
struct TPlanoOrc {
  double DiasCompensacao = 0, TaxaRetencao = 0;
  QString Entrada;
};

// One column of the current row.
double floatDe(const Query& q, const char* coluna);
QString textoDe(const Query& q, const char* coluna);
int inteiroDe(const Query& q, const char* coluna);
TDateTime dataDe(const Query& q, const char* coluna);

// The records of the current row.
TCondPag leCondPag(const Query& q);
TEnceFat leEnceFat(const Query& q);
TChequePreDatado leCheque(const Query& q);
TFinanciamento leFinanciamento(const Query& q);
TPlanoFinanc lePlanoFinanc(const Query& q);
TDocumentoConvenio leDocumento(const Query& q);
TCartCon leCartCon(const Query& q);
// The installments of the current ParcPedC row up to (not including) the
// first whose amount is not positive; a table with fewer than 24
// installment columns simply has no more installments.
std::vector<TParcelaPedido> leParcelas(const Query& q);

}  // namespace margivo
