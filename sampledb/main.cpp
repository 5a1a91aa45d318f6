// margivo-sampledb: builds a sample ERP database file (embedded engine) from
// the schema and the deterministic demo data.
//
//   margivo-sampledb create <file.fdb> [--items N] [--seed S]
//                    [--today YYYY-MM-DD] [--branches N] [--tipo-custo N]
//                    [--tipo-comissao T] [--payments Cash,Card,...]
//                    [--bad-orders N] [--empty] [--force]
//   margivo-sampledb change <database> [--round K] [--lines N]
//                    [--today YYYY-MM-DD] [--user U] [--password P] [--wait S]
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>
#include <cstdio>
#include <exception>

#include "framework/db/database.h"
#include "sampledb/sampledb.h"

namespace {

using margivo::sampledb::DemoOptions;
using margivo::sampledb::PaymentKind;

QTextStream& err() {
  static QTextStream stream(stderr);
  return stream;
}

int fail(const QString& message) {
  err() << "margivo-sampledb: " << message << Qt::endl;
  return 1;
}

bool toInt(const QString& text, int minimum, int& value) {
  bool ok = false;
  value = text.toInt(&ok);
  return ok && value >= minimum;
}

int run(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Cria um banco de exemplo do ERP (Firebird, dialeto 1, arquivo local)."));
  parser.addHelpOption();
  parser.addPositionalArgument(QStringLiteral("create|change"),
                               QStringLiteral("Comando: create cria o banco; change altera "
                                              "alguns pedidos dele (uma rodada)"));
  parser.addPositionalArgument(
      QStringLiteral("arquivo"),
      QStringLiteral("Arquivo .fdb (change: também servidor:arquivo ou servidor/porta:arquivo)"));
  const QCommandLineOption items("items", "Itens de pedido aproximados (padrão 3000).", "N");
  const QCommandLineOption seed("seed", "Semente dos dados (padrão 1).", "S");
  const QCommandLineOption today("today", "Data de hoje dos dados (padrão: hoje).", "YYYY-MM-DD");
  const QCommandLineOption branches("branches", "Filiais ativas (padrão 3).", "N");
  const QCommandLineOption tipoCusto("tipo-custo", "ParaRentabilidade.TipoCusto (padrão 2).", "N");
  const QCommandLineOption tipoComissao("tipo-comissao",
                                        "ParaRentabilidade.TIPOCOMISSAO (padrão 1).", "T");
  const QCommandLineOption payments(
      "payments",
      "Formas de pagamento dos pedidos, separadas por vírgula: Cash, Receivables, Boleto, "
      "Financing, Card, PreDatedCheque, Installments (padrão: todas).",
      "LISTA");
  const QCommandLineOption badOrders(
      "bad-orders", "Pedidos com um item de quantidade 0 (divisão por zero; padrão 0).", "N");
  const QCommandLineOption empty("empty", "Só o esquema, sem dados.");
  const QCommandLineOption force("force", "Substitui um arquivo existente.");
  const QCommandLineOption round("round", "change: rodada de alterações (padrão 0).", "K");
  const QCommandLineOption lines("lines", "change: linhas de pedido alteradas (padrão 3).", "N");
  const QCommandLineOption user("user", "change: usuário (padrão SYSDBA).", "U");
  const QCommandLineOption password("password", "change: senha (padrão masterkey).", "P");
  const QCommandLineOption wait(
      "wait", "change: segundos de espera enquanto outro processo usa o arquivo (padrão 10).", "S");
  parser.addOptions({items, seed, today, branches, tipoCusto, tipoComissao, payments, badOrders,
                     empty, force, round, lines, user, password, wait});
  parser.process(arguments);

  const QStringList positional = parser.positionalArguments();
  if (positional.size() == 2 && positional[0] == QLatin1String("change")) {
    margivo::sampledb::ChangeOptions options;
    if (parser.isSet(round) && !toInt(parser.value(round), 0, options.round))
      return fail(QStringLiteral("--round inválido: %1").arg(parser.value(round)));
    if (parser.isSet(lines) && !toInt(parser.value(lines), 0, options.lines))
      return fail(QStringLiteral("--lines inválido: %1").arg(parser.value(lines)));
    if (parser.isSet(today)) {
      options.today = QDate::fromString(parser.value(today), Qt::ISODate);
      if (!options.today.isValid())
        return fail(QStringLiteral("--today inválido: %1").arg(parser.value(today)));
    }
    int espera = 10;
    if (parser.isSet(wait) && !toInt(parser.value(wait), 0, espera))
      return fail(QStringLiteral("--wait inválido: %1").arg(parser.value(wait)));
    // A local file that a refresh holds is free again once the refresh ends.
    margivo::Database database;
    QElapsedTimer relogio;
    relogio.start();
    for (;;) {
      try {
        database.attach(
            positional[1], parser.isSet(user) ? parser.value(user) : QStringLiteral("SYSDBA"),
            parser.isSet(password) ? parser.value(password) : QStringLiteral("masterkey"));
        break;
      } catch (const margivo::DatabaseError&) {
        if (relogio.hasExpired(qint64(espera) * 1000)) throw;
        QThread::msleep(20);
      }
    }
    const margivo::sampledb::ChangeSummary feito =
        margivo::sampledb::changeDemoData(database, options);
    database.detach();
    QTextStream(stdout) << "Alterado " << positional[1] << ": " << feito.linesChanged << " linhas, "
                        << feito.ordersAdded << " pedido novo, " << feito.ordersDeleted
                        << " pedido removido (rodada " << options.round << ")" << Qt::endl;
    return 0;
  }
  if (positional.size() != 2 || positional[0] != QLatin1String("create")) {
    return fail(
        QStringLiteral("uso: margivo-sampledb create|change <arquivo.fdb> [opções] (--help)"));
  }
  const QString path = QFileInfo(positional[1]).absoluteFilePath();

  DemoOptions options;
  if (parser.isSet(items) && !toInt(parser.value(items), 0, options.items)) {
    return fail(QStringLiteral("--items inválido: %1").arg(parser.value(items)));
  }
  if (parser.isSet(seed)) {
    bool ok = false;
    options.seed = parser.value(seed).toUInt(&ok);
    if (!ok) return fail(QStringLiteral("--seed inválido: %1").arg(parser.value(seed)));
  }
  if (parser.isSet(today)) {
    options.today = QDate::fromString(parser.value(today), Qt::ISODate);
    if (!options.today.isValid()) {
      return fail(QStringLiteral("--today inválido: %1").arg(parser.value(today)));
    }
  }
  if (parser.isSet(branches) && !toInt(parser.value(branches), 1, options.branches)) {
    return fail(QStringLiteral("--branches inválido: %1").arg(parser.value(branches)));
  }
  if (parser.isSet(tipoCusto) && !toInt(parser.value(tipoCusto), 0, options.tipoCusto)) {
    return fail(QStringLiteral("--tipo-custo inválido: %1").arg(parser.value(tipoCusto)));
  }
  if (parser.isSet(tipoComissao)) options.tipoComissao = parser.value(tipoComissao);
  if (parser.isSet(badOrders) && !toInt(parser.value(badOrders), 0, options.badOrders)) {
    return fail(QStringLiteral("--bad-orders inválido: %1").arg(parser.value(badOrders)));
  }
  if (parser.isSet(payments)) {
    options.payments.clear();
    for (const QString& name : parser.value(payments).split(',', Qt::SkipEmptyParts)) {
      bool known = false;
      for (PaymentKind kind : margivo::sampledb::allPaymentKinds()) {
        if (margivo::sampledb::paymentKindName(kind).compare(name.trimmed(), Qt::CaseInsensitive) ==
            0) {
          options.payments.push_back(kind);
          known = true;
        }
      }
      if (!known) return fail(QStringLiteral("--payments: forma desconhecida %1").arg(name));
    }
  }

  if (QFileInfo::exists(path)) {
    if (!parser.isSet(force)) {
      return fail(QStringLiteral("%1 já existe (use --force para substituir)").arg(path));
    }
    if (!QFile::remove(path)) return fail(QStringLiteral("não foi possível remover %1").arg(path));
  }

  margivo::Database database;
  margivo::sampledb::DemoSummary summary;
  try {
    margivo::sampledb::createDatabase(database, path);
    if (!parser.isSet(empty)) summary = margivo::sampledb::generateDemoData(database, options);
    database.detach();
  } catch (...) {
    // A half-built database would pass for a complete one later.
    database.detach();
    QFile::remove(path);
    throw;
  }
  QTextStream out(stdout);
  if (parser.isSet(empty)) {
    out << "Criado " << path << ": só o esquema, sem dados" << Qt::endl;
    return 0;
  }
  out << "Criado " << path << ": " << summary.branches << " filiais, " << summary.orders
      << " pedidos, " << summary.items << " itens (" << summary.products << " produtos, "
      << summary.movements << " movimentos de estoque, " << summary.quotes << " orçamentos; "
      << "hoje " << options.today.toString(Qt::ISODate) << ", semente " << options.seed << ")"
      << Qt::endl;
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("margivo-sampledb"));
  try {
    return run(QCoreApplication::arguments());
  } catch (const std::exception& e) {
    return fail(QString::fromUtf8(e.what()));
  }
}
