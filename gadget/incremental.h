// The profitability gadget's refresh that reads only what changed: after a
// refresh that read the whole period, the next ones re-read only the orders
// whose records changed since the one before, calculate only their items, and
// apply every other order's calls again from memory, in the order-items
// query's order, to rebuild the totals exactly.
//
// The whole period is read instead (and the memory made anew) when:
//  - there is no memory, or the previous refresh failed;
//  - the settings, the period, the database or the day counted as today
//    changed (a figure may depend on today: the receivables' base date);
//  - the memory is an hour old;
//  - something that can change every figure changed: a record of the small
//    tables the calculation reads (payment conditions, cards and agreements,
//    financing, sellers, products, costs, the parameter tables) or the
//    database's description of its tables (TMonitorAlteracoes);
//  - records disappeared where the counts cannot tell from which order, or
//    the changed orders are so many that reading the whole period is the
//    cheaper way;
//  - a changed order's rows cannot be placed among the others as the
//    database orders them (TMemoriaAtualizacao);
//  - anything fails on the way: the whole period is then read in the same
//    snapshot, so its figures, or its error, are those of a full refresh.
//
// A memory is not kept at all while it does not pay (compensa): the look at
// what changed scans the order tables' recent records whatever the period,
// so a short period over a long history (a day of a busy year) reads faster
// whole, through its indexes, than from memory.
#pragma once

#include <QDate>
#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <memory>
#include <vector>

#include "engine/contribuicao.h"
#include "framework/datetime.h"
#include "gadget/alteracoes.h"
#include "gadget/atualizacao.h"
#include "gadget/memoria.h"

namespace margivo {

class Database;
class Query;
class TdmRentabilidade;

class TAtualizacaoIncremental {
 public:
  // What a memory was made for: a refresh that differs in any of these
  // reads the whole period.
  struct Chave {
    QString banco, usuario;
    QString Empresa, MostraPedidos;
    QDate Data1, Data2, hoje;
    double MCustoOp = 0, MCustoVd = 0, MCustoFn = 0;
    std::vector<double> VlrParcelas;
    std::vector<TDateTime> DtParcelas;
    bool guardarItens = false;
    bool operator==(const Chave&) const = default;
  };
  // How long a memory serves before the whole period is read again.
  static constexpr qint64 kValidadeMs = 60 * 60 * 1000;

  TAtualizacaoIncremental();
  ~TAtualizacaoIncremental();
  TAtualizacaoIncremental(const TAtualizacaoIncremental&) = delete;
  TAtualizacaoIncremental& operator=(const TAtualizacaoIncremental&) = delete;

  // Whether the memory can serve a refresh with this key now (it may still
  // find, reading the database, that the whole period is to be read).
  bool podeServir(const Chave& chave) const;

  // --- A refresh that reads the whole period records it.

  // Forgets the memory and makes `dm`'s calls record into it; with
  // `figurasCompletas` every call keeps all its figures (the refresh lists
  // them).
  void iniciaRegistro(TdmRentabilidade& dm, bool figurasCompletas);
  // The observer that reads each order-items row as it is fetched, for the
  // query whose product calls are recorded (TMemoriaAtualizacao::observaLinhas).
  Query::RowObserver observaLinhas();
  // After each call of the refresh, on the row it was made on.
  void registraProduto(const Query& qry);
  void registraFrete(const Query& qry);
  // The tables whose records the refresh counts per key itself (from its
  // period look-ups), for TMonitorAlteracoes::LeituraParalela.
  static QSet<QString> tabelasContadasAParte();
  // Before `dm` reads the period's look-ups: takes the record counts per
  // order they find. REQUIRES: dm's cache of look-ups is on.
  void registraContagens(TdmRentabilidade& dm);
  // After the last call: checks the memory and keeps it, for refreshes with
  // `chave`, with what the next refresh compares with, as `base` read it
  // (started before this refresh's snapshot). A memory that cannot serve, or
  // a base that could not be read, is dropped.
  // `gadget` and `resultado` are as the refresh left them.
  void concluiRegistro(const Chave& chave, TMonitorAlteracoes::LeituraParalela& base,
                       const TAtualizacaoRentabilidade& gadget,
                       const ResultadoAtualizacao& resultado);

