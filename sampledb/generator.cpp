// Deterministic demo data for the sample ERP database.
//
// Every random choice comes from one generator seeded with DemoOptions::seed
// and is drawn in a fixed order, so the same options give the same rows on
// every platform: std::mt19937's output is fixed by the C++ standard, while
// the standard library's distributions differ between implementations, so
// the distributions here are our own.
//
// Invariants the profitability refresh relies on (unless badOrders asks
// otherwise): every item has a quantity > 0 and a unit price above its unit
// discount, so every order's item total is > 0; closing discounts stay below
// the order total; a quote's percentage discount stays below 100 and its
// freight quantities add up to more than 0 when it has freight.
#include <QDateTime>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <stdexcept>

#include "framework/datetime.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "sampledb/sampledb.h"

namespace margivo::sampledb {

std::vector<PaymentKind> allPaymentKinds() {
  return {PaymentKind::Cash,        PaymentKind::Receivables, PaymentKind::Boleto,
          PaymentKind::Financing,   PaymentKind::Card,        PaymentKind::PreDatedCheque,
          PaymentKind::Installments};
}

QString paymentKindName(PaymentKind kind) {
  switch (kind) {
    case PaymentKind::Cash:
      return QStringLiteral("Cash");
    case PaymentKind::Receivables:
      return QStringLiteral("Receivables");
    case PaymentKind::Boleto:
      return QStringLiteral("Boleto");
    case PaymentKind::Financing:
      return QStringLiteral("Financing");
    case PaymentKind::Card:
      return QStringLiteral("Card");
    case PaymentKind::PreDatedCheque:
      return QStringLiteral("PreDatedCheque");
    case PaymentKind::Installments:
      return QStringLiteral("Installments");
  }
  return QString();
}

namespace {

// ---------------------------------------------------------------------------
// Random numbers

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}

  // Uniform in [0, 1), from 53 random bits.
  double uniform() {
    const auto high = static_cast<std::uint32_t>(engine_()) >> 5;  // 27 bits
    const auto low = static_cast<std::uint32_t>(engine_()) >> 6;   // 26 bits
    return (high * 67108864.0 + low) / 9007199254740992.0;
  }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  // Uniform integer in [lo, hi].
  int between(int lo, int hi) {
    return lo + static_cast<int>(std::floor(uniform() * (hi - lo + 1)));
  }
  bool chance(double probability) { return uniform() < probability; }
  template <typename Container>
  const auto& pick(const Container& values) {
    return values[between(0, static_cast<int>(values.size()) - 1)];
  }
  // An index into `weights`, each drawn in proportion to its weight.
  int weighted(const std::vector<int>& weights) {
    int total = 0;
    for (int w : weights) total += w;
    int draw = between(0, total - 1);
    for (std::size_t i = 0; i < weights.size(); ++i) {
      if (draw < weights[i]) return static_cast<int>(i);
      draw -= weights[i];
    }
    return static_cast<int>(weights.size()) - 1;
  }

 private:
  std::mt19937 engine_;
};

double round2(double value) { return std::round(value * 100.0) / 100.0; }
double round3(double value) { return std::round(value * 1000.0) / 1000.0; }
double round4(double value) { return std::round(value * 10000.0) / 10000.0; }

QString zeroPadded(int number, int width) {
  return QStringLiteral("%1").arg(number, width, 10, QLatin1Char('0'));
}

// `total` in `count` parts of whole cents; the last part takes the
// difference, as the ERP splits installments.
std::vector<double> split(double total, int count) {
  std::vector<double> parts(static_cast<std::size_t>(count), round2(total / count));
  double sum = 0;
  for (int i = 0; i + 1 < count; ++i) sum += parts[static_cast<std::size_t>(i)];
  parts.back() = round2(total - sum);
  return parts;
}

// ---------------------------------------------------------------------------
// Writing

// Rows go through prepared INSERT statements in ReadWrite transactions
// committed every kBatchRows rows: a commit per row would cost a disk flush
// each, one transaction for everything a huge undo log.
class Writer {
 public:
  static constexpr int kBatchRows = 4000;

  explicit Writer(Database& database) : database_(database) { begin(); }

  Database& database() const { return database_; }
  // Keeps `query` in the current transaction until detach().
  void attach(Query* query) {
    queries_.push_back(query);
    query->setTransaction(transaction_.get());
  }
  void detach(Query* query) noexcept {
    queries_.erase(std::remove(queries_.begin(), queries_.end(), query), queries_.end());
    query->setTransaction(nullptr);
  }
  void rowWritten() {
    if (++pending_ >= kBatchRows) {
      transaction_->commit();
      begin();
    }
  }
  void finish() { transaction_->commit(); }

 private:
  void begin() {
    transaction_ = std::make_unique<Transaction>(database_, TransactionKind::ReadWrite);
    for (Query* query : queries_) query->setTransaction(transaction_.get());
    pending_ = 0;
  }

  Database& database_;
  std::unique_ptr<Transaction> transaction_;
  std::vector<Query*> queries_;
  int pending_ = 0;
};

// One table's INSERT statement. Columns not set for a row are written as
// null, so a row never inherits a value from the row before.
class Insert {
 public:
  Insert(Writer& writer, const QString& table, const QStringList& columns)
      : writer_(writer),
        table_(table),
        columns_(columns),
        set_(static_cast<std::size_t>(columns.size()), false),
        query_(&writer.database()) {
    query_.sql() << QStringLiteral("INSERT INTO %1 (%2) VALUES (:%3)")
                        .arg(table, columns.join(QStringLiteral(", ")),
                             columns.join(QStringLiteral(", :")));
    writer.attach(&query_);
  }
  ~Insert() { writer_.detach(&query_); }
  Insert(const Insert&) = delete;
  Insert& operator=(const Insert&) = delete;

  // A null QString writes null; an empty one writes the empty text.
  Insert& text(const QString& column, const QString& value) {
    mark(column);
    if (value.isNull()) {
      query_.setNull(column);
    } else {
      query_.setString(column, value);
    }
    return *this;
  }
  Insert& number(const QString& column, double value) {
    mark(column);
    query_.setFloat(column, value);
    return *this;
  }
  Insert& integer(const QString& column, qint64 value) {
    mark(column);
    query_.setInteger(column, value);
    return *this;
  }
  // A day at midnight; an invalid date writes null.
  Insert& date(const QString& column, const QDate& value) {
    mark(column);
    if (value.isValid()) {
      query_.setDate(column, toTDateTime(value));
    } else {
      query_.setNull(column);
    }
    return *this;
  }
  Insert& dateTime(const QString& column, const QDateTime& value) {
    mark(column);
    query_.setDate(column, toTDateTime(value));
    return *this;
  }
  void write() {
    for (std::size_t i = 0; i < set_.size(); ++i) {
      if (!set_[i]) query_.setNull(columns_[static_cast<qsizetype>(i)]);
      set_[i] = false;
    }
    query_.execSQL();
    ++rows_;
    writer_.rowWritten();
  }
  int rows() const { return rows_; }

 private:
  void mark(const QString& column) {
    const qsizetype index = columns_.indexOf(column);
    if (index < 0) {
      throw std::logic_error(
          QStringLiteral("%1 has no column %2").arg(table_, column).toStdString());
    }
    set_[static_cast<std::size_t>(index)] = true;
  }

  Writer& writer_;
  QString table_;
  QStringList columns_;
  std::vector<bool> set_;
  Query query_;
  int rows_ = 0;
};

QStringList numberedColumns(const QString& prefix, int count, const QString& suffix = QString()) {
  QStringList names;
  for (int i = 1; i <= count; ++i) names << prefix + zeroPadded(i, 2) + suffix;
  return names;
}

// ---------------------------------------------------------------------------
// Reference data: the ERP's parameters and registers

struct CondPag {
  const char* code;
  const char* description;
  int tipoVenda;
  std::array<int, 7> prazo;
  std::array<double, 7> percent;
  double txEmissaoBoleto;
  int tipoIntegracao;
  const char* utilizaConvenio;
};

