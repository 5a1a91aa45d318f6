#include "gadget/alteracoes.h"

#include <QHash>
#include <QMultiHash>
#include <QScopeGuard>
#include <QSet>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <initializer_list>
#include <mutex>
#include <thread>

#include "framework/db/database.h"
#include "framework/db/query.h"
#include "gadget/memoria.h"
#include "gadget/selecaopedidos.h"

namespace margivo {

namespace {

// How the records of a table name the order they belong to.
enum class Mapa {
  Pedido,     // CODEMPRESA, TIPOPEDIDO, CODPEDIDO
  Pagamento,  // the configured branch and TIPOPEDIDO followed by CODPEDIDO (cheques)
  Documento,  // the order's branch and TIPOPEDIDO followed by CODPEDIDO (receivables)
  Venda,      // the configured branch and CODPEDIDO (financing)
  Grade,      // CODEMPRESA, CODPROD, CODGRADE of the stock movements
};

struct TabelaDoPedido {
  const char* nome;
  QStringList colunas;  // the key; the first is the branch
  Mapa mapa;
};

const std::vector<TabelaDoPedido>& tabelasDosPedidos() {
  static const std::vector<TabelaDoPedido> tabelas{
      {"PEDIDOI", {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO"}, Mapa::Pedido},
      {"ENCEFAT", {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO"}, Mapa::Pedido},
      {"CONVENCEFAT", {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO"}, Mapa::Pedido},
      {"PARCPEDC", {"CODEMPRESA", "TIPOPEDIDO", "CODPEDIDO"}, Mapa::Pedido},
      {"PRETERC", {"CODEMPRESA", "NUMDOCORIG"}, Mapa::Pagamento},
      {"DOCUREC", {"CODEMPRESA", "NUMDOCORIG"}, Mapa::Documento},
      {"FINANCIAMENTO", {"CODEMPRESA", "CODVENDA"}, Mapa::Venda},
      {"MVGERAL", {"CODEMPRESA", "CODPROD", "CODGRADE"}, Mapa::Grade},
  };
  return tabelas;
}

// The small tables whose changes can change every figure. The cost tables
// count only under the policies that read them, for the configured branch.
struct TabelaPequena {
  const char* nome;
  bool porEmpresa = false;
};
std::vector<TabelaPequena> tabelasPequenas(int tipoCusto) {
  std::vector<TabelaPequena> t{
      {"CONDPAG"}, {"CARTCON"},       {"FINANCEIRA"},          {"PLANOSFINANC"},
      {"VENDEND"}, {"PRODUTO"},       {"PARARENTABILIDADE"},   {"PARAPDV"},
      {"PARATLM"}, {"RDB$RELATIONS"}, {"RDB$RELATION_FIELDS"}, {"RDB$FIELDS"},
  };
  if (tipoCusto == 5)
    t.push_back({"CUSTOGERENCIAL", true});
  else
    t.push_back({"COMPPROD", true});
  return t;
}

bool movimentosContam(int tipoCusto) { return tipoCusto == 2 || tipoCusto == 3; }

// Every table a state reads, small and of the orders, by name.
QStringList nomesDasTabelas(int tipoCusto) {
  QStringList nomes;
  for (const TabelaDoPedido& t : tabelasDosPedidos()) nomes << QLatin1String(t.nome);
  for (const TabelaPequena& t : tabelasPequenas(tipoCusto)) nomes << QLatin1String(t.nome);
  return nomes;
}

// A code as the database compares it: without its trailing blanks.
QStringView semBrancos(QStringView s) {
  qsizetype n = s.size();
  while (n > 0 && s.at(n - 1) == u' ') --n;
  return s.first(n);
}
QString semBrancos(const QString& s) {
  const QStringView r = semBrancos(QStringView(s));
  return r.size() == s.size() ? s : r.toString();
}

// A key as the database compares it, hashed.
template <typename Partes>
quint64 hashDasPartes(const Partes& partes) {
  size_t h = 0x4d617267u;
  for (QStringView p : partes) h = qHashMulti(h, semBrancos(p));
  return h;
}
quint64 hashChave(const QStringList& partes) { return hashDasPartes(partes); }
quint64 hashChave(std::initializer_list<QStringView> partes) { return hashDasPartes(partes); }

// A code compared loosely - no blanks anywhere, no letter case - to find
// the orders a record may belong to: more orders than the database would
// match, never fewer.
QString solta(const QString& s) {
  QString r = s;
  r.remove(u' ');
  return r.toCaseFolded();
}

// The configured branch matches a key's branch as the database compares
// them; every branch when none is configured.
bool daEmpresa(const QString& empresa, const QString& Empresa) {
  return Empresa.isEmpty() || semBrancos(empresa) == semBrancos(Empresa);
}

// The orders the order-items query selects, as one condition on PEDIDOC,
// and its parameters.
QString selecao(const TMonitorAlteracoes::Periodo& p) {
  return selecaoPedidos(p.Empresa, p.MostraPedidos, p.Data1, p.Data2).lines.join(u' ');
}
void ligaSelecao(Query& q, const TMonitorAlteracoes::Periodo& p) {
  selecaoPedidos(p.Empresa, p.MostraPedidos, p.Data1, p.Data2).bind(q);
}

// Which of `tabelas` exist, in one look at the database's description.
QSet<QString> existentes(Database& banco, const QStringList& tabelas) {
  QSet<QString> r;
  if (tabelas.isEmpty()) return r;
  QStringList nomes;
  for (const QString& t : tabelas) nomes << u'\'' + t + u'\'';
  Query q(&banco);
  q.sql()
      << QStringLiteral(
             "SELECT RDB$RELATION_NAME AS MGV_NOME FROM RDB$RELATIONS WHERE RDB$RELATION_NAME IN "
             "(%1)")
             .arg(nomes.join(QStringLiteral(", ")));
  q.open();
  for (; !q.eof(); q.next()) r.insert(q.fieldByName("MGV_NOME").asString().trimmed());
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// The state of one snapshot.

struct TMonitorAlteracoes::Estado {
  // A key and one version of its records, with how many records carry it.
  struct Versao {
    quint64 chave = 0;
    qint64 versao = 0;
    int registros = 0;
    QStringList textos;        // the key as the records give it
    TDateTime dia = 0;         // stock movements: the earliest day
    bool selecionado = false;  // headers: the record is of a selected order
    friend bool operator<(const Versao& a, const Versao& b) {
      return a.chave != b.chave ? a.chave < b.chave : a.versao < b.versao;
    }
  };
  struct Tabela {
    bool existe = false;
    qint64 total = 0;
    // Records per key, by key hash (the orders' tables).
    std::vector<std::pair<quint64, std::uint32_t>> contagens;
    // Records written from X on, by key and version.
    std::vector<Versao> recentes;
    // Whether the comparison that made this state found records written
    // since its base: the next one lists them in its first pass.
    bool mudou = false;
  };
  struct Pequena {
    bool existe = false;
    qint64 total = 0;
    std::vector<qint64> versoes;  // from X on, sorted
  };

  Periodo periodo;
  qint64 X = 0;           // oldest transaction active when the snapshot started
  qint64 transacao = 0;   // the snapshot's own transaction
  TDateTime criacao = 0;  // when the database was created
  std::map<QString, Pequena> pequenas;
  Tabela cabecalhos;                  // PEDIDOC, recentes only
  std::map<TDateTime, qint64> dias;   // selected orders per DATAPEDIDO
  std::map<QString, Tabela> tabelas;  // the orders' tables
  // Counts of keys read by a comparison, to be written into the base's, and
  // the tables whose keys it counted all over again.
  std::map<QString, std::vector<std::pair<quint64, std::uint32_t>>> atualizacoes;
  std::map<QString, std::vector<std::pair<quint64, std::uint32_t>>> mapasNovos;
};

namespace {

using Estado = TMonitorAlteracoes::Estado;

void leIdentidade(Database& banco, Estado& e) {
  Query q(&banco);
  q.sql() << QStringLiteral(
      "SELECT T.MON$OLDEST_ACTIVE AS MGV_ANTIGA, T.MON$TRANSACTION_ID AS MGV_TRANSACAO,"
      " D.MON$CREATION_DATE AS MGV_CRIACAO FROM MON$TRANSACTIONS T CROSS JOIN MON$DATABASE D"
      " WHERE T.MON$TRANSACTION_ID = CURRENT_TRANSACTION");
  q.open();
  if (q.isEmpty()) throw DatabaseError(QStringLiteral("MON$TRANSACTIONS sem a transação atual"));
  e.X = q.fieldByName("MGV_ANTIGA").asInteger();
  e.transacao = q.fieldByName("MGV_TRANSACAO").asInteger();
  e.criacao = q.fieldByName("MGV_CRIACAO").asDateTime();
}

// The small tables, all in one statement: each one's count, then its
// records written from X on, tagged with the table's place in the list.
// `existem`: the tables that exist, as existentes found them.
void lePequenas(Database& banco, const TMonitorAlteracoes::Periodo& p, qint64 X,
                const QSet<QString>& existem, Estado& e) {
  const std::vector<TabelaPequena> tabelas = tabelasPequenas(p.tipoCusto);
  QStringList nomes;
  for (const TabelaPequena& t : tabelas) nomes << QLatin1String(t.nome);
  QStringList partes;
  bool porEmpresa = false;
  for (std::size_t i = 0; i < tabelas.size(); ++i) {
    const TabelaPequena& t = tabelas[i];
    Estado::Pequena& destino = e.pequenas[nomes[int(i)]];
    destino.existe = existem.contains(nomes[int(i)]);
    if (!destino.existe) continue;
    const bool filtra = t.porEmpresa && !p.Empresa.isEmpty();
    porEmpresa = porEmpresa || filtra;
    const QString filtro = filtra ? QStringLiteral(" AND CODEMPRESA = :Empresa") : QString();
    partes << QStringLiteral(
                  "SELECT %1 AS MGV_TABELA, CAST(NULL AS DOUBLE PRECISION) AS MGV_VERSAO,"
                  " COUNT(*) AS MGV_N FROM %2 WHERE 1 = 1%3")
                  .arg(i)
                  .arg(nomes[int(i)], filtro)
           << QStringLiteral(
                  "SELECT %1, RDB$RECORD_VERSION, CAST(NULL AS INTEGER) FROM %2"
                  " WHERE RDB$RECORD_VERSION >= :MGV_X%3")
                  .arg(i)
                  .arg(nomes[int(i)], filtro);
  }
  if (partes.isEmpty()) return;
  Query q(&banco);
  q.sql() << partes.join(QStringLiteral(" UNION ALL "));
  q.setInteger(QStringLiteral("MGV_X"), X);
  if (porEmpresa) q.setString(QStringLiteral("Empresa"), p.Empresa);
  q.open();
  for (; !q.eof(); q.next()) {
    Estado::Pequena& destino =
        e.pequenas[nomes.value(int(q.fieldByName("MGV_TABELA").asInteger()))];
    const Field versao = q.fieldByName("MGV_VERSAO");
    if (versao.isNull())
      destino.total = q.fieldByName("MGV_N").asInteger();
    else
      destino.versoes.push_back(versao.asInteger());
  }
  for (auto& [nome, t] : e.pequenas) std::sort(t.versoes.begin(), t.versoes.end());
}

// Records written from X on, gathered by key and version.
class Recentes {
 public:
  void adiciona(const QStringList& textos, qint64 versao, std::optional<TDateTime> dia) {
    Estado::Versao v;
    v.chave = hashChave(textos);
    v.versao = versao;
    const QPair<quint64, qint64> k{v.chave, v.versao};
    const auto it = indice_.constFind(k);
    const bool novo = it == indice_.cend();
    if (novo) indice_.insert(k, versoes_.size());
    Estado::Versao& destino = novo ? versoes_.emplace_back(v) : versoes_[*it];
    ++destino.registros;
    if (novo) destino.textos = textos;
    if (dia && (novo || *dia < destino.dia)) destino.dia = *dia;
  }
  std::vector<Estado::Versao> conclui() {
    std::sort(versoes_.begin(), versoes_.end());
    return std::move(versoes_);
  }

 private:
  QHash<QPair<quint64, qint64>, std::size_t> indice_;
  std::vector<Estado::Versao> versoes_;
};

// The records of `t` written from X on, by key and version.
std::vector<Estado::Versao> leRecentes(Database& banco, const TabelaDoPedido& t, qint64 X,
                                       const QString& Empresa) {
  Query q(&banco);
  q.setUnidirectional(true);
  const bool movimentos = t.mapa == Mapa::Grade;
  q.sql() << QStringLiteral("SELECT %1, RDB$RECORD_VERSION AS MGV_VERSAO%2 FROM %3")
                 .arg(t.colunas.join(QStringLiteral(", ")),
                      movimentos ? QStringLiteral(", DT_MOVIMENTO") : QString(),
                      QLatin1String(t.nome))
          << QStringLiteral(" WHERE RDB$RECORD_VERSION >= :MGV_X");
  q.setInteger(QStringLiteral("MGV_X"), X);
  q.open();
  Recentes recentes;
  for (; !q.eof(); q.next()) {
    QStringList textos;
    for (const QString& c : t.colunas) textos << q.fieldByName(c).asString();
    // Another branch's records are not read by this period.
    if (!daEmpresa(textos.first(), Empresa)) continue;
    std::optional<TDateTime> dia;
    if (movimentos) dia = std::floor(q.fieldByName("DT_MOVIMENTO").asDateTime());
    recentes.adiciona(textos, q.fieldByName("MGV_VERSAO").asInteger(), dia);
  }
  return recentes.conclui();
}

// The same records as one text that the count's pass gathers (LIST): each
// record's key columns, its version and (stock movements) its day as a
// number of days, separated by unit separators, the records by record
// separators - characters no code of the ERP holds.
QString listaDeRecentes(const TabelaDoPedido& t) {
  const QString separador = QStringLiteral(" || ASCII_CHAR(31) || ");
  QStringList partes;
  for (const QString& c : t.colunas) partes << QStringLiteral("COALESCE(%1, '')").arg(c);
  partes << QStringLiteral("CAST(RDB$RECORD_VERSION AS VARCHAR(20))");
  if (t.mapa == Mapa::Grade) {
    partes << QStringLiteral(
        "CAST(DATEDIFF(DAY FROM CAST('1899-12-30' AS DATE) TO DT_MOVIMENTO) AS VARCHAR(12))");
  }
  return QStringLiteral(
             ", LIST(IIF(RDB$RECORD_VERSION >= :MGV_X, %1, NULL), ASCII_CHAR(30)) AS"
             " MGV_LISTA")
      .arg(partes.join(separador));
}
std::optional<std::vector<Estado::Versao>> leLista(const TabelaDoPedido& t, const Field& lista) {
  Recentes recentes;
  if (lista.isNull()) return recentes.conclui();
  const bool movimentos = t.mapa == Mapa::Grade;
  const qsizetype colunas = t.colunas.size() + (movimentos ? 2 : 1);
  for (const QString& registro : lista.asString().split(QChar(30))) {
    const QStringList partes = registro.split(QChar(31));
    if (partes.size() != colunas) return std::nullopt;  // a code holding a separator after all
    bool ok = true;
    const qint64 versao = partes[t.colunas.size()].toLongLong(&ok);
    if (!ok) return std::nullopt;
    std::optional<TDateTime> dia;
    if (movimentos) {
      dia = partes.back().toLongLong(&ok);
      if (!ok) return std::nullopt;
    }
    recentes.adiciona(partes.mid(0, t.colunas.size()), versao, dia);
  }
  return recentes.conclui();
}

QString escopo(const QString& Empresa) {
  return Empresa.isEmpty() ? QString() : QStringLiteral(" WHERE CODEMPRESA = :Empresa");
}

// Versions the base holds for a table beyond which a look at the table's
// count alone no longer pays (its statement would list them all).
constexpr std::size_t kVersoesConhecidasMax = 200;

// The distinct versions of some records, sorted.
std::vector<qint64> versoesDe(const std::vector<Estado::Versao>& recentes) {
  std::vector<qint64> v;
  v.reserve(recentes.size());
  for (const Estado::Versao& r : recentes) v.push_back(r.versao);
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

// A table's records now (the branch's, when one is configured) and, in the
// same pass, how many of them were written from X on by a transaction other
// than those of `conhecidas` (nullopt when they are too many to list).
//
// `conhecidas` are the versions of the records from X on that a base saw:
// their transactions had ended before its snapshot began and can write no
// more. Every write the base did not see carries a version from X on that is
// not among them, and a deletion lowers the count unless a write comes with
// it. So no such record and the base's count mean the table is as the base
// saw it, its recent records included; the scan that lists them is spared.
//
// With `listar`, the same pass also lists the table's records from X on (all
// of them, known or not), as leRecentes would: a table that changed is then
// not read a second time.
//
// With `selecionados`, the same pass also counts the records the period
// selects (the headers).
struct Contagem {
  qint64 total = 0;
  std::optional<qint64> novos;
  std::optional<std::vector<Estado::Versao>> recentes;
  std::optional<qint64> selecionados;
};
Contagem contaNovos(Database& banco, const char* tabela, const QString& Empresa, qint64 X,
                    const std::vector<qint64>& conhecidas, const TabelaDoPedido* listar = nullptr,
                    const TMonitorAlteracoes::Periodo* selecionados = nullptr) {
  const bool comNovos = conhecidas.size() <= kVersoesConhecidasMax;
  QString novos = QStringLiteral("RDB$RECORD_VERSION >= :MGV_X");
  if (comNovos && !conhecidas.empty()) {
    QStringList numeros;
    for (const qint64 v : conhecidas) numeros << QString::number(v);
    novos += QStringLiteral(" AND RDB$RECORD_VERSION NOT IN (%1)").arg(numeros.join(u','));
  }
  QString colunas = QStringLiteral("COUNT(*) AS MGV_N");
  if (comNovos) colunas += QStringLiteral(", COUNT(IIF(%1, 1, NULL)) AS MGV_NOVOS").arg(novos);
  if (listar) colunas += listaDeRecentes(*listar);
  if (selecionados) {
    colunas +=
        QStringLiteral(", COUNT(IIF(%1, 1, NULL)) AS MGV_SELECIONADOS").arg(selecao(*selecionados));
  }
  Query q(&banco);
  q.sql() << QStringLiteral("SELECT %1 FROM %2").arg(colunas, QLatin1String(tabela)) +
                 escopo(Empresa);
  if (comNovos || listar) q.setInteger(QStringLiteral("MGV_X"), X);
  if (!Empresa.isEmpty()) q.setString(QStringLiteral("Empresa"), Empresa);
  if (selecionados) ligaSelecao(q, *selecionados);
  q.open();
  Contagem c;
  c.total = q.fieldByName("MGV_N").asInteger();
  if (comNovos) c.novos = q.fieldByName("MGV_NOVOS").asInteger();
  if (listar) c.recentes = leLista(*listar, q.fieldByName("MGV_LISTA"));
  if (selecionados) c.selecionados = q.fieldByName("MGV_SELECIONADOS").asInteger();
  return c;
}

// Records per key of `t` now (the branch's, when one is configured), and
// their total; with `desdeX`, also how many were written from *desdeX on.
std::vector<std::pair<quint64, std::uint32_t>> contaPorChave(
    Database& banco, const TabelaDoPedido& t, const QString& Empresa, qint64& total,
    const std::optional<qint64>& desdeX = std::nullopt, qint64* novos = nullptr) {
  Query q(&banco);
  q.setUnidirectional(true);
  const QString chave = t.colunas.join(QStringLiteral(", "));
  const QString recentes =
      desdeX ? QStringLiteral(", COUNT(IIF(RDB$RECORD_VERSION >= :MGV_X, 1, NULL)) AS MGV_NOVOS")
             : QString();
  q.sql() << QStringLiteral("SELECT %1, COUNT(*) AS MGV_N%2 FROM %3")
                     .arg(chave, recentes, QLatin1String(t.nome)) +
                 escopo(Empresa) + QStringLiteral(" GROUP BY ") + chave;
  if (!Empresa.isEmpty()) q.setString(QStringLiteral("Empresa"), Empresa);
  if (desdeX) q.setInteger(QStringLiteral("MGV_X"), *desdeX);
  q.open();
  std::vector<std::pair<quint64, std::uint32_t>> contagens;
  total = 0;
  if (novos) *novos = 0;
  QStringList textos;
  for (; !q.eof(); q.next()) {
    textos.clear();
    for (const QString& c : t.colunas) textos << q.fieldByName(c).asString();
    const qint64 n = q.fieldByName("MGV_N").asInteger();
    total += n;
    if (novos && desdeX) *novos += q.fieldByName("MGV_NOVOS").asInteger();
    contagens.emplace_back(hashChave(textos), static_cast<std::uint32_t>(n));
  }
  std::sort(contagens.begin(), contagens.end());
  // Keys the database tells apart that differ only in trailing blanks: one
  // count for both.
  std::size_t n = 0;
  for (std::size_t i = 0; i < contagens.size(); ++i) {
    if (n > 0 && contagens[n - 1].first == contagens[i].first)
      contagens[n - 1].second += contagens[i].second;
    else
      contagens[n++] = contagens[i];
  }
  contagens.resize(n);
  contagens.shrink_to_fit();
  return contagens;
}

// Records of one key now.
std::uint32_t contaChave(Database& banco, const TabelaDoPedido& t, const QStringList& textos) {
  Query q(&banco);
  QStringList condicoes;
  for (int i = 0; i < t.colunas.size(); ++i)
    condicoes << QStringLiteral("%1 = :MGV_K%2").arg(t.colunas[i]).arg(i);
  q.sql() << QStringLiteral("SELECT COUNT(*) AS MGV_N FROM %1 WHERE ").arg(QLatin1String(t.nome)) +
                 condicoes.join(QStringLiteral(" AND "));
  for (int i = 0; i < t.colunas.size(); ++i)
    q.setString(QStringLiteral("MGV_K%1").arg(i), textos.value(i));
  q.open();
  return static_cast<std::uint32_t>(q.fieldByName("MGV_N").asInteger());
}

std::uint32_t contagemDaChave(const std::vector<std::pair<quint64, std::uint32_t>>& contagens,
                              quint64 chave) {
  const auto it =
      std::lower_bound(contagens.begin(), contagens.end(), std::make_pair(chave, std::uint32_t{0}));
  return it != contagens.end() && it->first == chave ? it->second : 0;
}

// The selected orders per day.
void leDias(Database& banco, const TMonitorAlteracoes::Periodo& p, Estado& e) {
  Query q(&banco);
  q.sql() << QStringLiteral("SELECT PEDIDOC.DATAPEDIDO AS MGV_DIA, COUNT(*) AS MGV_N FROM PEDIDOC")
          << QStringLiteral(" WHERE ") + selecao(p)
          << QStringLiteral(" GROUP BY PEDIDOC.DATAPEDIDO");
  ligaSelecao(q, p);
  q.open();
  e.dias.clear();
  for (; !q.eof(); q.next())
    e.dias[q.fieldByName("MGV_DIA").asDateTime()] = q.fieldByName("MGV_N").asInteger();
}

// The headers: the records from X on and the selected orders per day. With
// `base`, whose X this is, a PEDIDOC as the base saw it is not read again;
// one that changed has its records from X on read, and its days are left to
// the comparison: the orders the period selects now are returned, for it to
// work the days out from the base's and the changed headers and read them
// only when those do not account for that count.
std::optional<qint64> leCabecalhos(Database& banco, const TMonitorAlteracoes::Periodo& p, qint64 X,
                                   Estado& e, const Estado* base = nullptr) {
  e.cabecalhos.existe = true;
  const Contagem contagem =
      contaNovos(banco, "PEDIDOC", QString(), X,
                 base ? versoesDe(base->cabecalhos.recentes) : std::vector<qint64>{}, nullptr,
                 base ? &p : nullptr);
  e.cabecalhos.total = contagem.total;
  if (base && contagem.novos == 0 && contagem.total == base->cabecalhos.total) {
    e.dias = base->dias;
    e.cabecalhos.recentes = base->cabecalhos.recentes;
    return std::nullopt;
  }
  if (!base) leDias(banco, p, e);
  const std::optional<qint64> selecionados = contagem.selecionados;
  if (contagem.novos == 0 && (!base || base->cabecalhos.recentes.empty())) return selecionados;
  Query q(&banco);
  q.setUnidirectional(true);
  q.sql() << QStringLiteral(
                 "SELECT CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, RDB$RECORD_VERSION AS"
                 " MGV_VERSAO, CASE WHEN ")
          << selecao(p) << QStringLiteral(" THEN 1 ELSE 0 END AS MGV_SELECIONADO FROM PEDIDOC")
          << QStringLiteral(" WHERE RDB$RECORD_VERSION >= :MGV_X");
  ligaSelecao(q, p);
  q.setInteger(QStringLiteral("MGV_X"), X);
  q.open();
  for (; !q.eof(); q.next()) {
    Estado::Versao v;
    v.textos =
        QStringList{q.fieldByName("CODEMPRESA").asString(), q.fieldByName("TIPOPEDIDO").asString(),
                    q.fieldByName("CODPEDIDO").asString()};
    v.chave = hashChave(v.textos);
    v.versao = q.fieldByName("MGV_VERSAO").asInteger();
    v.registros = 1;
    v.selecionado = q.fieldByName("MGV_SELECIONADO").asInteger() == 1;
    v.dia = q.fieldByName("DATAPEDIDO").asDateTime();
    e.cabecalhos.recentes.push_back(v);
  }
  std::sort(e.cabecalhos.recentes.begin(), e.cabecalhos.recentes.end());
  return selecionados;
}

// The keys whose records differ between two lists of recent records.
std::vector<const Estado::Versao*> diferencasDeVersoes(const std::vector<Estado::Versao>& antes,
                                                       const std::vector<Estado::Versao>& agora) {
  std::vector<const Estado::Versao*> r;
  std::size_t i = 0, j = 0;
  while (i < antes.size() || j < agora.size()) {
    if (j == agora.size() || (i < antes.size() && antes[i] < agora[j])) {
      r.push_back(&antes[i++]);
    } else if (i == antes.size() || agora[j] < antes[i]) {
      r.push_back(&agora[j++]);
    } else {
      if (antes[i].registros != agora[j].registros) r.push_back(&agora[j]);
      ++i;
      ++j;
    }
  }
  return r;
}

// The records from the new X on: those of the comparison's scan that the
// next one scans again.
std::vector<Estado::Versao> desdeX(std::vector<Estado::Versao> v, qint64 X) {
  v.erase(std::remove_if(v.begin(), v.end(), [X](const Estado::Versao& r) { return r.versao < X; }),
          v.end());
  return v;
}

}  // namespace

int TMonitorAlteracoes::Comparacao::alterados() const {
  return static_cast<int>(pedidos.size() + pedidosDaMemoria.size());
}

TMonitorAlteracoes::TMonitorAlteracoes() = default;
TMonitorAlteracoes::~TMonitorAlteracoes() = default;

bool TMonitorAlteracoes::temBase() const noexcept { return base_ != nullptr; }

void TMonitorAlteracoes::esquece() noexcept {
  base_.reset();
  proximo_.reset();
}

std::size_t TMonitorAlteracoes::bytes() const noexcept {
  if (!base_) return 0;
  std::size_t n = 0;
  for (const auto& [nome, t] : base_->tabelas)
    n += t.contagens.capacity() * 16 + t.recentes.capacity() * sizeof(Estado::Versao);
  return n;
}

std::unique_ptr<TMonitorAlteracoes::Estado> TMonitorAlteracoes::leEstado(
    Database& banco, const Periodo& periodo, const QSet<QString>& contadasAParte) {
  auto e = std::make_unique<Estado>();
  e->periodo = periodo;
  leIdentidade(banco, *e);
  const QSet<QString> existem = existentes(banco, nomesDasTabelas(periodo.tipoCusto));
  lePequenas(banco, periodo, e->X, existem, *e);
  leCabecalhos(banco, periodo, e->X, *e);
  for (const TabelaDoPedido& t : tabelasDosPedidos()) {
    if (t.mapa == Mapa::Grade && !movimentosContam(periodo.tipoCusto)) continue;
    const QString nome = QLatin1String(t.nome);
    Estado::Tabela& destino = e->tabelas[nome];
    destino.existe = existem.contains(nome);
    if (!destino.existe) continue;
    // The count tells in the same pass whether there are records from X on
    // to list at all: usually none, X being the oldest transaction active.
    qint64 novos = 0;
    if (contadasAParte.contains(nome)) {
      const Contagem c = contaNovos(banco, t.nome, periodo.Empresa, e->X, {});
      destino.total = c.total;
      novos = c.novos.value_or(1);
    } else {
      destino.contagens = contaPorChave(banco, t, periodo.Empresa, destino.total, e->X, &novos);
    }
    if (novos > 0) destino.recentes = leRecentes(banco, t, e->X, periodo.Empresa);
  }
  return e;
}

void TMonitorAlteracoes::leBase(Database& banco, const Periodo& periodo) {
  esquece();
  base_ = leEstado(banco, periodo, {});
}

int TMonitorAlteracoes::leTipoCusto(Database& banco) {
  Query q(&banco);
  q.sql() << QStringLiteral("Select TipoCusto From ParaRentabilidade");
  q.open();
  return static_cast<int>(q.fieldByName("TipoCusto").asInteger());
}

struct TMonitorAlteracoes::LeituraParalela::Dados {
  QSet<QString> contadasAParte;
  std::promise<bool> iniciada;
  std::future<bool> inicio = iniciada.get_future();
  std::promise<std::unique_ptr<Estado>> resultado;
  std::future<std::unique_ptr<Estado>> fim = resultado.get_future();
  // Whether to read, once the snapshot has started: le() or the end.
  std::promise<bool> vez;
  std::future<bool> leitura = vez.get_future();
  std::once_flag decidida;
  // The thread's attachment while it is attached, for abandona().
  std::mutex emUso;
  Database* banco = nullptr;
  std::thread thread;
};

TMonitorAlteracoes::LeituraParalela::LeituraParalela(QString nome, QString usuario, QString senha,
                                                     Periodo periodo, QSet<QString> contadasAParte)
    : d_(std::make_unique<Dados>()) {
  Dados& d = *d_;
  d.contadasAParte = std::move(contadasAParte);
  d.thread = std::thread([&d, nome = std::move(nome), usuario = std::move(usuario),
                          senha = std::move(senha), periodo = std::move(periodo)]() mutable {
    bool avisado = false;
    try {
      Database banco;
      banco.attach(nome, usuario, senha);
      {
        std::lock_guard trava(d.emUso);
        d.banco = &banco;
      }
      // Before the attachment goes: no cancel() reaches it from here on.
      const auto solta = qScopeGuard([&d] {
        std::lock_guard trava(d.emUso);
        d.banco = nullptr;
      });
      {
        ReadScope leitura(banco);
        d.iniciada.set_value(true);
        avisado = true;
        std::unique_ptr<Estado> base;
        if (d.leitura.get()) {
          periodo.tipoCusto = leTipoCusto(banco);
          base = leEstado(banco, periodo, d.contadasAParte);
        }
        leitura.end();
        d.resultado.set_value(std::move(base));
      }
    } catch (...) {
      if (!avisado) d.iniciada.set_value(false);
      d.resultado.set_exception(std::current_exception());
    }
  });
}

TMonitorAlteracoes::LeituraParalela::~LeituraParalela() { abandona(); }

void TMonitorAlteracoes::LeituraParalela::abandona() noexcept {
  Dados& d = *d_;
  // Never asked to read: nothing is read.
  std::call_once(d.decidida, [&d] { d.vez.set_value(false); });
  if (!d.thread.joinable()) return;
  // A cancel() between two statements stops nothing: it is repeated until
  // the thread has ended, by the cancellation or by reading to the end.
  do {
    std::lock_guard trava(d.emUso);
    if (d.banco) d.banco->cancel();
  } while (d.fim.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready);
  d.thread.join();
}

void TMonitorAlteracoes::LeituraParalela::le() {
  std::call_once(d_->decidida, [this] { d_->vez.set_value(true); });
}

bool TMonitorAlteracoes::LeituraParalela::iniciada() { return d_->inicio.get(); }

TMonitorAlteracoes::Comparacao TMonitorAlteracoes::compara(Database& banco, const Periodo& periodo,
                                                           const TMemoriaAtualizacao& memoria) {
  Comparacao r;
  const auto completa = [&r](const QString& motivo) {
    r.completa = true;
    r.motivo = motivo;
    return r;
  };
  if (!base_) return completa(QStringLiteral("sem base"));
  const Estado& b = *base_;
  auto n = std::make_unique<Estado>();
  n->periodo = periodo;
  leIdentidade(banco, *n);
  // A database restored or replaced starts its transactions anew.
  if (n->criacao != b.criacao || n->transacao < b.X)
    return completa(QStringLiteral("banco de dados recriado"));
  if (periodo.tipoCusto != b.periodo.tipoCusto)
    return completa(QStringLiteral("política de custo alterada"));

  // The small tables, from the base's X on, as the base read them.
  const QSet<QString> existem = existentes(banco, nomesDasTabelas(periodo.tipoCusto));
  lePequenas(banco, periodo, b.X, existem, *n);
  for (const auto& [nome, agora] : n->pequenas) {
    const auto antes = b.pequenas.find(nome);
    if (antes == b.pequenas.end() || antes->second.existe != agora.existe ||
        antes->second.total != agora.total || antes->second.versoes != agora.versoes)
      return completa(QStringLiteral("tabela %1 alterada").arg(nome));
  }
  // The next comparison starts from this snapshot's X.
  for (auto& [nome, t] : n->pequenas)
    t.versoes.erase(
        std::remove_if(t.versoes.begin(), t.versoes.end(), [&](qint64 v) { return v < n->X; }),
        t.versoes.end());

  // Cached orders by their key as the database compares it, made when a
  // header changed.
  const auto& pedidos = memoria.pedidos();
  QHash<quint64, std::uint32_t> porChave;
  bool porChaveLido = false;
  const auto pedidoDaChave = [&](quint64 chave) -> std::optional<std::uint32_t> {
    if (!porChaveLido) {
      porChaveLido = true;
      for (std::uint32_t i = 0; i < pedidos.size(); ++i) {
        const auto& p = pedidos[i];
        if (!p.vivo) continue;
        porChave.insert(hashChave({memoria.vista(p.CODEMPRESA), memoria.vista(p.TIPOPEDIDO),
                                   memoria.vista(p.CODPEDIDO)}),
                        i);
      }
    }
    const auto it = porChave.constFind(chave);
    if (it == porChave.cend()) return std::nullopt;
    return *it;
  };
  QSet<quint64> jaListados;
  const auto alterado = [&](const QStringList& textos) {
    const quint64 h = hashChave(textos);
    if (!jaListados.contains(h)) {
      jaListados.insert(h);
      r.pedidos.push_back(textos);
    }
  };

  // The headers: the orders selected per day, before and now.
  const std::optional<qint64> selecionados = leCabecalhos(banco, periodo, b.X, *n, &b);
  {
    std::map<TDateTime, qint64> esperado = b.dias;
    for (const Estado::Versao* v :
         diferencasDeVersoes(b.cabecalhos.recentes, n->cabecalhos.recentes)) {
      alterado(v->textos);
    }
    // Each changed header leaves its day (if the memory had its order) and
    // joins its day now (if selected); what is left unexplained is a header
    // that disappeared.
    QSet<quint64> contados;
    for (const Estado::Versao* v :
         diferencasDeVersoes(b.cabecalhos.recentes, n->cabecalhos.recentes)) {
      if (contados.contains(v->chave)) continue;
      contados.insert(v->chave);
      if (const auto i = pedidoDaChave(v->chave)) --esperado[memoria.valor(pedidos[*i].DATAPEDIDO)];
      const auto agora = std::lower_bound(
          n->cabecalhos.recentes.begin(), n->cabecalhos.recentes.end(), *v,
          [](const Estado::Versao& a, const Estado::Versao& c) { return a.chave < c.chave; });
      if (agora != n->cabecalhos.recentes.end() && agora->chave == v->chave && agora->selecionado)
        ++esperado[agora->dia];
    }
    if (selecionados) {
      // The changed headers account for every selected order counted now:
      // no order the base selected went without a record of it, so the days
      // are the base's with the changes. Otherwise they are read.
      qint64 soma = 0;
      for (const auto& [dia, quantos] : esperado) soma += quantos;
      if (soma == *selecionados) {
        for (const auto& [dia, quantos] : esperado)
          if (quantos != 0) n->dias[dia] = quantos;
      } else {
        leDias(banco, periodo, *n);
      }
    }
    for (auto& [dia, quantos] : n->dias) esperado[dia] -= quantos;
    for (const auto& [dia, diferenca] : esperado) {
      if (diferenca == 0) continue;
      // Read that day's selected orders: a cached one missing is gone.
      Query q(&banco);
      q.sql() << QStringLiteral("SELECT CODEMPRESA, TIPOPEDIDO, CODPEDIDO FROM PEDIDOC")
              << QStringLiteral(" WHERE ") + selecao(periodo) +
                     QStringLiteral(" AND PEDIDOC.DATAPEDIDO = :MGV_DIA");
      ligaSelecao(q, periodo);
      q.setDate(QStringLiteral("MGV_DIA"), dia);
      q.open();
      QSet<quint64> presentes;
      for (; !q.eof(); q.next()) {
        presentes.insert(hashChave({q.fieldByName("CODEMPRESA").asString(),
                                    q.fieldByName("TIPOPEDIDO").asString(),
                                    q.fieldByName("CODPEDIDO").asString()}));
      }
      for (std::uint32_t i = 0; i < pedidos.size(); ++i) {
        const auto& p = pedidos[i];
        if (!p.vivo || memoria.valor(p.DATAPEDIDO) != dia) continue;
        const QStringList textos{memoria.texto(p.CODEMPRESA), memoria.texto(p.TIPOPEDIDO),
                                 memoria.texto(p.CODPEDIDO)};
        if (!presentes.contains(hashChave(textos))) alterado(textos);
      }
    }
    n->cabecalhos.recentes = desdeX(std::move(n->cabecalhos.recentes), n->X);
  }

  // The orders' own records, by key.
  QMultiHash<QString, std::uint32_t> porDocumento, porVenda;  // loose keys -> cached orders
  bool indicesLidos = false;
  const auto indices = [&] {
    if (indicesLidos) return;
    indicesLidos = true;
    for (std::uint32_t i = 0; i < pedidos.size(); ++i) {
      const auto& p = pedidos[i];
      if (!p.vivo) continue;
      const QString empresa = memoria.texto(p.CODEMPRESA);
      const QString pagamento = periodo.Empresa.isEmpty() ? empresa : periodo.Empresa;
      const QString numDoc = memoria.texto(p.TIPOPEDIDO) + memoria.texto(p.CODPEDIDO);
      porDocumento.insert(solta(pagamento) + u'|' + solta(numDoc), i);
      if (pagamento != empresa) porDocumento.insert(solta(empresa) + u'|' + solta(numDoc), i);
      porVenda.insert(solta(pagamento) + u'|' + solta(memoria.texto(p.CODPEDIDO)), i);
    }
  };
  // Each table's records written or gone since the base.
  struct Leitura {
    const TabelaDoPedido* tabela;
    const Estado::Tabela* antes;
    Estado::Tabela* agora;
    std::vector<const Estado::Versao*> diferencas;
  };
  std::vector<Leitura> leituras;
  for (const TabelaDoPedido& t : tabelasDosPedidos()) {
    if (t.mapa == Mapa::Grade && !movimentosContam(periodo.tipoCusto)) continue;
    const QString nome = QLatin1String(t.nome);
    const auto antesIt = b.tabelas.find(nome);
    if (antesIt == b.tabelas.end()) return completa(QStringLiteral("tabela %1 sem base").arg(nome));
    const Estado::Tabela& antes = antesIt->second;
    Estado::Tabela& agora = n->tabelas[nome];
    agora.existe = existem.contains(nome);
    if (agora.existe) {
      // A table that changed since the last refresh is likely to have changed
      // again (the lines of a store's orders, minute after minute): its
      // records from X on are listed in the same pass as its count. Listing
      // costs a little on every record, so a quiet table is only counted.
      Contagem c = contaNovos(banco, t.nome, periodo.Empresa, b.X, versoesDe(antes.recentes),
                              antes.mudou ? &t : nullptr);
      agora.total = c.total;
      agora.mudou = c.novos != 0 || c.total != antes.total;
      if (!agora.mudou || (c.novos == 0 && antes.recentes.empty()))
        agora.recentes = antes.recentes;  // none written; none of them gone either
      else if (c.recentes)
        agora.recentes = std::move(*c.recentes);
      else
        agora.recentes = leRecentes(banco, t, b.X, periodo.Empresa);
    }
    if (agora.existe != antes.existe)
      return completa(QStringLiteral("tabela %1 criada ou removida").arg(nome));
    if (!agora.existe) continue;
    leituras.push_back({&t, &antesIt->second, &agora,
                        diferencasDeVersoes(antesIt->second.recentes, agora.recentes)});
  }

  // The orders those records belong to.
  for (const Leitura& l : leituras) {
    for (const Estado::Versao* v : l.diferencas) {
      switch (l.tabela->mapa) {
        case Mapa::Pedido:
          alterado(v->textos);
          break;
        case Mapa::Pagamento:
        case Mapa::Documento:
          indices();
          for (const std::uint32_t i :
               porDocumento.values(solta(v->textos[0]) + u'|' + solta(v->textos[1])))
            r.pedidosDaMemoria.push_back(i);
          break;
        case Mapa::Venda:
          indices();
          for (const std::uint32_t i :
               porVenda.values(solta(v->textos[0]) + u'|' + solta(v->textos[1])))
            r.pedidosDaMemoria.push_back(i);
          break;
        case Mapa::Grade:
          break;
      }
    }
  }
  // Every changed order's key in each table's terms: a record gone from an
  // order that changed elsewhere (a whole order deleted) is counted with it.
  std::vector<QStringList> chavesDosPedidos = r.pedidos;
  for (const std::uint32_t i : r.pedidosDaMemoria) {
    chavesDosPedidos.push_back({memoria.texto(pedidos[i].CODEMPRESA),
                                memoria.texto(pedidos[i].TIPOPEDIDO),
                                memoria.texto(pedidos[i].CODPEDIDO)});
  }
  const auto chavesNaTabela = [&](const TabelaDoPedido& t, const std::vector<QStringList>& deQuem) {
    std::vector<QStringList> chaves;
    for (const QStringList& k : deQuem) {
      const QString pagamento = periodo.Empresa.isEmpty() ? k[0] : periodo.Empresa;
      switch (t.mapa) {
        case Mapa::Pedido:
          chaves.push_back(k);
          break;
        case Mapa::Pagamento:
          chaves.push_back({pagamento, k[1] + k[2]});
          break;
        case Mapa::Documento:
          chaves.push_back({k[0], k[1] + k[2]});
          break;
        case Mapa::Venda:
          chaves.push_back({pagamento, k[2]});
          break;
        case Mapa::Grade:
          break;
      }
    }
    return chaves;
  };

  // Grades whose movements changed: the earliest day they affect, or none
  // (every day).
  QHash<QString, std::optional<TDateTime>> grades;
  for (const Leitura& l : leituras) {
    const TabelaDoPedido& t = *l.tabela;
    const QString nome = QLatin1String(t.nome);
    // Each key with records written or gone, or of an order changed, and
    // its count now; the other keys must account for the whole table's
    // count.
    std::vector<std::pair<quint64, QStringList>> chaves;
    QSet<quint64> vistas;
    for (const Estado::Versao* v : l.diferencas) {
      if (vistas.contains(v->chave)) continue;
      vistas.insert(v->chave);
      chaves.emplace_back(v->chave, v->textos);
    }
    for (const QStringList& k : chavesNaTabela(t, chavesDosPedidos)) {
      const quint64 h = hashChave(k);
      if (vistas.contains(h) || !daEmpresa(k[0], periodo.Empresa)) continue;
      vistas.insert(h);
      chaves.emplace_back(h, k);
    }
    qint64 variacao = 0;
    auto& atualizacoes = n->atualizacoes[nome];
    for (const auto& [chave, textos] : chaves) {
      const std::uint32_t contagem = contaChave(banco, t, textos);
      const std::uint32_t base = contagemDaChave(l.antes->contagens, chave);
      variacao += qint64(contagem) - qint64(base);
      atualizacoes.emplace_back(chave, contagem);
      if (t.mapa != Mapa::Grade) continue;

      // New movements alone (the grade's count grew by as many records as
      // were written) affect the sales from their day on; anything else - a
      // movement changed or gone - every sale of the grade.
      std::optional<TDateTime> dia;
      qint64 novos = 0;
      bool soNovos = true;
      for (const Estado::Versao* w : l.diferencas) {
        if (w->chave != chave) continue;
        const auto& agora = l.agora->recentes;
        const auto& antes = l.antes->recentes;
        const auto agoraW = std::lower_bound(agora.begin(), agora.end(), *w);
        const auto antesW = std::lower_bound(antes.begin(), antes.end(), *w);
        const bool deAgora = agoraW != agora.end() && !(*w < *agoraW);
        const bool deAntes = antesW != antes.end() && !(*w < *antesW);
        if (!deAgora || deAntes) {
          soNovos = false;
          continue;
        }
        novos += w->registros;
        if (!dia || w->dia < *dia) dia = w->dia;
      }
      if (!soNovos || qint64(contagem) - qint64(base) != novos) dia.reset();
      const QString grade =
          QStringList{semBrancos(textos[0]), semBrancos(textos[1]), semBrancos(textos[2])}.join(
              u'|');
      const auto existente = grades.constFind(grade);
      if (existente != grades.cend() && existente->has_value() && dia)
        grades[grade] = std::min(**existente, *dia);
      else if (existente == grades.cend() || existente->has_value())
        grades[grade] = dia;
    }
    if (l.agora->total - l.antes->total != variacao) {
      // Records gone from keys nothing else shows: the table's count of every
      // key now, against the base's, tells which.
      qint64 total = 0;
      std::vector<std::pair<quint64, std::uint32_t>> agoraPorChave =
          contaPorChave(banco, t, periodo.Empresa, total);
      std::map<quint64, qint64> diferenca;
      for (const auto& [chave, quantos] : l.antes->contagens) diferenca[chave] -= quantos;
      for (const auto& [chave, quantos] : agoraPorChave) diferenca[chave] += quantos;
      QSet<quint64> mudaram;
      for (const auto& [chave, d] : diferenca)
        if (d != 0) mudaram.insert(chave);
      // The memory's orders (or grades) with those keys.
      for (std::uint32_t i = 0; i < pedidos.size(); ++i) {
        if (!pedidos[i].vivo || t.mapa == Mapa::Grade) continue;
        const std::vector<QStringList> doPedido{{memoria.texto(pedidos[i].CODEMPRESA),
                                                 memoria.texto(pedidos[i].TIPOPEDIDO),
                                                 memoria.texto(pedidos[i].CODPEDIDO)}};
        for (const QStringList& k : chavesNaTabela(t, doPedido))
          if (mudaram.contains(hashChave(k))) r.pedidosDaMemoria.push_back(i);
      }
      if (t.mapa == Mapa::Grade) {
        memoria.paraCadaLinha([&](std::uint32_t pedido, const QString& CODPROD,
                                  const QString& CODGRADE) {
          const QStringList k{memoria.texto(pedidos[pedido].CODEMPRESA), CODPROD, CODGRADE};
          if (mudaram.contains(hashChave(k)))
            grades[QStringList{semBrancos(k[0]), semBrancos(k[1]), semBrancos(k[2])}.join(u'|')] =
                std::nullopt;
        });
      }
      n->mapasNovos[nome] = std::move(agoraPorChave);
    }
    l.agora->recentes = desdeX(std::move(l.agora->recentes), n->X);
  }

  // The sales of the grades whose movements changed.
  if (!grades.isEmpty()) {
    std::vector<bool> marcado(pedidos.size(), false);
    memoria.paraCadaLinha(
        [&](std::uint32_t pedido, const QString& CODPROD, const QString& CODGRADE) {
          if (marcado[pedido]) return;
          const auto& p = pedidos[pedido];
          const QString chave = QStringList{semBrancos(memoria.texto(p.CODEMPRESA)),
                                            semBrancos(CODPROD), semBrancos(CODGRADE)}
                                    .join(u'|');
          const auto it = grades.constFind(chave);
          if (it == grades.cend()) return;
          if (it->has_value() && std::floor(memoria.valor(p.DATAPEDIDO)) < **it) return;
          marcado[pedido] = true;
          r.pedidosDaMemoria.push_back(pedido);
        });
  }

  std::sort(r.pedidosDaMemoria.begin(), r.pedidosDaMemoria.end());
  r.pedidosDaMemoria.erase(std::unique(r.pedidosDaMemoria.begin(), r.pedidosDaMemoria.end()),
                           r.pedidosDaMemoria.end());
  proximo_ = std::move(n);
  return r;
}

void TMonitorAlteracoes::defineBase(LeituraParalela& leitura,
                                    std::map<QString, Contagens> contagens) {
  esquece();
  leitura.le();
  if (leitura.d_->thread.joinable()) leitura.d_->thread.join();
  std::unique_ptr<Estado> base = leitura.d_->fim.get();
  // Abandoned before it was asked to read: it read nothing.
  if (!base) throw DatabaseError(QStringLiteral("leitura da base abandonada antes de começar"));
  for (auto& [nome, lista] : contagens) {
    std::sort(lista.begin(), lista.end());
    std::size_t n = 0;
    for (std::size_t i = 0; i < lista.size(); ++i) {
      if (n > 0 && lista[n - 1].first == lista[i].first)
        lista[n - 1].second += lista[i].second;
      else
        lista[n++] = lista[i];
    }
    lista.resize(n);
    base->tabelas[nome].contagens = std::move(lista);
  }
  base_ = std::move(base);
}

quint64 TMonitorAlteracoes::hashDaChave(const QStringList& textos) { return hashChave(textos); }

void TMonitorAlteracoes::avanca() {
  if (!proximo_ || !base_) return;
  Estado& n = *proximo_;
  // The counts of every key come from the base, those of the keys read now
  // from the comparison.
  for (auto& [nome, agora] : n.tabelas) {
    if (const auto novo = n.mapasNovos.find(nome); novo != n.mapasNovos.end()) {
      agora.contagens = std::move(novo->second);
      continue;
    }
    auto& contagens = base_->tabelas[nome].contagens;
    for (const auto& [chave, quantos] : n.atualizacoes[nome]) {
      const auto it = std::lower_bound(contagens.begin(), contagens.end(),
                                       std::make_pair(chave, std::uint32_t{0}));
      if (it != contagens.end() && it->first == chave)
        it->second = quantos;
      else
        contagens.insert(it, {chave, quantos});
    }
    agora.contagens = std::move(contagens);
  }
  n.atualizacoes.clear();
  n.mapasNovos.clear();
  base_ = std::move(proximo_);
}

}  // namespace margivo
