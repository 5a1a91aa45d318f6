// Changes an ERP user makes to the orders between two refreshes of the
// gadget, written to a sample database.
#include <QStringList>
#include <stdexcept>

#include "framework/db/database.h"
#include "framework/db/query.h"
#include "sampledb/sampledb.h"

namespace margivo::sampledb {

namespace {

struct OrderKey {
  QString branch, kind, number;
  QString condition(const QString& table) const {
    return QStringLiteral(" %1.CODEMPRESA = '%2' AND %1.TIPOPEDIDO = '%3' AND %1.CODPEDIDO = '%4'")
        .arg(table, branch, kind, number);
  }
};

// The invoiced orders of the year of `today` at branch 01, by number:
// `quantos` of them from the n-th on.
std::vector<OrderKey> invoicedOrders(Database& database, const QDate& today, int n, int count) {
  Query q(&database);
  q.sql() << QStringLiteral(
                 "SELECT FIRST %1 SKIP %2 CODEMPRESA, TIPOPEDIDO, CODPEDIDO FROM PEDIDOC WHERE"
                 " CODEMPRESA = '01' AND FATURADO = 'S' AND DATAPEDIDO BETWEEN :D1 AND :D2"
                 " ORDER BY CODPEDIDO")
                 .arg(count)
                 .arg(n);
  q.setDate(QStringLiteral("D1"), toTDateTime(QDate(today.year(), 1, 1)));
  q.setDate(QStringLiteral("D2"), toTDateTime(today));
  q.open();
  std::vector<OrderKey> keys;
  for (; !q.eof(); q.next()) {
    keys.push_back({q.fieldByName("CODEMPRESA").asString(), q.fieldByName("TIPOPEDIDO").asString(),
                    q.fieldByName("CODPEDIDO").asString()});
  }
  return keys;
}

}  // namespace

ChangeSummary changeDemoData(Database& database, const ChangeOptions& options) {
  if (options.lines < 0 || options.round < 0 || !options.today.isValid())
    throw std::invalid_argument(
        "alterações: rodada e linhas não podem ser negativas, e hoje deve ser uma data");
  ChangeSummary summary;
  // Each round touches orders of its own, spread over the year by its number.
  Query total(&database);
  total.sql() << QStringLiteral(
      "SELECT COUNT(*) AS N FROM PEDIDOC WHERE CODEMPRESA = '01' AND FATURADO = 'S' AND"
      " DATAPEDIDO BETWEEN :D1 AND :D2");
  total.setDate(QStringLiteral("D1"), toTDateTime(QDate(options.today.year(), 1, 1)));
  total.setDate(QStringLiteral("D2"), toTDateTime(options.today));
  total.open();
  const qint64 orders = total.fieldByName("N").asInteger();
  if (orders == 0) return summary;
  const auto nth = [&](int k) {
    return static_cast<int>((qint64(options.round) * 97 + qint64(k) * 31) % orders);
  };

  for (int k = 0; k < options.lines; ++k) {
    for (const OrderKey& c : invoicedOrders(database, options.today, nth(k), 1)) {
      database.executeImmediate(
          QStringLiteral("UPDATE PEDIDOI SET QUANTIDADE = QUANTIDADE + 1 WHERE") +
          c.condition(QStringLiteral("PEDIDOI")) +
          QStringLiteral(" AND ITEM = (SELECT MIN(I.ITEM) FROM PEDIDOI I WHERE") +
          c.condition(QStringLiteral("I")) + u')');
      ++summary.linesChanged;
    }
  }

  // A new order: a copy of another under a number of its own, with its lines
  // and its closing record.
  for (const OrderKey& c : invoicedOrders(database, options.today, nth(options.lines + 1), 1)) {
    const QString number = QStringLiteral("N%1").arg(options.round);
    database.executeImmediate(
        QStringLiteral("INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO,"
                       " DATAENTREGA, CODCLIENTE, CODVENDEDOR, CODPRAZO, COMISSAO, TOTALPEDIDO,"
                       " FRETE, VLRACRESCIMO, FATURADO) SELECT CODEMPRESA, TIPOPEDIDO, '%1',"
                       " DATAPEDIDO, DATAENTREGA, CODCLIENTE, CODVENDEDOR, CODPRAZO, COMISSAO,"
                       " TOTALPEDIDO, FRETE, VLRACRESCIMO, FATURADO FROM PEDIDOC WHERE")
            .arg(number) +
        c.condition(QStringLiteral("PEDIDOC")));
    database.executeImmediate(
        QStringLiteral("INSERT INTO PEDIDOI (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, ITEM, CODPROD,"
                       " CODGRADE, QUANTIDADE, PRECOUNIT, DESCONTOVLR) SELECT CODEMPRESA,"
                       " TIPOPEDIDO, '%1', ITEM, CODPROD, CODGRADE, QUANTIDADE, PRECOUNIT,"
                       " DESCONTOVLR FROM PEDIDOI WHERE")
            .arg(number) +
        c.condition(QStringLiteral("PEDIDOI")));
    database.executeImmediate(
        QStringLiteral("INSERT INTO ENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAFECHAMENTO,"
                       " VLRRECEBER, VLRCONVENIO, VLRFINANC, VLRCHPREDATADO, VLRCHEQUE,"
                       " VLRDINHEIRO, VLRDESCONTO, VLRTROCO) SELECT CODEMPRESA, TIPOPEDIDO, '%1',"
                       " DATAFECHAMENTO, 0, 0, 0, 0, 0, VLRRECEBER + VLRCONVENIO + VLRFINANC +"
                       " VLRCHPREDATADO + VLRCHEQUE + VLRDINHEIRO, VLRDESCONTO, VLRTROCO FROM"
                       " ENCEFAT WHERE")
            .arg(number) +
        c.condition(QStringLiteral("ENCEFAT")));
    ++summary.ordersAdded;
  }

  // An order gone, with every record of it.
  for (const OrderKey& c : invoicedOrders(database, options.today, nth(options.lines + 2), 1)) {
    const QString document = c.kind + c.number;
    for (const char* table : {"PEDIDOI", "ENCEFAT", "PARCPEDC", "CONVENCEFAT"}) {
      database.executeImmediate(QStringLiteral("DELETE FROM %1 WHERE").arg(QLatin1String(table)) +
                                c.condition(QLatin1String(table)));
    }
    database.executeImmediate(
        QStringLiteral("DELETE FROM PRETERC WHERE CODEMPRESA = '%1' AND NUMDOCORIG = '%2'")
            .arg(c.branch, document));
    database.executeImmediate(
        QStringLiteral("DELETE FROM DOCUREC WHERE CODEMPRESA = '%1' AND NUMDOCORIG = '%2'")
            .arg(c.branch, document));
    database.executeImmediate(
        QStringLiteral("DELETE FROM FINANCIAMENTO WHERE CODEMPRESA = '%1' AND CODVENDA = '%2'")
            .arg(c.branch, c.number));
    database.executeImmediate(QStringLiteral("DELETE FROM PEDIDOC WHERE") +
                              c.condition(QStringLiteral("PEDIDOC")));
    ++summary.ordersDeleted;
  }
  return summary;
}

}  // namespace margivo::sampledb