// TIPOVENDA 0 cash, 1 own receivables, 2 or more financed; TIPOINTEGRACAO 3
// one payment per installment, 4 one single payment.
const std::vector<CondPag> kCondicoes = {
    {"001", "A VISTA", 0, {}, {}, 0, 0, "N"},
    {"002", "CHEQUE PRE-DATADO", 0, {}, {}, 0, 0, "N"},
    {"030", "30 DIAS", 1, {30}, {}, 0, 1, "N"},
    {"037", "30/60 DIAS 40/60", 1, {30, 60}, {40, 60}, 0, 1, "N"},
    // A zero term between two others: the ERP counts it as an installment
    // due on the base date.
    {"039", "30/60/90 INTERCALADO", 1, {30, 60, 0, 90}, {}, 0, 2, "N"},
    {"060", "CARNE 7 PARCELAS", 1, {30, 60, 90, 120, 150, 180, 210}, {}, 0, 2, "N"},
    {"B30", "BOLETO 30 DIAS", 1, {30}, {}, 2.50, 3, "N"},
    {"B36", "BOLETO 30/60/90", 1, {30, 60, 90}, {}, 2.90, 3, "N"},
    {"B06", "BOLETO ENTRADA/30/60", 1, {0, 30, 60}, {33.3333, 33.3333, 33.3334}, 2.50, 3, "N"},
    {"F03", "FINANCEIRA CREDIAR", 2, {}, {}, 3.00, 3, "N"},
    {"F04", "FINANCEIRA SUL", 3, {}, {}, 1.80, 4, "N"},
    {"C03", "CARTAO DE CREDITO", 0, {}, {}, 0, 3, "S"},
    {"C04", "CARTAO DEBITO/CONVENIO", 0, {}, {}, 0, 4, "S"},
};

const CondPag& condicao(const QString& code) {
  for (const CondPag& c : kCondicoes) {
    if (code == QLatin1String(c.code)) return c;
  }
  throw std::logic_error("unknown payment condition " + code.toStdString());
}

// Installments of a condition as the ERP counts them: up to the last
// non-zero term (at least one).
int installmentCount(const CondPag& c) {
  for (int k = 7; k >= 2; --k) {
    if (c.prazo[static_cast<std::size_t>(k - 1)] != 0) return k;
  }
  return 1;
}

const std::vector<QString> kReceivableConditions = {"030", "037", "039", "060"};
const std::vector<QString> kBoletoConditions = {"B30", "B36", "B06"};

struct Financeira {
  const char* code;
  const char* name;
  int diasCompensacao;
  const char* codPrazo;
};
const std::vector<Financeira> kFinanceiras = {
    {"FIN1", "CREDIAR FINANCIAMENTOS", 30, "F03"},
    {"FIN2", "FINANCEIRA SUL", 2, "F04"},
};

struct Plano {
  const char* financeira;
  const char* plano;
  const char* descFormaPgto;
  double taxaRetencao;
  int numParc;
  const char* entrada;
};
// The order's Financing variant is the index of its plan.
const std::vector<Plano> kPlanos = {
    {"FIN1", "10X", "Carnet", 4.5, 10, "N"}, {"FIN1", "1+9", "Carnet", 4.5, 10, "S"},
    {"FIN1", "06X", "Boleto", 3.0, 6, "N"},  {"FIN1", "1+0", "Carnet", 2.0, 1, "S"},
    {"FIN2", "12X", "Carnet", 5.0, 12, "N"}, {"FIN2", "1+11", "Debito Conta", 5.5, 12, "S"},
    {"FIN2", "24X", "Carnet", 6.5, 24, "N"},
};

const Financeira& financeira(const char* code) {
  for (const Financeira& f : kFinanceiras) {
    if (qstrcmp(f.code, code) == 0) return f;
  }
  throw std::logic_error(std::string("unknown financing company ") + code);
}

struct CartCon {
  const char* code;
  const char* name;
  int diasCompensacao;
  double percDesc;
  const char* codPrazo;
  double taxaMensalAntecip;
};
const std::vector<CartCon> kCartoes = {
    {"VISA", "VISA CREDITO", 30, 3.2, "C03", 0.0189},
    {"MASTER", "MASTERCARD CREDITO", 30, 2.9, "C03", 0.0175},
    {"ELO", "ELO CREDITO", 30, 3.5, "C03", 0.0199},
    {"DEBITO", "CARTAO DE DEBITO", 1, 1.6, "C04", 0.0},
    {"SAUDE", "CONVENIO SUL SAUDE", 30, 0.0, "C04", 0.01},
};

const CartCon& cartao(const QString& code) {
  for (const CartCon& c : kCartoes) {
    if (code == QLatin1String(c.code)) return c;
  }
  throw std::logic_error("unknown card operator " + code.toStdString());
}

// Variants of each payment kind; coverage orders take each once.
int variantCount(PaymentKind kind) {
  switch (kind) {
    case PaymentKind::Cash:
      return 2;  // money with change; cheque on the spot
    case PaymentKind::Receivables:
      return 4;  // kReceivableConditions
    case PaymentKind::Boleto:
      return 3;  // kBoletoConditions
    case PaymentKind::Financing:
      return 7;  // kPlanos
    case PaymentKind::Card:
      return 5;  // credit; debit; same day; two operators; agreement
    case PaymentKind::PreDatedCheque:
      return 2;  // cheques only; cheque and cash entry
    case PaymentKind::Installments:
      return 3;  // a few; 24; a zero installment in between
  }
  return 1;
}

int kindWeight(PaymentKind kind) {
  switch (kind) {
    case PaymentKind::Cash:
      return 30;
    case PaymentKind::Receivables:
      return 14;
    case PaymentKind::Boleto:
      return 12;
    case PaymentKind::Financing:
      return 10;
    case PaymentKind::Card:
      return 22;
    case PaymentKind::PreDatedCheque:
      return 6;
    case PaymentKind::Installments:
      return 6;
  }
  return 1;
}

struct Categoria {
  const char* name;
  const char* unit;
  double priceMin;
  double priceMax;
  int grades;  // 0 one grade "U", 1 clothing sizes, 2 shoe sizes
  bool fractional;
};
const std::vector<Categoria> kCategorias = {
    {"CAMISA POLO MALHA", "UN", 49.9, 129.9, 1, false},
    {"CALCA JEANS", "UN", 89.9, 229.9, 1, false},
    {"BERMUDA SARJA", "UN", 39.9, 99.9, 1, false},
    {"JAQUETA NYLON", "UN", 99.9, 299.9, 1, false},
    {"TENIS CORRIDA", "PR", 149.9, 499.9, 2, false},
    {"SAPATO SOCIAL", "PR", 119.9, 349.9, 2, false},
    {"TINTA ACRILICA 18L", "UN", 189.9, 389.9, 0, false},
    {"PARAFUSO SEXTAVADO", "CX", 12.5, 48.9, 0, false},
    {"LAMPADA LED 9W", "UN", 7.9, 19.9, 0, false},
    {"FURADEIRA IMPACTO", "UN", 179.9, 599.9, 0, false},
    {"ARROZ TIPO 1 5KG", "UN", 19.9, 32.9, 0, false},
    {"FIO ELETRICO 2,5MM", "MT", 2.19, 4.99, 0, true},
    {"MANGUEIRA JARDIM", "MT", 3.49, 8.99, 0, true},
    {"CAFE TORRADO", "KG", 24.9, 59.9, 0, true},
    {"QUEIJO MUSSARELA", "KG", 29.9, 54.9, 0, true},
};
const std::vector<QString> kClothingSizes = {"PP", "P", "M", "G", "GG", "XG"};
const std::vector<QString> kShoeSizes = {"37", "38", "39", "40", "41", "42", "43"};

const std::vector<QString> kBranchNames = {
    "Matriz Blumenau", QString::fromUtf8("Filial Jaraguá do Sul"),
    "Filial Pomerode", "Filial Brusque",
    "Filial Gaspar",   "Filial Indaial",
    "Filial Itajaí",   "Filial Joinville",
};

