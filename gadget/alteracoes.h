// Which orders of the period changed in the ERP database since the previous
// refresh, read cheaply from the record versions the database keeps.
//
// Every record carries the number of the transaction that wrote it
// (RDB$RECORD_VERSION). A change the previous refresh did not see was written
// by a transaction that was still active when that refresh's snapshot
// started, or began later: its number is at least the oldest transaction
// active then (X, kept from that refresh). So the records of a table written
// since are those with a version of at least X, which a scan of the table
// with that filter returns, keyed by their order; and a record deleted since
// leaves no record at all, so the number of records of each order is kept
// (for the orders' tables, by key, read when the whole period is read) and
// the table's count is compared with the counts of the orders that changed:
// a record that disappeared from an order nothing else shows as changed makes
// the counts disagree.
//
// Most minutes nothing has changed, so each table is first counted in one
// pass that also counts its records from X on written by transactions other
// than those whose records the base saw (those had ended before it and write
// no more): none, and the base's count, and the table is as the base saw it.
// Only a table that changed is listed, in the same pass when it changed the
// time before too.
//
// The tables:
//  - the order headers PEDIDOC, counted per day of the selected orders, so a
//    header that disappeared is found by reading that day's orders;
//  - the order's own records, counted per key: lines PEDIDOI, closing
//    records ENCEFAT, agreement records CONVENCEFAT and installments PARCPEDC
//    (by order), cheques PRETERC and receivable documents DOCUREC (by the
//    document number the order gives them), financing FINANCIAMENTO (by
//    sale number), and under the sale-day cost policies the stock movements
//    MVGERAL (by product grade, with the earliest day a new movement
//    affects);
//  - the small tables every figure may read (payment conditions, cards and
//    agreements, financing companies and plans, sellers, products, costs and
//    the parameter tables) and the database's own description of its
//    tables: any change there, and any record written there, changes every
//    figure (Comparacao::completa).
// Records of other branches than the configured one are left out.
//
// Errors: Base and Compara throw DatabaseError; a table that does not exist
// counts as one with no record, as long as it stays so.
#pragma once

#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "framework/datetime.h"

namespace margivo {

class Database;
class TMemoriaAtualizacao;

class TMonitorAlteracoes {
 public:
  // The period a refresh reads: its order selection and the cost policy in
  // force (ParaRentabilidade.TipoCusto; the stock movements count under 2
  // and 3).
  struct Periodo {
    QString Empresa;  // empty: every branch
    QString MostraPedidos;
    QDate Data1, Data2;
    int tipoCusto = 0;
  };

  // What changed since the base.
  struct Comparacao {
    // Something that can change every figure changed, or the changes cannot
    // be pinned to orders: the whole period is to be read. `motivo` says
    // what, for diagnostics.
    bool completa = false;
    QString motivo;
    // Orders whose records changed (CODEMPRESA, TIPOPEDIDO, CODPEDIDO as the
    // records give them); some may not be in the memory (new orders, or
    // orders the period does not select).
    std::vector<QStringList> pedidos;
    // Orders of the memory whose payments or costs changed (indices into
    // TMemoriaAtualizacao::pedidos()).
    std::vector<std::uint32_t> pedidosDaMemoria;
    // Orders the changes touch, counting each once (a rough measure of the
    // work, to decide whether reading the whole period is cheaper).
    int alterados() const;
  };

  TMonitorAlteracoes();
  ~TMonitorAlteracoes();
  TMonitorAlteracoes(const TMonitorAlteracoes&) = delete;
  TMonitorAlteracoes& operator=(const TMonitorAlteracoes&) = delete;

  // The state of one snapshot that later ones compare with.
  struct Estado;

  // Reads, in the attachment's current snapshot, what the next comparison
  // compares with.
  void leBase(Database& banco, const Periodo& periodo);

  // Reads the base on an attachment and a thread of their own while the
  // caller reads the whole period: the base's snapshot starts first, so
  // whatever changes between the two is either written in a record the
  // next comparison finds or counted as gone, and makes the orders concerned
  // (or the whole period) be read again.
  class LeituraParalela {
   public:
    // Attaches to `nome` with `usuario` and `senha` and starts a read
    // snapshot; le() then reads the base in it (`periodo`'s cost policy
    // too).
    // Of the tables named in `contadasAParte` only the whole count is read:
    // the caller hands the count of each key to defineBase.
    LeituraParalela(QString nome, QString usuario, QString senha, Periodo periodo,
                    QSet<QString> contadasAParte = {});
    // Abandons a reading whose base defineBase did not take, and waits for
    // the thread.
    ~LeituraParalela();
    LeituraParalela(const LeituraParalela&) = delete;
    LeituraParalela& operator=(const LeituraParalela&) = delete;
    // Blocks until the snapshot has started; false when the attachment or
    // the snapshot failed (there will be no base).
    bool iniciada();
    // Starts reading the base, beside what the caller does next (defineBase
    // starts it too; a reading never started reads nothing).
    void le();
    // Stops the reading where it is (its statement cancelled: a refresh that
    // failed or is being closed does not wait for a base it will not use)
    // and waits for the thread. defineBase then throws the cancellation (or,
    // when the reading was never started, that there is no base).
    void abandona() noexcept;

   private:
    friend class TMonitorAlteracoes;
    struct Dados;
    std::unique_ptr<Dados> d_;
  };
  // Records per key of one table, by hashDaChave, as the caller counted
  // them; a key left out counts as having none.
  using Contagens = std::vector<std::pair<quint64, std::uint32_t>>;
  // Waits for `leitura` and makes its base what the next comparison
  // compares with, with `contagens` for the tables counted apart (their keys
  // that `contagens` leaves out are taken as having no record until a
  // comparison counts them all). Throws what reading it threw (the base is
  // then dropped).
  void defineBase(LeituraParalela& leitura, std::map<QString, Contagens> contagens = {});
  // The hash by which keys are counted: the texts without their trailing
  // blanks, as the database compares codes.
  static quint64 hashDaChave(const QStringList& textos);

  // Compares the attachment's current snapshot with the base. The base is
  // left as it was; avanca() makes this snapshot the base once the refresh
  // that compared has used it.
  Comparacao compara(Database& banco, const Periodo& periodo, const TMemoriaAtualizacao& memoria);
  // The cost policy as the cost look-up reads it (the first row of
  // ParaRentabilidade; no row or a null value: 0).
  static int leTipoCusto(Database& banco);
  void avanca();

  // Whether there is a base (Base ran and nothing forgot it since).
  bool temBase() const noexcept;
  void esquece() noexcept;

  // Bytes held, roughly.
  std::size_t bytes() const noexcept;

 private:
  // Reads the state of the attachment's current snapshot. Touches nothing
  // but `banco`.
  static std::unique_ptr<Estado> leEstado(Database& banco, const Periodo& periodo,
                                          const QSet<QString>& contadasAParte);

  std::unique_ptr<Estado> base_;
  std::unique_ptr<Estado> proximo_;
};

}  // namespace margivo
