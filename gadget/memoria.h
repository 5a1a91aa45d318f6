// What a refresh of the profitability gadget keeps for the next one: every
// engine call of the period, in the order the refresh made them, with what
// each added into the running totals, and the order-items rows they were
// made on.
//
// The running totals are rounded after every call, so they depend on the
// order in which lines are added. The order-items query has no ordering
// clause, but its grouping makes the database sort the rows by the grouping
// columns (CODPROD, CODGRADE, COMISSAO, CODVENDEDOR, CODPEDIDO, TIPOPEDIDO,
// CODEMPRESA, DATAPEDIDO, DATAENTREGA, FRETE, CODPRAZO, TOTALPEDIDO,
// VLRACRESCIMO, DESCRICAO, in this order) and return them in that order. A
// refresh that re-reads only some orders puts their rows where the database
// would put them, by the same ordering: nulls first, numbers and dates by
// value, texts byte by byte as if padded with blanks (trailing blanks do not
// count). Texts are only ordered where they are plain ASCII: a character
// outside it that decides, or is passed over, makes the ordering unknown
// (TOrdemDesconhecida) and the refresh reads the whole period instead. A
// refresh that records its rows checks that they came in this order, so a
// database that sorts otherwise (a collation of its own) is never served from
// memory.
//
// Then the calls are applied again, in that order, to totals starting at
// zero, and the freight calls after them in the order their orders' first
// rows are met: the totals, the call counts and every line's figures come
// out exactly as a refresh that calculates every row.
//
// What a call keeps: the line's figures that are not zero, without those it
// derives from the others (total cost, margins, its own percentages) and,
// unless the refresh keeps every line's figures, without the per-unit ones
// no total reads (acquisition and operating cost, quantity); the last call
// and the freight calls keep them, so the figures the gadget is left with are
// complete. About 60 bytes per row and 100 per order for a year.
#pragma once

#include <QSet>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "engine/contribuicao.h"
#include "framework/datetime.h"
#include "framework/db/query.h"

namespace margivo {

struct FigurasItem;
struct ItemCalculado;
struct TotaisRentabilidade;

// Two order-items rows that cannot be ordered as the database orders them.
class TOrdemDesconhecida : public std::runtime_error {
 public:
  TOrdemDesconhecida() : std::runtime_error("ordem das linhas desconhecida") {}
};

// Elements in blocks of fixed size: growing never copies or doubles them.
template <typename T>
class TBlocos {
 public:
  static constexpr std::size_t kBloco = 4096;
  void push_back(const T& v) {
    if (n_ % kBloco == 0) blocos_.push_back(std::make_unique<T[]>(kBloco));
    blocos_[n_ / kBloco][n_ % kBloco] = v;
    ++n_;
  }
  T& operator[](std::size_t i) { return blocos_[i / kBloco][i % kBloco]; }
  const T& operator[](std::size_t i) const { return blocos_[i / kBloco][i % kBloco]; }
  std::size_t size() const noexcept { return n_; }
  bool empty() const noexcept { return n_ == 0; }
  const T& back() const { return (*this)[n_ - 1]; }
  void clear() noexcept {
    blocos_.clear();
    n_ = 0;
  }
  std::size_t bytes() const noexcept { return blocos_.size() * kBloco * sizeof(T); }

 private:
  std::vector<std::unique_ptr<T[]>> blocos_;
  std::size_t n_ = 0;
};

class TMemoriaAtualizacao {
 public:
  // An order of the period: its key and header as the rows carry them.
  struct Pedido {
    static constexpr std::uint32_t kNulo = 0xffffffffu;  // a null text or value
    // Texts (indices for texto()).
    std::uint32_t CODEMPRESA = kNulo, TIPOPEDIDO = kNulo, CODPEDIDO = kNulo, CODVENDEDOR = kNulo,
                  CODPRAZO = kNulo;
    // Numbers and dates that repeat from order to order (indices for
    // valor()).
    std::uint32_t COMISSAO = kNulo, FRETE = kNulo, VLRACRESCIMO = kNulo, DATAPEDIDO = kNulo,
                  DATAENTREGA = kNulo;
    double TOTALPEDIDO = 0;
    // Its freight call (index into the freight calls), when its freight is
    // calculated; -1 otherwise.
    std::int32_t frete = -1;
    bool totalNulo = false;
    bool vivo = true;
  };

