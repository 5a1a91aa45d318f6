// The sample ERP database kit: a stand-in for the ERP's own Firebird database
// (which is not ours), holding every table and column the program reads.
//
// Errors: DatabaseError from the database layer; std::invalid_argument for
// options that make no sense (see DemoOptions).
#pragma once

#include <QDate>
#include <QString>
#include <cstdint>
#include <vector>

namespace margivo {

class Database;

namespace sampledb {

// The schema script (dialect 1), statements separated by ';'.
QString schemaScript();

// Creates a dialect 1 database file at `path` holding the schema, and leaves
// `database` attached to it. The file must not exist.
void createDatabase(Database& database, const QString& path, const QString& user = "SYSDBA",
                    const QString& password = "masterkey");

// The ways an order of the demo is paid, each exercising one step of the
// payment-terms cost.
enum class PaymentKind {
  // Cash (with change) or a cheque on the spot; condition "001".
  Cash,
  // The store's own receivables in installments, no boleto fee (CONDPAG
  // TIPOVENDA 1, TIPOINTEGRACAO other than 3); sometimes with a cash entry.
  Receivables,
  // Own receivables paid by boleto: TIPOVENDA 1 and TIPOINTEGRACAO 3 with a
  // TXEMISSAOBOLETO fee per installment.
  Boleto,
  // A financing company's plan (Financiamento, Financeira, PlanosFinanc):
  // schemes 3 and 4, plans with and without down payment, "Carnet" and other
  // payment forms.
  Financing,
  // Card/agreement operators: ConvEnceFat rows and their DocuRec documents,
  // sometimes two operators on one order.
  Card,
  // Pre-dated cheques (PreTerc), sometimes with a cash entry.
  PreDatedCheque,
  // No payment condition (CODPRAZO null): the installments stand in
  // ParcPedC.
  Installments,
};
inline constexpr int kPaymentKindCount = 7;
// All kinds, in declaration order.
std::vector<PaymentKind> allPaymentKinds();
// "Cash", "Receivables", ... as the command line and the test output name them.
QString paymentKindName(PaymentKind kind);

struct DemoOptions {
  std::uint32_t seed = 1;
  // Roughly the number of order items over the year; the demo has a few
  // thousand, the benchmark size about 250 000. Besides the random orders,
  // branch "01" always gets one invoiced order of every payment kind in
  // `payments` dated `today`, one dated the 1st of January, and a few quotes,
  // so a small number (even 0) still gives a complete tiny fixture.
  int items = 3000;
  // Orders are dated over the calendar year of `today`, up to `today`; about
  // 1 % fall in December of the year before (outside the year's period).
  QDate today = QDate::currentDate();
  // Active branches "01", "02", ... (at least 1); one more branch, the next
  // code, is closed (FILIALATIVA "N") and has only orders of the year before.
  int branches = 3;
  // ParaRentabilidade.TipoCusto (cost policy, 0..5 or any other number) and
  // TIPOCOMISSAO ("1", "2", "3" or any other text).
  int tipoCusto = 2;
  QString tipoComissao = "1";
  // PARAPDV.IncluiComissaoRentabilidade and the monthly rate TxJurosCh.
  QString incluiComissaoRentabilidade = "S";
  double txJurosCh = 0.03;
  // PARATLM: own receivables fall due from the delivery date ("S") and/or
  // from the day of the calculation ("S"; makes figures depend on "today").
  QString gerarRecDataEntrega = "S";
  QString gerarRecDataFatura = "N";
  // How the random orders are paid, chosen with fixed weights among these;
  // an empty list means all kinds.
  std::vector<PaymentKind> payments = allPaymentKinds();
  // Orders of branch "01" dated `today`, invoiced, holding one item of
  // quantity 0: the profitability of such an order divides by zero. 0 keeps
  // every item total and quantity positive.
  int badOrders = 0;
};

// What generateDemoData wrote.
struct DemoSummary {
  int branches = 0;  // every FILIAIS row, the closed one included
  int products = 0;
  int orders = 0;
  int items = 0;  // PEDIDOI rows
  int quotes = 0;
  int movements = 0;  // MvGeral rows
};

// Fills a database created by createDatabase with deterministic demo data:
// the same options always give the same rows. REQUIRES: the tables are
// empty. Throws std::invalid_argument for items < 0, branches < 1 or an
// invalid `today`.
DemoSummary generateDemoData(Database& database, const DemoOptions& options);

// Changes an ERP user makes between two refreshes, for the benchmark: a few
// order lines edited, an order added, an order deleted with every record of
// it. Each round touches other orders of branch 01's invoiced orders of the
// year of `today`; the same round on the same data always makes the same
// changes.
struct ChangeOptions {
  int round = 0;
  int lines = 3;  // order lines whose quantity grows by 1
  QDate today = QDate::currentDate();
};
struct ChangeSummary {
  int linesChanged = 0;
  int ordersAdded = 0;
  int ordersDeleted = 0;
};
// Writes one round of changes, each statement committed. Throws
// std::invalid_argument for a negative round or line count or an invalid
// `today`, DatabaseError when a statement fails.
ChangeSummary changeDemoData(Database& database, const ChangeOptions& options);

}  // namespace sampledb
}  // namespace margivo