struct Seller {
  const char* code;
  const char* name;
};
const std::vector<Seller> kSellers = {
    {"001", "ANA PAULA"}, {"002", "BRUNO"},    {"003", "CARLOS"},  {"004", "DEBORA"},
    {"005", "EDUARDO"},   {"006", "FERNANDA"}, {"007", "GUSTAVO"}, {"008", "HELENA"},
};

struct Product {
  QString code;
  QString description;
  QString unit;
  double price = 0;
  bool fractional = false;
  std::vector<QString> grades;
};

// ---------------------------------------------------------------------------
// Orders

enum class Status { Invoiced, Recorded, Cancelled, Unset };

struct PlannedOrder {
  QDate date;
  int branch = 0;
  PaymentKind kind = PaymentKind::Cash;
  int variant = 0;
  int items = 1;
  Status status = Status::Invoiced;
  bool delivery = false;   // TIPOPEDIDO "E", delivered later, usually with freight
  bool coverage = false;   // one of the fixed orders of branch "01"
  bool special = false;    // sells the product whose code holds a quote
  bool duplicate = false;  // its second line repeats the first's product and grade
  bool bad = false;        // holds an item of quantity 0
  int index = 0;           // planning order, keeps the sort stable
};

struct Line {
  int product = 0;
  QString grade;
  double quantity = 0;
  double price = 0;
  double discount = 0;
};

// Amounts of an order's closing record.
struct Closing {
  double receber = 0;
  double convenio = 0;
  double financ = 0;
  double chPreDatado = 0;
  double cheque = 0;
  double dinheiro = 0;
  double troco = 0;
};