  TMemoriaAtualizacao();
  ~TMemoriaAtualizacao();
  TMemoriaAtualizacao(const TMemoriaAtualizacao&) = delete;
  TMemoriaAtualizacao& operator=(const TMemoriaAtualizacao&) = delete;

  // --- Recording every call of a refresh that calculates every row.

  // Forgets everything and starts recording. `figurasCompletas`: every call
  // keeps all its figures (the refresh lists every line's figures).
  void inicia(bool figurasCompletas = false);
  // The product call just made on the current row of `qry` (an order-items
  // row) and what it did. Throws DatabaseError when a column is missing.
  void registraProduto(const Query& qry, const TContribuicaoChamada& c);
  // Reading each row's order and product as the row is fetched, on the
  // read-ahead's own thread, rather than when the call is recorded: the
  // observer to set on the order-items query before it opens. registraProduto
  // then takes the row from it, and until the query has read its last row
  // nothing else of the memory may be used.
  Query::RowObserver observaLinhas();
  // The freight call just made on the current row of `qry`, the first row
  // met of its order, whose product call was recorded.
  void registraFrete(const Query& qry, const TContribuicaoChamada& c);
  // After the last call. Checks that the rows came in the order this memory
  // orders them, and that each freight call was made on its order's first
  // row; returns false, leaving the memory unusable, when not (or when one
  // key carried two different headers, or a call's figures did not come
  // back as it made them).
  bool conclui();
  bool usavel() const noexcept { return usavel_; }

  // --- Replacing some orders.

  // Takes the orders out (their rows, their calls and their freight calls)
  // and starts a replacement: RegistraProduto then records the rows of the
  // orders read anew, each order's rows in the query's own order, and
  // ConcluiSubstituicao puts them in place. Throws TOrdemDesconhecida when a
  // new row cannot be placed; the memory is then unusable.
  void removePedidos(const std::vector<std::uint32_t>& pedidos);
  void concluiSubstituicao();
  // After ConcluiSubstituicao: the freight is calculated at the first row met
  // of each CODPEDIDO (without regard to letter case), so every CODPEDIDO of
  // an order taken out or recorded anew has its freight call made again:
  // forgets the freight calls of those CODPEDIDOs and returns, in the order
  // their first rows come, the orders whose row comes first, when their
  // freight is not zero. RegistraFrete then records their calls.
  std::vector<std::uint32_t> fretesACalcular();
  // After the freight calls: the order of the period's last call when that
  // call did not keep all its figures (an old row that became the last one)
  // - replacing that order too gives them.
  std::optional<std::uint32_t> pedidoDaUltimaChamadaIncompleta() const;

  // --- Giving the refresh's figures.

  // Applies every call, product calls in row order then freight calls, to
  // `totais` (set to zero first) and `figuras` (which come in as the
  // gadget's figures before the refresh), counts the rows and calls, and
  // with `itens` fills it as the calls would. REQUIRES: a memory recorded
  // with figurasCompletas when `itens` is given.
  void reaplica(TotaisRentabilidade& totais, FigurasItem& figuras, int& linhas,
                int& chamadasProduto, int& chamadasFrete, std::vector<ItemCalculado>* itens) const;

  // Whether some call computed the line's own percentages (then the figures
  // the gadget is left with do not depend on those it came with).
  bool temPercentuaisDoItem() const;

  // --- Looking orders up.

  const TBlocos<Pedido>& pedidos() const noexcept { return pedidos_; }
  QString texto(std::uint32_t indice) const;
  // The same text, without a copy: valid until the memory changes.
  QStringView vista(std::uint32_t indice) const;
  // A number or date of an order's header; 0 for a null one.
  double valor(std::uint32_t indice) const noexcept;
  // The living orders whose CODPEDIDO is one of `codigos` (compared without
  // regard to letter case; `codigos` case-folded).
  std::vector<std::uint32_t> pedidosComCodigo(const QSet<QString>& codigos) const;
  int pedidosVivos() const noexcept { return vivos_; }
  // Calls kept (product and freight).
  std::size_t chamadas() const noexcept;
  // Bytes held, roughly.
  std::size_t bytes() const noexcept;