  // Drops the memory: the next refresh reads the whole period.
  void esquece() noexcept;
  // The same, from any thread, also while a refresh uses the memory: the
  // next refresh reads the whole period (after a save of the settings).
  void pedeLeituraCompleta() noexcept { leituraCompleta_ = true; }

  // --- The refresh from memory.

  // Fills `resultado` (rows, calls, totals and, with chave.guardarItens,
  // the items) and the gadget's figures and totals from memory and the
  // orders changed since the previous refresh, in the attachment's current
  // snapshot. False when the whole period is to be read instead (see the
  // top); the memory is then dropped when it cannot serve again. Throws
  // DatabaseError, CalculationError or TOrdemDesconhecida when a step fails:
  // the caller drops the memory and reads the whole period.
  bool atualiza(TAtualizacaoRentabilidade& gadget, Database& banco, const Chave& chave,
                ResultadoAtualizacao& resultado);

  // --- Whether a memory pays.

  // An incremental refresh that costs less than this never counts as too
  // dear, however cheap the whole period is (the default of
  // setCustoDesprezivelMs).
  static constexpr qint64 kCustoDesprezivelMs = 50;
  // False after an incremental refresh with `chave` cost more than twice the
  // last full read of the period (and more than kCustoDesprezivelMs): the
  // refreshes with that key then read the whole period without recording
  // it, until a full read costs at least half what that incremental refresh
  // did (the period grew). A new key (other settings, another day) starts
  // afresh.
  bool compensa(const Chave& chave) const;
  // After each refresh with `chave`: how long it took, from memory or not.
  void registraCusto(const Chave& chave, bool incremental, qint64 ms);

  // Changes the negligible cost (tests that compare refreshes from memory
  // on small databases, whatever their timing; the default is
  // kCustoDesprezivelMs).
  void setCustoDesprezivelMs(qint64 ms) noexcept { custoDesprezivelMs_ = ms; }

  // Changes how long a memory serves (tests; the default is kValidadeMs).
  void setValidadeMs(qint64 ms) noexcept { validadeMs_ = ms; }

  // The reason the last refresh read the whole period (empty after one
  // from memory), for diagnostics.
  QString motivoCompleta() const { return motivo_; }
  // Bytes the memory holds, roughly.
  std::size_t bytes() const noexcept;

 private:
  // The engine call on the current row of `qry`, into `contribuicao_`,
  // without touching the gadget's figures.
  void calcula(TAtualizacaoRentabilidade& gadget, TdmRentabilidade& dm, const Query& qry,
               const QString& opcao);

  // What the refresh from memory left, to give again when nothing changed:
  // the totals, counts and the figures of the last call, which do not
  // depend on the figures the gadget came with once a call computed the
  // line's percentages.
  struct Resultado {
    bool valido = false;
    TotaisRentabilidade totais;
    FigurasItem figuras;
    int linhas = 0, chamadasProduto = 0, chamadasFrete = 0;
  };
  Resultado ultimo_;

  TMemoriaAtualizacao memoria_;
  TMonitorAlteracoes monitor_;
  std::map<QString, TMonitorAlteracoes::Contagens> contagens_;
  TContribuicaoChamada contribuicao_;
  Chave chave_;
  QElapsedTimer idade_;
  qint64 validadeMs_ = kValidadeMs;
  // The costs compensa() weighs, for refreshes with chaveCusto_ (-1: none
  // measured yet).
  Chave chaveCusto_;
  qint64 msCompleta_ = -1, msIncremental_ = -1;
  qint64 custoDesprezivelMs_ = kCustoDesprezivelMs;
  bool valida_ = false;
  std::atomic<bool> leituraCompleta_{false};
  QString motivo_;
};

}  // namespace margivo