class Generator {
 public:
  Generator(Database& database, const DemoOptions& options)
      : options_(options),
        random_(options.seed),
        year_(options.today.year()),
        writer_(database),
        pedidoc_(writer_, "PEDIDOC",
                 {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO", "DATAPEDIDO", "DATAENTREGA",
                  "CODCLIENTE", "CODVENDEDOR", "CODPRAZO", "COMISSAO", "TOTALPEDIDO", "FRETE",
                  "VLRACRESCIMO", "FATURADO"}),
        pedidoi_(writer_, "PEDIDOI",
                 {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO", "ITEM", "CODPROD", "CODGRADE",
                  "QUANTIDADE", "PRECOUNIT", "DESCONTOVLR"}),
        encefat_(
            writer_, "ENCEFAT",
            {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO", "DATAFECHAMENTO", "VLRRECEBER", "VLRCONVENIO",
             "VLRFINANC", "VLRCHPREDATADO", "VLRCHEQUE", "VLRDINHEIRO", "VLRDESCONTO", "VLRTROCO"}),
        parcpedc_(writer_, "PARCPEDC",
                  QStringList{"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO"} +
                      numberedColumns("VLRPARC", 24) + numberedColumns("VENCPARC", 24)),
        preterc_(writer_, "PRETERC",
                 {"CODEMPRESA", "NUMDOCORIG", "SEQUENCIA", "BANCO", "NUMCHEQUE", "VLRCHEQUE",
                  "DT_ENTRADA"}),
        financiamento_(writer_, "FINANCIAMENTO",
                       {"CODFINANCIAMENTO", "CODEMPRESA", "CODVENDA", "CODFINANCEIRA", "CODPLANO",
                        "DESCFORMAPGTO", "VALORFINANCIADO", "VALORMENSALIDADE"}),
        convencefat_(writer_, "CONVENCEFAT",
                     {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO", "SEQUENCIA", "CONVENIO", "VALOR"}),
        docurec_(writer_, "DOCUREC",
                 {"CODEMPRESA", "NUMDOCTO", "NUMDOCORIG", "CODCLIENTE", "DT_EMISSAO",
                  "DT_VENCIMENTO", "VALORDOCTO", "VALORDESC", "VALORPAGO"}) {}

  DemoSummary run() {
    writeParameters();
    writeBranches();
    writeRegisters();
    writeProducts();
    writeCosts();
    writeOrders();
    writeQuotes();
    writer_.finish();
    updateIndexStatistics();
    summary_.orders = pedidoc_.rows();
    summary_.items = pedidoi_.rows();
    return summary_;
  }

 private:
  // Indexes made on empty tables keep the selectivity of an empty table,
  // and the optimizer then reads the order-items query from the wrong end
  // (all items of a branch instead of the period's orders). The ERP's own
  // database has real statistics, as any backup and restore leaves them.
  void updateIndexStatistics() {
    Database& database = writer_.database();
    QStringList names;
    {
      Query indexes(&database);
      indexes.sql() << "SELECT RDB$INDEX_NAME AS NOME FROM RDB$INDICES"
                    << " WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0";
      indexes.open();
      for (; !indexes.eof(); indexes.next()) names << indexes.fieldByName("NOME").asString();
    }
    for (const QString& name : names) {
      database.executeImmediate(QStringLiteral("SET STATISTICS INDEX %1").arg(name.trimmed()));
    }
  }

  QString branchCode(int branch) const { return zeroPadded(branch + 1, 2); }
  int activeBranches() const { return options_.branches; }
  // The closed branch comes after the active ones.
  int branchCount() const { return options_.branches + 1; }

  void writeParameters() {
    Insert(writer_, "PARARENTABILIDADE", {"TIPOCUSTO", "TIPOCOMISSAO"})
        .integer("TIPOCUSTO", options_.tipoCusto)
        .text("TIPOCOMISSAO", options_.tipoComissao)
        .write();
    Insert(writer_, "PARAPDV", {"TXJUROSCH", "INCLUICOMISSAORENTABILIDADE", "TROCOMAXIMO"})
        .number("TXJUROSCH", options_.txJurosCh)
        .text("INCLUICOMISSAORENTABILIDADE", options_.incluiComissaoRentabilidade)
        .number("TROCOMAXIMO", 100)
        .write();
    Insert(writer_, "PARATLM", {"GERARRECDATAENTREGA", "GERARRECDATAFATURA"})
        .text("GERARRECDATAENTREGA", options_.gerarRecDataEntrega)
        .text("GERARRECDATAFATURA", options_.gerarRecDataFatura)
        .write();
  }

  // Accented names are stored as the ERP stores them, in Windows-1252 (the
  // database layer writes text so).
  void writeBranches() {
    Insert filiais(writer_, "FILIAIS", {"CODEMPRESA", "NOMEEMPRESA", "CIDADE", "FILIALATIVA"});
    for (int b = 0; b < branchCount(); ++b) {
      const bool active = b < activeBranches();
      QString name = b < static_cast<int>(kBranchNames.size())
                         ? kBranchNames[static_cast<std::size_t>(b)]
                         : QStringLiteral("Filial %1").arg(branchCode(b));
      if (!active) name = QString::fromUtf8("Filial Timbó (encerrada)");
      filiais.text("CODEMPRESA", branchCode(b)).text("NOMEEMPRESA", name);
      filiais.text("CIDADE", name.section(' ', 1, 1));
      filiais.text("FILIALATIVA", active ? "S" : "N").write();
    }
    summary_.branches = branchCount();
  }

  void writeRegisters() {
    Insert vendend(writer_, "VENDEND", {"CODVENDEDOR", "NOME", "COMISSAO"});
    const std::vector<double> rates = {0, 1.5, 2, 2.5, 3, 4, 5};
    for (const Seller& s : kSellers) {
      vendend.text("CODVENDEDOR", s.code)
          .text("NOME", s.name)
          .number("COMISSAO", random_.pick(rates));
      vendend.write();
      sellers_ << QString::fromLatin1(s.code);
    }

    Insert condpag(
        writer_, "CONDPAG",
        QStringList{"CODPRAZO", "DESCRICAO", "TIPOVENDA"} +
            QStringList{"PRAZO1", "PRAZO2", "PRAZO3", "PRAZO4", "PRAZO5", "PRAZO6", "PRAZO7"} +
            QStringList{"PERCENT1", "PERCENT2", "PERCENT3", "PERCENT4", "PERCENT5", "PERCENT6",
                        "PERCENT7"} +
            QStringList{"TXEMISSAOBOLETO", "TIPOINTEGRACAO", "UTILIZACONVENIO"});
    for (const CondPag& c : kCondicoes) {
      condpag.text("CODPRAZO", c.code).text("DESCRICAO", c.description);
      condpag.integer("TIPOVENDA", c.tipoVenda);
      for (int k = 0; k < 7; ++k) {
        condpag.integer(QStringLiteral("PRAZO%1").arg(k + 1), c.prazo[static_cast<std::size_t>(k)]);
        condpag.number(QStringLiteral("PERCENT%1").arg(k + 1),
                       c.percent[static_cast<std::size_t>(k)]);
      }
      condpag.number("TXEMISSAOBOLETO", c.txEmissaoBoleto)
          .integer("TIPOINTEGRACAO", c.tipoIntegracao)
          .text("UTILIZACONVENIO", c.utilizaConvenio);
      condpag.write();
    }

    Insert fin(writer_, "FINANCEIRA", {"CODFINANCEIRA", "NOME", "DIASCOMPENSACAO", "CODPRAZO"});
    for (const Financeira& f : kFinanceiras) {
      fin.text("CODFINANCEIRA", f.code).text("NOME", f.name);
      fin.integer("DIASCOMPENSACAO", f.diasCompensacao).text("CODPRAZO", f.codPrazo).write();
    }
    Insert planos(writer_, "PLANOSFINANC",
                  {"CODFINANCEIRA", "CODPLANO", "DESCFORMAPGTO", "TAXARETENCAO", "NUMPARC",
                   "ENTRADA", "COEFICIENTE"});
    for (const Plano& p : kPlanos) {
      planos.text("CODFINANCEIRA", p.financeira).text("CODPLANO", p.plano);
      planos.text("DESCFORMAPGTO", p.descFormaPgto).number("TAXARETENCAO", p.taxaRetencao);
      planos.integer("NUMPARC", p.numParc).text("ENTRADA", p.entrada);
      planos.number("COEFICIENTE", coeficiente(p)).write();
    }

    Insert cartcon(
        writer_, "CARTCON",
        {"CODIGO", "NOME", "DIASCOMPENSACAO", "PERCDESC", "CODPRAZO", "TAXAMENSALANTECIP"});
    for (const CartCon& c : kCartoes) {
      cartcon.text("CODIGO", c.code).text("NOME", c.name);
      cartcon.integer("DIASCOMPENSACAO", c.diasCompensacao).number("PERCDESC", c.percDesc);
      cartcon.text("CODPRAZO", c.codPrazo).number("TAXAMENSALANTECIP", c.taxaMensalAntecip);
      cartcon.write();
    }
  }

  // Installment factor of a plan: the customer pays this much per unit
  // financed, spread over the plan's installments.
  static double coeficiente(const Plano& p) { return (1.0 + 0.021 * p.numParc) / p.numParc; }

  void writeProducts() {
    // More products for bigger databases, so the cost look-ups spread.
    const int count = std::clamp(options_.items / 40, 30, 400);
    Insert produto(writer_, "PRODUTO",
                   {"CODPROD", "DESCRICAO", "UNIDADE", "PRECOVENDA", "CUSTOOPERC", "COMISSAO"});
    const std::vector<double> operational = {2, 3, 4, 5};
    const std::vector<double> commission = {1, 2, 3, 5};
    for (int i = 0; i <= count; ++i) {
      Product p;
      double custoOperc = 0;
      double comissao = 0;
      if (i == count) {
        // A product code holding a quote, as some ERP installations have:
        // look-ups that write codes into statement text must double it.
        p.code = QStringLiteral("CX'12");
        p.description = QStringLiteral("CAIXA D'AGUA 500L");
        p.unit = QStringLiteral("UN");
        p.price = 289.90;
        p.grades = {QStringLiteral("U")};
      } else {
        const Categoria& cat = kCategorias[static_cast<std::size_t>(i) % kCategorias.size()];
        p.code = QString::number(10001 + i);
        p.description = QStringLiteral("%1 %2").arg(QLatin1String(cat.name), zeroPadded(i + 1, 4));
        p.unit = QLatin1String(cat.unit);
        p.price = round2(random_.uniform(cat.priceMin, cat.priceMax));
        p.fractional = cat.fractional;
        if (cat.grades == 0) {
          p.grades = {QStringLiteral("U")};
        } else {
          const std::vector<QString>& sizes = cat.grades == 1 ? kClothingSizes : kShoeSizes;
          const int n = random_.between(3, static_cast<int>(sizes.size()) - 1);
          const int first = random_.between(0, static_cast<int>(sizes.size()) - n);
          p.grades.assign(sizes.begin() + first, sizes.begin() + first + n);
        }
        if (random_.chance(0.25)) custoOperc = random_.pick(operational);
        if (random_.chance(0.3)) comissao = random_.pick(commission);
      }
      produto.text("CODPROD", p.code).text("DESCRICAO", p.description).text("UNIDADE", p.unit);
      produto.number("PRECOVENDA", p.price).number("CUSTOOPERC", custoOperc);
      produto.number("COMISSAO", comissao).write();
      products_.push_back(std::move(p));
    }
    specialProduct_ = count;
    summary_.products = static_cast<int>(products_.size());
  }

  // Movements of every grade at every branch over the year (from three
  // months before it), several a day now and then; the current cost price
  // and average cost of each product follow its first grade's last
  // movement, and most grades have a managerial cost.
  void writeCosts() {
    Insert mvgeral(writer_, "MVGERAL",
                   {"CODEMPRESA", "CODPROD", "CODGRADE", "DT_MOVIMENTO", "SEQUENCIA", "TIPOMOV",
                    "QUANTIDADE", "PRECOCUSTO", "PRECOMEDIO"});
    Insert compprod(writer_, "COMPPROD",
                    {"CODPROD", "CODEMPRESA", "PRECOCUSTO", "PRECOMEDIO", "ESTOQUE"});
    Insert gerencial(writer_, "CUSTOGERENCIAL",
                     {"CODPROD", "CODEMPRESA", "CODGRADE", "PRECOCUSTO"});
    const QDate start = QDate(year_, 1, 1).addDays(-90);
    const int span = static_cast<int>(start.daysTo(options_.today));
    for (int b = 0; b < branchCount(); ++b) {
      for (const Product& p : products_) {
        const double base = p.price * random_.uniform(0.42, 0.72);
        double productCost = base;
        double productAverage = base * random_.uniform(0.97, 1.02);
        double productStock = 0;
        for (std::size_t g = 0; g < p.grades.size(); ++g) {
          double cost = base * random_.uniform(0.97, 1.03);
          double average = cost;
          double stock = 0;
          if (random_.chance(0.85)) {
            const int count = random_.between(3, 12);
            std::vector<int> days(static_cast<std::size_t>(count));
            for (int& d : days) d = random_.between(0, span);
            std::sort(days.begin(), days.end());
            int sequence = 0;
            for (int m = 0; m < count; ++m) {
              const auto mi = static_cast<std::size_t>(m);
              if (m > 0 && random_.chance(0.2)) days[mi] = days[mi - 1];
              sequence = m > 0 && days[mi] == days[mi - 1] ? sequence + random_.between(1, 6)
                                                           : random_.between(1, 5);
              double quantity;
              if (stock <= 0 || random_.chance(0.4)) {
                // An entry: a new cost price, and the average moves towards it.
                cost *= m == 0 ? 1.0 : random_.uniform(0.95, 1.08);
                quantity = random_.between(5, 40);
                average = (average * stock + cost * quantity) / (stock + quantity);
                stock += quantity;
              } else {
                quantity = -std::min(stock, static_cast<double>(random_.between(1, 5)));
                stock += quantity;
              }
              mvgeral.text("CODEMPRESA", branchCode(b)).text("CODPROD", p.code);
              mvgeral.text("CODGRADE", p.grades[g]).date("DT_MOVIMENTO", start.addDays(days[mi]));
              mvgeral.integer("SEQUENCIA", sequence).text("TIPOMOV", quantity > 0 ? "E" : "S");
              mvgeral.number("QUANTIDADE", quantity).number("PRECOCUSTO", round4(cost));
              mvgeral.number("PRECOMEDIO", round4(average)).write();
            }
            if (g == 0) {
              productCost = cost;
              productAverage = average;
              productStock = stock;
            }
          }
          if (random_.chance(0.9)) {
            gerencial.text("CODPROD", p.code).text("CODEMPRESA", branchCode(b));
            gerencial.text("CODGRADE", p.grades[g]);
            gerencial.number("PRECOCUSTO", round4(cost * random_.uniform(1.0, 1.12))).write();
          }
        }
        compprod.text("CODPROD", p.code).text("CODEMPRESA", branchCode(b));
        compprod.number("PRECOCUSTO", round4(productCost));
        compprod.number("PRECOMEDIO", round4(productAverage));
        compprod.number("ESTOQUE", productStock).write();
      }
    }
    summary_.movements = mvgeral.rows();
  }

  // --- orders --------------------------------------------------------------

  struct OrderKey {
    QString branch;
    QString tipo;
    QString number;
    QDate date;
    QString cliente;
    QString numDocOrig() const { return tipo + number; }
  };

  std::vector<PaymentKind> paymentKinds() const {
    return options_.payments.empty() ? allPaymentKinds() : options_.payments;
  }

  int itemCount() {
    static const std::vector<int> weights = {30, 25, 18, 12, 8, 4, 1, 1, 1};
    return random_.weighted(weights) + 1;
  }

  Status randomStatus() {
    const double u = random_.uniform();
    if (u < 0.80) return Status::Invoiced;
    if (u < 0.93) return Status::Recorded;
    if (u < 0.97) return Status::Cancelled;
    return Status::Unset;
  }

  std::vector<PlannedOrder> planOrders() {
    std::vector<PlannedOrder> orders;
    const std::vector<PaymentKind> kinds = paymentKinds();
    std::vector<int> weights;
    for (PaymentKind k : kinds) weights.push_back(kindWeight(k));
    std::vector<int> branchWeights(static_cast<std::size_t>(activeBranches()), 1);
    branchWeights[0] = 2;  // the head office sells most
    const QDate january = QDate(year_, 1, 1);
    const int days = static_cast<int>(january.daysTo(options_.today)) + 1;

    int items = 0;
    while (items < options_.items) {
      PlannedOrder o;
      o.items = std::min(itemCount(), options_.items - items);
      items += o.items;
      const bool yearBefore = random_.chance(0.01);
      o.date = yearBefore ? QDate(year_ - 1, 12, random_.between(1, 31))
                          : january.addDays(random_.between(0, days - 1));
      o.branch =
          yearBefore && random_.chance(0.5) ? activeBranches() : random_.weighted(branchWeights);
      o.kind = kinds[static_cast<std::size_t>(random_.weighted(weights))];
      o.variant = random_.between(0, variantCount(o.kind) - 1);
      o.status = randomStatus();
      o.delivery = random_.chance(0.2);
      orders.push_back(o);
    }

    // Branch "01" always has every kind and variant of payment on `today`,
    // an order on the first day of the year and one of each other state, so
    // that even a tiny database exercises every path.
    auto fixed = [&](QDate date, PaymentKind kind, int variant, Status status) {
      PlannedOrder o;
      o.date = date;
      o.kind = kind;
      o.variant = variant;
      o.status = status;
      o.items = 2 + static_cast<int>(orders.size() % 3);
      o.coverage = true;
      orders.push_back(o);
      return &orders.back();
    };
    bool first = true;
    for (PaymentKind kind : kinds) {
      for (int v = 0; v < variantCount(kind); ++v) {
        PlannedOrder* o = fixed(options_.today, kind, v, Status::Invoiced);
        o->special = first;
        o->duplicate = kind == kinds.front() && v == variantCount(kind) - 1;
        o->delivery = kind == PaymentKind::Receivables && v == 0;
        first = false;
      }
    }
    fixed(january, kinds.front(), 0, Status::Invoiced);
    fixed(options_.today, kinds.front(), 0, Status::Recorded);
    fixed(options_.today, kinds.front(), 0, Status::Cancelled);
    fixed(options_.today, kinds.front(), 0, Status::Unset);
    for (int i = 0; i < options_.badOrders; ++i) {
      fixed(options_.today, kinds.front(), 0, Status::Invoiced)->bad = true;
    }

    for (std::size_t i = 0; i < orders.size(); ++i) orders[i].index = static_cast<int>(i);
    std::sort(orders.begin(), orders.end(), [](const PlannedOrder& a, const PlannedOrder& b) {
      return a.date != b.date ? a.date < b.date : a.index < b.index;
    });
    return orders;
  }

  int pickProduct() {
    // A few products sell much more than the rest. Only exactly rounded
    // arithmetic here (no pow), so every platform picks the same product.
    const double u = random_.uniform();
    const auto n = static_cast<double>(specialProduct_);
    return std::min(specialProduct_ - 1, static_cast<int>(std::floor(n * u * u)));
  }

  Line makeLine(int product) {
    const Product& p = products_[static_cast<std::size_t>(product)];
    Line line;
    line.product = product;
    line.grade = random_.pick(p.grades);
    if (p.fractional) {
      line.quantity = round3(random_.uniform(0.25, 5.0));
    } else {
      static const std::vector<int> weights = {55, 25, 10, 5, 2, 1, 1, 1};
      line.quantity = random_.weighted(weights) + 1;
    }
    line.price = random_.chance(0.1) ? round2(p.price * random_.uniform(0.9, 0.98)) : p.price;
    if (random_.chance(0.15)) line.discount = round2(line.price * random_.uniform(0.02, 0.15));
    return line;
  }

  std::vector<Line> makeLines(const PlannedOrder& o) {
    std::vector<Line> lines;
    if (o.special) lines.push_back(makeLine(specialProduct_));
    while (static_cast<int>(lines.size()) < o.items) {
      // Now and then the same product and grade twice, as when the seller
      // adds more of an item already on the order.
      const bool repeat = !lines.empty() && random_.chance(0.06);
      if (repeat || (o.duplicate && lines.size() == 1)) {
        Line again = makeLine(lines.back().product);
        again.grade = lines.back().grade;
        lines.push_back(again);
      } else {
        lines.push_back(makeLine(pickProduct()));
      }
    }
    if (o.bad) {
      // Random lines never sell the special product, so its zero quantity
      // is not summed with another line of the same product and grade.
      Line zero = makeLine(specialProduct_);
      zero.quantity = 0;
      lines.push_back(zero);
    }
    return lines;
  }

  void writeOrders() {
    const std::vector<PlannedOrder> orders = planOrders();
    std::vector<int> numbers(static_cast<std::size_t>(branchCount()), 0);
    int coverage = 0;
    for (const PlannedOrder& o : orders) {
      const QString number = zeroPadded(++numbers[static_cast<std::size_t>(o.branch)], 6);
      writeOrder(o, number, o.coverage ? coverage++ : -1);
    }
  }

  // `coverage` numbers the fixed orders (-1 for the random ones): they take
  // freight and discounts in turn instead of by chance.
  void writeOrder(const PlannedOrder& o, const QString& number, int coverage) {
    const QString branch = branchCode(o.branch);
    const QString tipo = o.delivery ? QStringLiteral("E") : QStringLiteral("V");
    const std::vector<Line> lines = makeLines(o);

    double itemsTotal = 0;
    for (const Line& l : lines) itemsTotal += (l.price - l.discount) * l.quantity;

    const bool fixed = coverage >= 0;
    const double acrescimo = (fixed ? coverage % 5 == 3 : random_.chance(0.06))
                                 ? round2(itemsTotal * random_.uniform(0.02, 0.05))
                                 : 0;
    const double totalPedido = round2(itemsTotal + acrescimo);
    double frete = 0;
    if (fixed ? coverage % 3 == 1 : random_.chance(o.delivery ? 0.8 : 0.03)) {
      frete = round2(random_.uniform(15, 120));
    }
    double desconto = 0;
    if (fixed ? coverage % 4 == 2 : random_.chance(0.2)) {
      desconto = round2(totalPedido * random_.uniform(0.01, 0.08));
    } else if (!fixed && random_.chance(0.05)) {
      desconto = round2(totalPedido - std::floor(totalPedido));  // the cents, for a round sum
    }
    const double due = round2(totalPedido - desconto + frete);

    QDate entrega;
    if (o.delivery) {
      entrega = o.date.addDays(random_.between(1, 10));
    } else if (random_.chance(0.1)) {
      entrega = o.date;
    }
    const QString cliente = QStringLiteral("C%1").arg(zeroPadded(random_.between(1, 5000), 5));

    bool closed = false;
    switch (o.status) {
      case Status::Invoiced:
        closed = fixed || random_.chance(0.98);
        break;
      case Status::Recorded:
        closed = random_.chance(0.5);
        break;
      case Status::Cancelled:
        closed = random_.chance(0.3);
        break;
      case Status::Unset:
        closed = false;
        break;
    }

    const OrderKey key{branch, tipo, number, o.date, cliente};
    const QString codPrazo = writePayment(o, key, due, closed, desconto);

    pedidoc_.text("CODEMPRESA", branch).text("TIPOPEDIDO", tipo).text("CODPEDIDO", number);
    pedidoc_.date("DATAPEDIDO", o.date).date("DATAENTREGA", entrega);
    pedidoc_.text("CODCLIENTE", cliente).text("CODVENDEDOR", random_.pick(sellers_));
    pedidoc_.text("CODPRAZO", codPrazo);
    if (random_.chance(0.3)) {
      static const std::vector<double> rates = {1, 1.5, 2, 3, 5};
      pedidoc_.number("COMISSAO", random_.pick(rates));
    } else if (random_.chance(0.5)) {
      pedidoc_.number("COMISSAO", 0);
    }
    pedidoc_.number("TOTALPEDIDO", totalPedido);
    // Amounts that do not apply are zero in newer orders and null in older
    // ones; both read as 0.
    const bool nulls = random_.chance(0.4);
    if (frete != 0 || !nulls) pedidoc_.number("FRETE", frete);
    if (acrescimo != 0 || !nulls) pedidoc_.number("VLRACRESCIMO", acrescimo);
    switch (o.status) {
      case Status::Invoiced:
        pedidoc_.text("FATURADO", "S");
        break;
      case Status::Recorded:
        pedidoc_.text("FATURADO", "N");
        break;
      case Status::Cancelled:
        pedidoc_.text("FATURADO", "X");
        break;
      case Status::Unset:
        break;
    }
    pedidoc_.write();

    int item = 0;
    for (const Line& l : lines) {
      pedidoi_.text("CODEMPRESA", branch).text("TIPOPEDIDO", tipo).text("CODPEDIDO", number);
      pedidoi_.integer("ITEM", ++item);
      pedidoi_.text("CODPROD", products_[static_cast<std::size_t>(l.product)].code);
      pedidoi_.text("CODGRADE", l.grade).number("QUANTIDADE", l.quantity);
      pedidoi_.number("PRECOUNIT", l.price).number("DESCONTOVLR", l.discount).write();
    }
  }

  // Writes how the order was paid (closing record and the payment's own
  // rows) and returns its payment condition; an order without closing record
  // has only its condition (and pre-dated cheques, received when recorded).
  QString writePayment(const PlannedOrder& o, const OrderKey& key, double due, bool closed,
                       double desconto) {
    Closing c;
    QString codPrazo;
    // A cash entry on top of the main way of paying.
    auto entry = [&](double share) {
      c.dinheiro = round2(due * share);
      return round2(due - c.dinheiro);
    };
    switch (o.kind) {
      case PaymentKind::Cash:
        codPrazo = QStringLiteral("001");
        if (o.variant == 0) {
          static const std::vector<int> steps = {1, 5, 10, 50};
          const int step = random_.pick(steps);
          c.dinheiro = std::ceil(due / step - 1e-9) * step;
          c.troco = round2(c.dinheiro - due);
        } else {
          c.cheque = due;
        }
        break;
      case PaymentKind::Receivables:
      case PaymentKind::Boleto: {
        const std::vector<QString>& codes =
            o.kind == PaymentKind::Boleto ? kBoletoConditions : kReceivableConditions;
        codPrazo = codes[static_cast<std::size_t>(o.variant) % codes.size()];
        const bool withEntry = o.kind == PaymentKind::Receivables &&
                               (o.coverage ? o.variant == 3 : random_.chance(0.3));
        c.receber = withEntry ? entry(random_.uniform(0.1, 0.3)) : due;
        if (closed) writeReceivableDocuments(key, condicao(codPrazo), c.receber);
        break;
      }
      case PaymentKind::Financing: {
        const Plano& plano = kPlanos[static_cast<std::size_t>(o.variant) % kPlanos.size()];
        const Financeira& f = financeira(plano.financeira);
        codPrazo = QLatin1String(f.codPrazo);
        c.financ = !o.coverage && random_.chance(0.2) ? entry(random_.uniform(0.1, 0.3)) : due;
        if (closed) writeFinanciamento(key.branch, key.number, plano, c.financ);
        break;
      }
      case PaymentKind::Card: {
        const bool credit = o.variant == 0 || o.variant == 3;
        codPrazo = credit ? QStringLiteral("C03") : QStringLiteral("C04");
        c.convenio = !o.coverage && random_.chance(0.15) ? entry(random_.uniform(0.1, 0.3)) : due;
        if (closed) writeCardPayment(o, key, c.convenio);
        break;
      }
      case PaymentKind::PreDatedCheque: {
        codPrazo = QStringLiteral("002");
        const bool withEntry = o.coverage ? o.variant == 1 : random_.chance(0.3);
        c.chPreDatado = withEntry ? entry(random_.uniform(0.1, 0.4)) : due;
        const int count = o.coverage ? (o.variant == 1 ? 1 : 3) : random_.between(1, 4);
        const int interval = random_.chance(0.2) ? 15 : 30;
        static const std::vector<QString> banks = {"001", "104", "237", "341", "756"};
        const std::vector<double> amounts = split(c.chPreDatado, count);
        for (int k = 0; k < count; ++k) {
          preterc_.text("CODEMPRESA", key.branch).text("NUMDOCORIG", key.numDocOrig());
          preterc_.integer("SEQUENCIA", k + 1).text("BANCO", random_.pick(banks));
          preterc_.text("NUMCHEQUE", zeroPadded(random_.between(1, 999999), 6));
          preterc_.number("VLRCHEQUE", amounts[static_cast<std::size_t>(k)]);
          preterc_.date("DT_ENTRADA", key.date.addDays(interval * (k + 1))).write();
        }
        break;
      }
      case PaymentKind::Installments: {
        // No condition: empty text in some orders, null in most.
        if (random_.chance(0.2)) codPrazo = QStringLiteral("");
        c.receber = !o.coverage && random_.chance(0.2) ? entry(random_.uniform(0.1, 0.3)) : due;
        if (closed) writeParcPedC(o, key, c.receber);
        break;
      }
    }
    if (closed) {
      encefat_.text("CODEMPRESA", key.branch).text("TIPOPEDIDO", key.tipo);
      encefat_.text("CODPEDIDO", key.number).date("DATAFECHAMENTO", key.date);
      encefat_.number("VLRRECEBER", c.receber).number("VLRCONVENIO", c.convenio);
      encefat_.number("VLRFINANC", c.financ).number("VLRCHPREDATADO", c.chPreDatado);
      encefat_.number("VLRCHEQUE", c.cheque).number("VLRDINHEIRO", c.dinheiro);
      encefat_.number("VLRDESCONTO", desconto);
      // Some closings leave the change unset, so the amount received (which
      // adds it in) reads as null.
      if (o.coverage || !random_.chance(0.03)) encefat_.number("VLRTROCO", c.troco);
      encefat_.write();
    }
    return codPrazo;
  }

  // The financing of a sale; `codVenda` is an order's or a quote's number.
  void writeFinanciamento(const QString& branch, const QString& codVenda, const Plano& plano,
                          double valor) {
    financiamento_.integer("CODFINANCIAMENTO", ++financiamentos_);
    financiamento_.text("CODEMPRESA", branch).text("CODVENDA", codVenda);
    financiamento_.text("CODFINANCEIRA", plano.financeira).text("CODPLANO", plano.plano);
    financiamento_.text("DESCFORMAPGTO", plano.descFormaPgto);
    financiamento_.number("VALORFINANCIADO", valor);
    financiamento_.number("VALORMENSALIDADE", round2(valor * coeficiente(plano))).write();
  }

  QString nextDocument(const QString& branch) {
    const int b = branch.toInt() - 1;
    if (documents_.size() < static_cast<std::size_t>(branchCount())) {
      documents_.assign(static_cast<std::size_t>(branchCount()), 0);
    }
    return zeroPadded(++documents_[static_cast<std::size_t>(b)], 8);
  }

  void writeDocument(const OrderKey& key, const QDateTime& emissao, const QDate& vencimento,
                     double valor, double percDesc) {
    const double valorDesc = round2(valor * percDesc / 100);
    docurec_.text("CODEMPRESA", key.branch).text("NUMDOCTO", nextDocument(key.branch));
    docurec_.text("NUMDOCORIG", key.numDocOrig()).text("CODCLIENTE", key.cliente);
    docurec_.dateTime("DT_EMISSAO", emissao).date("DT_VENCIMENTO", vencimento);
    docurec_.number("VALORDOCTO", valor).number("VALORDESC", valorDesc);
    docurec_.number("VALORPAGO", vencimento <= options_.today ? round2(valor - valorDesc) : 0);
    docurec_.write();
  }

  // The store's own receivables also stand in DocuRec, one document per
  // installment.
  void writeReceivableDocuments(const OrderKey& key, const CondPag& cond, double amount) {
    const int n = installmentCount(cond);
    const std::vector<double> parts = split(amount, n);
    for (int k = 0; k < n; ++k) {
      writeDocument(key, key.date.startOfDay(),
                    key.date.addDays(cond.prazo[static_cast<std::size_t>(k)]),
                    parts[static_cast<std::size_t>(k)], 0);
    }
  }

  // Card variants: 0 credit card in 1 to 6 monthly documents; 1 debit card
  // paid the next day; 2 debit paid the same day (the cost is the operator's
  // fee alone); 3 two credit cards on one order (every document of the
  // order pairs with both operators); 4 a company agreement.
  void writeCardPayment(const PlannedOrder& o, const OrderKey& key, double amount) {
    static const std::vector<QString> credit = {"VISA", "MASTER", "ELO"};
    std::vector<std::pair<QString, double>> operators;
    switch (o.variant) {
      case 0:
        operators = {{random_.pick(credit), amount}};
        break;
      case 1:
      case 2:
        operators = {{QStringLiteral("DEBITO"), amount}};
        break;
      case 3: {
        const double first = round2(amount * 0.6);
        operators = {{QStringLiteral("VISA"), first},
                     {QStringLiteral("MASTER"), round2(amount - first)}};
        break;
      }
      default:
        operators = {{QStringLiteral("SAUDE"), amount}};
        break;
    }
    int sequence = 0;
    for (const auto& [code, value] : operators) {
      const CartCon& op = cartao(code);
      convencefat_.text("CODEMPRESA", key.branch).text("TIPOPEDIDO", key.tipo);
      convencefat_.text("CODPEDIDO", key.number).integer("SEQUENCIA", ++sequence);
      convencefat_.text("CONVENIO", code).number("VALOR", value).write();

      // Documents issued at the till carry the time of day.
      QDateTime emissao = key.date.startOfDay();
      if (o.coverage ? o.variant == 0 : random_.chance(0.5)) {
        const int hour = random_.between(8, 19);
        const int minute = random_.between(0, 59);
        emissao = QDateTime(key.date, QTime(hour, minute));
      }
      const bool creditCard = qstrcmp(op.codPrazo, "C03") == 0;
      const int count = creditCard ? (o.coverage ? 3 : random_.between(1, 6)) : 1;
      const std::vector<double> parts = split(value, count);
      for (int k = 0; k < count; ++k) {
        int days = creditCard || code == QLatin1String("SAUDE") ? 30 * (k + 1) : 1;
        if (o.variant == 2) days = 0;
        writeDocument(key, emissao, key.date.addDays(days), parts[static_cast<std::size_t>(k)],
                      op.percDesc);
      }
    }
  }

  // Installment variants: 0 a few monthly installments; 1 all 24; 2 a zero
  // installment between positive ones (the ERP stops reading at the zero).
  void writeParcPedC(const PlannedOrder& o, const OrderKey& key, double amount) {
    int count = o.variant == 1 ? 24 : (o.coverage ? 6 : random_.between(2, 12));
    if (o.variant == 2) count = std::max(count, 4);
    std::vector<double> parts = split(amount, count);
    if (o.variant == 2) {
      parts.back() = round2(parts.back() + parts[2]);
      parts[2] = 0;
    }
    parcpedc_.text("CODEMPRESA", key.branch).text("TIPOPEDIDO", key.tipo);
    parcpedc_.text("CODPEDIDO", key.number);
    for (int k = 0; k < count; ++k) {
      parcpedc_.number(QStringLiteral("VLRPARC%1").arg(zeroPadded(k + 1, 2)),
                       parts[static_cast<std::size_t>(k)]);
      parcpedc_.date(QStringLiteral("VENCPARC%1").arg(zeroPadded(k + 1, 2)),
                     key.date.addDays(30 * (k + 1)));
    }
    parcpedc_.write();
  }

  // --- quotes --------------------------------------------------------------

  struct Quote {
    QString code;
    QDate date;
    QString codPrazo;
    QString codPrazo2;
    double descontoValor = 0;
    double descontoPerc = 0;
    double frete = 0;
    std::array<double, 3> qtdFrete{};
    double taxaServico = 0;
    QString vendaTroca;
    QString orcVendaTroca;
    double troca = 0;
    int plan = -1;                 // financed: index into kPlanos
    QString convenio1, convenio2;  // ORCCONVENIO of term 1 and term 2
    int installments = 1;          // term 1 installments (own receivables, card)
    bool secondTerm = false;
  };

  // A handful of quotes of branch "01" over the last weeks, one per way the
  // quote path prices payment terms, plus the trade-in quote one of them
  // refers to. Quotes are numbered from 800001, apart from the orders, since
  // Financiamento.CodVenda holds either.
  void writeQuotes() {
    Insert orccabe(
        writer_, "ORCCABE",
        QStringList{"CODEMPRESA", "CODORC", "DATAORCAMENTO", "CODCLIENTE", "CODVENDEDOR",
                    "TOTALORCAMENTO", "DESCONTOVALOR", "DESCONTOPERC", "FRETE", "QTDFRETE01",
                    "QTDFRETE02", "QTDFRETE03", "TAXASERVICO", "VLRCOMISSAO", "VENDATROCA",
                    "ORCVENDATROCA", "CODPRAZO", "NUMPARC", "VLRPARC"} +
            numberedColumns("VLRPARC", 6) + numberedColumns("VENCPARC", 6) +
            QStringList{"CODPRAZO2", "VLRPARC01_2", "VENCPARC01_2"});
    Insert orcitem(writer_, "ORCITEM",
                   {"CODEMPRESA", "CODORC", "ITEM", "CODPROD", "CODGRADE", "QUANTIDADE",
                    "PRECOUNIT", "DESCONTOVLR"});
    Insert orcconvenio(writer_, "ORCCONVENIO",
                       {"CODEMPRESA", "CODORC", "SEQUENCIA", "CODCONVENIO", "VALOR"});
    const QString branch = branchCode(0);

    std::vector<Quote> quotes(9);
    for (std::size_t i = 0; i < quotes.size(); ++i) {
      quotes[i].code = QString::number(800001 + static_cast<int>(i));
      quotes[i].date = options_.today.addDays(-random_.between(0, 20));
    }
    // 0: own receivables by boleto in three installments.
    quotes[0].codPrazo = "B36";
    quotes[0].installments = 3;
    // 1: two terms, 30 days on account and the rest by boleto at 60 days.
    quotes[1].codPrazo = "030";
    quotes[1].codPrazo2 = "B30";
    quotes[1].secondTerm = true;
    // 2: the goods a customer hands back; 3 sells with that trade-in.
    quotes[2].codPrazo = "001";
    quotes[3].codPrazo = "037";
    quotes[3].installments = 2;
    quotes[3].vendaTroca = "S";
    quotes[3].orcVendaTroca = quotes[2].code;
    // 4, 5: financed, scheme 3 without and scheme 4 with down payment.
    quotes[4].codPrazo = "F03";
    quotes[4].plan = 0;
    quotes[5].codPrazo = "F04";
    quotes[5].plan = 5;
    // 6: credit card in three installments and a debit card as term 2.
    quotes[6].codPrazo = "C03";
    quotes[6].convenio1 = "VISA";
    quotes[6].installments = 3;
    quotes[6].codPrazo2 = "C04";
    quotes[6].convenio2 = "DEBITO";
    quotes[6].secondTerm = true;
    // 7: freight in two quantities, a service fee and both discounts, cash.
    quotes[7].codPrazo = "001";
    quotes[7].frete = 45;
    quotes[7].qtdFrete = {2, 1, 0};
    quotes[7].taxaServico = 15;
    quotes[7].descontoValor = 10;
    quotes[7].descontoPerc = 5;
    // 8: an agreement term whose quote has no ORCCONVENIO row.
    quotes[8].codPrazo = "C04";

    double tradeIn = 0;
    for (std::size_t i = 0; i < quotes.size(); ++i) {
      Quote& q = quotes[i];
      PlannedOrder plan;
      plan.items = random_.between(1, 4);
      std::vector<Line> lines = makeLines(plan);
      double gross = 0;
      for (const Line& l : lines) gross += (l.price - l.discount) * l.quantity;
      if (!q.orcVendaTroca.isEmpty()) {
        // The trade-in pays part of the sale, never all of it.
        q.troca = tradeIn;
        while (gross <= 1.5 * q.troca) {
          lines.push_back(makeLine(pickProduct()));
          gross += (lines.back().price - lines.back().discount) * lines.back().quantity;
        }
      }
      int item = 0;
      for (const Line& l : lines) {
        orcitem.text("CODEMPRESA", branch).text("CODORC", q.code).integer("ITEM", ++item);
        orcitem.text("CODPROD", products_[static_cast<std::size_t>(l.product)].code);
        orcitem.text("CODGRADE", l.grade).number("QUANTIDADE", l.quantity);
        orcitem.number("PRECOUNIT", l.price).number("DESCONTOVLR", l.discount).write();
      }
      const double total = round2(gross * (1 - q.descontoPerc / 100) - q.descontoValor - q.troca);
      if (i == 2) tradeIn = total;
      const double due = round2(total + q.frete + q.taxaServico);
      const double term2 = q.secondTerm ? round2(due * 0.4) : 0;
      const double term1 = round2(due - term2);

      orccabe.text("CODEMPRESA", branch).text("CODORC", q.code).date("DATAORCAMENTO", q.date);
      orccabe.text("CODCLIENTE",
                   QStringLiteral("C%1").arg(zeroPadded(random_.between(1, 5000), 5)));
      orccabe.text("CODVENDEDOR", random_.pick(sellers_)).number("TOTALORCAMENTO", total);
      orccabe.number("DESCONTOVALOR", q.descontoValor).number("DESCONTOPERC", q.descontoPerc);
      orccabe.number("FRETE", q.frete).number("TAXASERVICO", q.taxaServico);
      for (int k = 0; k < 3; ++k) {
        orccabe.number(QStringLiteral("QTDFRETE0%1").arg(k + 1),
                       q.qtdFrete[static_cast<std::size_t>(k)]);
      }
      orccabe.number("VLRCOMISSAO", round2(total * 0.03));
      if (!q.vendaTroca.isEmpty()) orccabe.text("VENDATROCA", q.vendaTroca);
      if (!q.orcVendaTroca.isEmpty()) orccabe.text("ORCVENDATROCA", q.orcVendaTroca);
      orccabe.text("CODPRAZO", q.codPrazo);
      if (q.plan >= 0) {
        const Plano& plano = kPlanos[static_cast<std::size_t>(q.plan)];
        const Financeira& f = financeira(plano.financeira);
        orccabe.integer("NUMPARC", plano.numParc);
        orccabe.number("VLRPARC", round2(term1 * coeficiente(plano)));
        orccabe.number("VLRPARC01", term1).date("VENCPARC01", q.date.addDays(f.diasCompensacao));
        writeFinanciamento(branch, q.code, plano, term1);
      } else {
        const CondPag& cond = condicao(q.codPrazo);
        const std::vector<double> parts = split(term1, q.installments);
        orccabe.integer("NUMPARC", q.installments);
        orccabe.number("VLRPARC", parts.front());
        for (int k = 0; k < q.installments; ++k) {
          const int days = cond.utilizaConvenio == QLatin1String("S")
                               ? 30 * (k + 1)
                               : cond.prazo[static_cast<std::size_t>(k)];
          orccabe.number(QStringLiteral("VLRPARC0%1").arg(k + 1),
                         parts[static_cast<std::size_t>(k)]);
          orccabe.date(QStringLiteral("VENCPARC0%1").arg(k + 1), q.date.addDays(days));
        }
      }
      if (q.secondTerm) {
        orccabe.text("CODPRAZO2", q.codPrazo2).number("VLRPARC01_2", term2);
        orccabe.date("VENCPARC01_2", q.date.addDays(60));
      }
      orccabe.write();
      int sequence = 0;
      for (const QString& convenio : {q.convenio1, q.convenio2}) {
        ++sequence;
        if (convenio.isEmpty()) continue;
        orcconvenio.text("CODEMPRESA", branch).text("CODORC", q.code);
        orcconvenio.integer("SEQUENCIA", sequence).text("CODCONVENIO", convenio);
        orcconvenio.number("VALOR", sequence == 1 ? term1 : term2).write();
      }
    }
    summary_.quotes = orccabe.rows();
  }

  const DemoOptions& options_;
  Random random_;
  int year_;
  Writer writer_;
  Insert pedidoc_;
  Insert pedidoi_;
  Insert encefat_;
  Insert parcpedc_;
  Insert preterc_;
  Insert financiamento_;
  Insert convencefat_;
  Insert docurec_;

  std::vector<Product> products_;
  int specialProduct_ = 0;
  QStringList sellers_;
  std::vector<int> documents_;
  int financiamentos_ = 0;
  DemoSummary summary_;
};

}  // namespace

DemoSummary generateDemoData(Database& database, const DemoOptions& options) {
  if (options.items < 0) throw std::invalid_argument("items must not be negative");
  if (options.branches < 1 || options.branches > 98) {
    throw std::invalid_argument("branches must be between 1 and 98");
  }
  if (!options.today.isValid()) throw std::invalid_argument("today is not a valid date");
  if (options.badOrders < 0) throw std::invalid_argument("badOrders must not be negative");
  return Generator(database, options).run();
}

}  // namespace margivo::sampledb