  // Each row's order, product code and grade code, in row order.
  template <typename F>
  void paraCadaLinha(F&& f) const {
    for (std::size_t i = 0; i < linhas_.size(); ++i) {
      const Produto& p = produtos_[linhas_[i].produto];
      f(linhas_[i].pedido, texto(p.CODPROD), texto(p.CODGRADE));
    }
  }

 private:
  // A product and grade of the rows: the row's sort key besides its order.
  struct Produto {
    std::uint32_t CODPROD = Pedido::kNulo, DESCRICAO = Pedido::kNulo, CODGRADE = Pedido::kNulo;
  };
  // A call's figures are kept, those not zero, in a pool, in the order of
  // the calls; `mascara` says which (one bit per kept figure, in the order
  // of TContribuicaoChamada::Figura) and how the call set the line's
  // percentages.
  static constexpr std::uint16_t kPercentuaisDoItem = 1u << 12;
  static constexpr std::uint16_t kCompleta = 1u << 13;
  struct Linha {
    std::uint32_t pedido = 0, produto = 0;
    std::uint16_t mascara = 0;
  };
  struct Frete {
    std::uint32_t pedido = 0, produto = 0;
    std::uint16_t mascara = 0;
    std::uint32_t valores = 0;
  };
  class Textos;
  class Indices;

  // A row's order and product as read from it, and what its order's header
  // gives the calls.
  struct Chave {
    Linha linha;
    TPercentuaisTotais totais;
    bool outroTotal = false;  // the order came with another total before
  };
  struct Fila;
  // Keeps the row recorded last, with all its figures when `completa`.
  void guardaUltima(bool completa);
  // The row's key columns: its order (found or created), product and grade.
  // `campo` gives the row's column of a Coluna (memoria.cpp).
  template <typename Campo>
  Chave leChave(const Campo& campo);
  Linha leLinha(const Query& qry, const TContribuicaoChamada& c);
  // Leaves the memory unusable when the call's total percentages are not
  // those the row's header gives.
  void confere(const Chave& k, const TContribuicaoChamada& c);
  // Keeps a call's figures at the end of `pool`; returns its mask.
  template <typename Pool>
  std::uint16_t guarda(const TContribuicaoChamada& c, bool completa, Pool& pool) const;
  template <typename Pool>
  TContribuicaoChamada expande(std::uint16_t mascara, const Pedido& p, const Pool& pool,
                               std::size_t& k) const;
  // < 0, 0, > 0 as the database orders the two rows. Throws
  // TOrdemDesconhecida.
  int compara(const Linha& a, const Linha& b) const;
  int comparaTexto(std::uint32_t a, std::uint32_t b) const;
  // The key of CODPEDIDO for the freight: without regard to letter case.
  QString chaveFrete(const Pedido& p) const;

  std::unique_ptr<Textos> textos_;
  std::unique_ptr<Indices> indices_;
  std::vector<Produto> produtos_;
  TBlocos<Pedido> pedidos_;
  TBlocos<Linha> linhas_;  // in the order of the order-items query
  TBlocos<double> valores_;
  std::vector<Frete> fretes_;
  std::vector<double> valoresFretes_;
  // Rows of a replacement, before they are put in place, and their orders'
  // texts; every one keeps all its figures.
  std::vector<Linha> novas_;
  std::vector<double> valoresNovos_;
  // Orders taken out or recorded anew by the replacement under way: their
  // CODPEDIDO groups have their freight calculated anew.
  std::vector<std::uint32_t> alterados_;
  // The last row recorded, with all its figures, until the next one.
  std::optional<std::pair<Linha, TContribuicaoChamada>> ultima_;
  // The previous row's product and grade, as read: consecutive rows mostly
  // share them.
  QString ultimoCodProd_, ultimaDescricao_, ultimaGrade_;
  std::uint8_t ultimosNulos_ = 0;
  std::uint32_t ultimoProduto_ = Pedido::kNulo;
  class Valores;
  std::unique_ptr<Valores> numeros_;
  // The rows read as they are fetched (observaLinhas), during the pass.
  std::shared_ptr<Fila> fila_;
  bool figurasCompletas_ = false;
  bool substituindo_ = false;
  int vivos_ = 0;
  bool usavel_ = false;
};

}  // namespace margivo
